// Start-up time and peak memory of the real demo. Each run starts a virtual X server of its
// own and the demo beside it (silent audio, Mesa's software GL), answers the start-up question
// as a user would and waits for the demo's first presented frame, which the demo reports on
// standard error when TIRVALEX_FIRST_FRAME_REPORT is set. Two modes: No on a 1024x768x24
// screen (a window) and Yes on a 640x480x16 screen (full screen, no fallback question).
//
// Per run it prints the time from the answer to the first presented frame as the demo measures
// it (from the message box's return to the first buffer swap), the time from the key press or
// click this program sent (so it includes the X tools' own delay), and the demo's peak
// resident memory (VmHWM) at that moment. Then one windowed run plays the whole show until it
// ends by itself, for the peak resident memory over a run (the maximum RSS the kernel records
// for the reaped process), and xm_render --embedded renders the song once, for its peak.
//
//   bench_startup [RUNS per mode, default 5]
//
// The demo and xm_render are taken from the folder this program is in. The processes and the X
// servers are the tests' (tests/support).
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/x_display.h"

namespace {

// The caption of the start-up question and the first window's title, as X shows them (UTF-8).
const std::string question_caption = "HEJD\xC3\x85!";
const std::string window_title = "Tirvalex3";
const std::string report_prefix = "first frame: ";
// The show lasts 79 s of song time, which runs at about 95 percent of real time; a run that
// has not ended well after that is stopped and reported.
constexpr double whole_show_bound_seconds = 300.0;
constexpr double rss_sample_seconds = 10.0;

struct StartUpRun {
    bool ok = false;
    double answer_to_frame_ms = 0;  // the demo's own measure
    double key_to_frame_ms = 0;     // from just before this program's key press or click
    double hwm_at_frame_mib = 0;    // VmHWM once the first frame is up
    std::string problem;
};

// A "Vm...:  1234 kB" field of /proc/PID/status in MiB; 0 when it cannot be read.
double status_field_mib(pid_t pid, const std::string& field) {
    const long kb = process_status_kb(pid, field);
    return kb < 0 ? 0 : double(kb) / 1024;
}

// Reaps the child with its resource usage, waiting up to `bound_seconds`; the peak resident
// memory the kernel kept for it, in MiB, or a negative value when it did not end.
double reap_with_peak(ChildProcess& child, double bound_seconds) {
    rusage usage{};
    int status = 0;
    const bool ended = poll_until(
        [&] { return wait4(child.pid, &status, WNOHANG, &usage) == child.pid; }, bound_seconds);
    if (!ended) return -1;
    child.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return double(usage.ru_maxrss) / 1024;  // kibibytes on Linux
}

// The two numbers of the demo's report line once it is in the log; false until then.
bool read_report(const ChildProcess& demo, double* answer_to_frame_ms, double* presented_s) {
    const std::string log = read_file(demo.log_path);
    const size_t at = log.find(report_prefix);
    if (at == std::string::npos || log.find('\n', at) == std::string::npos) return false;
    return std::sscanf(log.c_str() + at + report_prefix.size(),
                       "%lf ms after the answer (answered at %*f s, presented at %lf s",
                       answer_to_frame_ms, presented_s) == 2;
}

ChildProcess start_reporting_demo(const XDisplay& display) {
    return start_process({built_program("tirvalex3")},
                         {display_entry(display), "SDL_AUDIODRIVER=dummy",
                          "LIBGL_ALWAYS_SOFTWARE=1", "TIRVALEX_FIRST_FRAME_REPORT=1"});
}

// Answers the two-button start-up question: Return takes the first button (its default); a
// click takes the second. The box centres its row of equal-width buttons under the text and
// leaves a fixed margin below it; the second of two starts a few pixels right of the centre.
bool answer(const XDisplay& display, const ScreenWindow& box, bool first_button) {
    if (first_button) return tap_key(display, box, "Return");
    const std::string x = std::to_string(box.x + box.width / 2 + 40);
    const std::string y = std::to_string(box.y + box.height - 28);
    return xdotool(display,
                   {"mousemove", x, y, "click", "1"});  // one run: the motion, then the click
}

// Starts the server and the demo, answers the question and waits for the first frame. The
// demo is left running in `demo` for the caller to end.
StartUpRun start_up(XDisplay& display, ChildProcess& demo, bool full_screen) {
    StartUpRun run;
    display = start_x_display(full_screen ? "640x480x16" : "1024x768x24");
    if (display.name.empty()) {
        run.problem = "Xvfb did not start";
        return run;
    }
    demo = start_reporting_demo(display);
    ScreenWindow question;
    if (demo.pid <= 0 || !wait_for_window(display, question_caption, &question)) {
        run.problem = "no start-up question; demo log:\n" + read_file(demo.log_path);
        return run;
    }
    // Focused first, so the time below holds the answer itself, not focusing.
    xdotool(display, {"windowfocus", "--sync", std::to_string(question.id)});
    const double key_seconds = monotonic_seconds();
    if (!answer(display, question, full_screen)) {
        run.problem = "could not answer the start-up question";
        return run;
    }
    double presented_seconds = 0;
    if (!poll_until([&] { return read_report(demo, &run.answer_to_frame_ms, &presented_seconds); },
                    wait_bound_seconds)) {
        run.problem = "no first frame reported; demo log:\n" + read_file(demo.log_path);
        return run;
    }
    run.key_to_frame_ms = 1000.0 * (presented_seconds - key_seconds);
    run.hwm_at_frame_mib = status_field_mib(demo.pid, "VmHWM");
    run.ok = true;
    return run;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Runs of one mode, each printed, then the median, minimum and maximum; false on a failure.
bool measure_start_up(bool full_screen, int runs) {
    const char* mode = full_screen ? "full screen" : "windowed";
    std::vector<double> answer_ms, key_ms, hwm_mib;
    for (int i = 1; i <= runs; ++i) {
        XDisplay display;
        ChildProcess demo;
        const StartUpRun run = start_up(display, demo, full_screen);
        stop_process(demo);
        stop_x_display(display);
        if (!run.ok) {
            std::fprintf(stderr, "bench_startup: %s run %d: %s\n", mode, i, run.problem.c_str());
            return false;
        }
        std::printf("%-12s %6d %14.1f %14.1f %14.1f\n", mode, i, run.answer_to_frame_ms,
                    run.key_to_frame_ms, run.hwm_at_frame_mib);
        answer_ms.push_back(run.answer_to_frame_ms);
        key_ms.push_back(run.key_to_frame_ms);
        hwm_mib.push_back(run.hwm_at_frame_mib);
    }
    std::printf("%-12s %6s %14.1f %14.1f %14.1f\n", mode, "median", median(answer_ms),
                median(key_ms), median(hwm_mib));
    std::printf("%-12s %6s %14.1f %14.1f %14.1f\n", mode, "min",
                *std::min_element(answer_ms.begin(), answer_ms.end()),
                *std::min_element(key_ms.begin(), key_ms.end()),
                *std::min_element(hwm_mib.begin(), hwm_mib.end()));
    std::printf("%-12s %6s %14.1f %14.1f %14.1f\n", mode, "max",
                *std::max_element(answer_ms.begin(), answer_ms.end()),
                *std::max_element(key_ms.begin(), key_ms.end()),
                *std::max_element(hwm_mib.begin(), hwm_mib.end()));
    return true;
}

// One windowed run left to play the whole show and end by itself.
bool measure_whole_show() {
    XDisplay display;
    ChildProcess demo;
    const StartUpRun run = start_up(display, demo, false);
    if (!run.ok) {
        std::fprintf(stderr, "bench_startup: whole show: %s\n", run.problem.c_str());
        stop_process(demo);
        stop_x_display(display);
        return false;
    }
    // Resident memory every 10 s while the show runs, then the peak once it has ended.
    const double started = monotonic_seconds();
    std::string resident_mib;
    double peak_mib = -1;
    while (peak_mib < 0 && monotonic_seconds() - started < whole_show_bound_seconds) {
        peak_mib = reap_with_peak(demo, rss_sample_seconds);
        if (peak_mib < 0) {
            char sample[32];
            std::snprintf(sample, sizeof sample, " %.0f", status_field_mib(demo.pid, "VmRSS"));
            resident_mib += sample;
        }
    }
    const double seconds = monotonic_seconds() - started;
    const int exit_code = demo.exit_code;
    stop_process(demo);
    stop_x_display(display);
    if (peak_mib < 0) {
        std::fprintf(stderr, "bench_startup: the show did not end within %.0f s\n",
                     whole_show_bound_seconds);
        return false;
    }
    std::printf(
        "whole show, windowed: peak resident memory %.1f MiB (%.1f MiB at the first "
        "frame), %.1f s from the first frame to the end, exit code %d\n",
        peak_mib, run.hwm_at_frame_mib, seconds, exit_code);
    std::printf("whole show, windowed: resident memory every %.0f s from the first frame, MiB:%s\n",
                rss_sample_seconds, resident_mib.c_str());
    return exit_code == 0;
}

// xm_render --embedded to a scratch file, reaped for its peak resident memory.
bool measure_renderer() {
    const std::string output = "/tmp/bench-startup-" + std::to_string(getpid()) + ".wav";
    ChildProcess renderer = start_process({built_program("xm_render"), "--embedded", output});
    if (renderer.pid <= 0) {
        std::fprintf(stderr, "bench_startup: cannot start xm_render\n");
        return false;
    }
    const double started = monotonic_seconds();
    const double peak_mib = reap_with_peak(renderer, whole_show_bound_seconds);
    const double seconds = monotonic_seconds() - started;
    const int exit_code = renderer.exit_code;
    std::error_code error;
    const auto wav_bytes = std::filesystem::file_size(output, error);
    const double audio_seconds =
        error || wav_bytes < 44 ? 0.0 : double(wav_bytes - 44) / (44100 * 4);  // 16-bit stereo
    std::filesystem::remove(output, error);
    stop_process(renderer);
    if (peak_mib < 0 || exit_code != 0) {
        std::fprintf(stderr, "bench_startup: xm_render --embedded failed (exit code %d)\n",
                     exit_code);
        return false;
    }
    std::printf(
        "xm_render --embedded: peak resident memory %.1f MiB, %.2f s wall, %.1f s of "
        "audio written\n",
        peak_mib, seconds, audio_seconds);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // rows show as they are measured
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    if (runs < 1) {
        std::fprintf(stderr, "usage: bench_startup [RUNS per mode, at least 1]\n");
        return 2;
    }
    std::printf(
        "start-up: answer to first presented frame, ms (the demo's own clock; from the "
        "key press or click sent), and VmHWM at that frame, MiB\n");
    std::printf("%-12s %6s %14s %14s %14s\n", "mode", "run", "answer->frame", "key->frame",
                "VmHWM MiB");
    bool ok = measure_start_up(false, runs);
    ok = measure_start_up(true, runs) && ok;
    ok = measure_whole_show() && ok;
    ok = measure_renderer() && ok;
    return ok ? 0 : 1;
}
