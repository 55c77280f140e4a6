// Recording benchmark: the time show_record takes to record the whole show at 640 x 480 and
// 60 fps into a .mkv, as a ratio to the show's own length, and its peak resident memory.
//
//   build/bench_record [OUT.mkv]      (default: a file in the temporary folder)
//
// The show's length is the time the device needs to reach the first block whose clock is past
// 79 s, from the player's own clock driven as the recorder drives it; the recorder runs once, in
// the foreground.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "player/session.h"
#include "scenes/scenes.h"
#include "tools/offline_show.h"

namespace {

double show_seconds() {
    start_offline_show();
    int64_t block = 0;
    while (song_clock_ms(playing_song()) <= 79000)
        play_offline_until(++block);
    return double(block) * ring_block_frames() / offline_output_rate;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string out =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "bench_record.mkv").string();
    const std::string recorder = std::string(BENCH_BINARY_DIR) + "/show_record";
    const double length = show_seconds();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execl(recorder.c_str(), "show_record", out.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_record: show_record failed\n");
        return 1;
    }
    std::printf("show length        %.2f s\n", length);
    std::printf("recording time     %.2f s (%.2f x the show; cpu %.1f s user, %.1f s system)\n",
                seconds, seconds / length,
                double(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6,
                double(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec / 1e6);
    std::printf("peak memory        %.1f MiB\n", usage.ru_maxrss / 1024.0);
    std::printf("file size          %.1f MiB\n",
                double(std::filesystem::file_size(out)) / (1024.0 * 1024.0));
    return 0;
}
