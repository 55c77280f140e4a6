// Mixing speed: seconds of audio the block filler produces per second of CPU time, for the
// embedded song and for each file of the fetched corpus (.cache/corpus), and the longest single
// block fill against the 20 ms a block lasts at 44100 Hz. Times are the CPU time of this
// thread, so other work on the machine does not count against a block; each song is played
// three times, and throughput is the best of the three.
//
//   bench_mixer [SECONDS] [CORPUS_DIR]    (defaults: 120 s of audio per song, .cache/corpus)
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/module_bytes.h"
#include "player/session.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t rate = 44100;
constexpr double block_budget_ms = 20.0;

struct Result {
    std::string name;
    int channels = 0;
    double audio_seconds = 0;
    double cpu_seconds = 0;
    double worst_block_ms = 0;  // the costliest block, at its shortest time over the passes
    double worst_seen_ms = 0;   // the longest single fill seen in any pass
};

double thread_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// One pass: loads the image and mixes `seconds` of audio (the engine plays a song on past its
// end, so every song gives the same length): the first ring of blocks as the offline start mixes
// it, then block by block as the device moves on, timing each refill into block_ms.
bool measure_pass(const std::vector<uint8_t>& image, double seconds, Result& result,
                  std::vector<double>& block_ms) {
    XmModule* module = load_song(image.data(), uint32_t(image.size()));
    if (!module) return false;
    result.channels = module->channel_count;
    const double start = thread_cpu_seconds();
    start_song_offline(module, rate);
    const int64_t ring_blocks = ring_block_count();
    const int64_t block_frames = ring_block_frames();
    const int64_t blocks = std::max(int64_t(seconds * rate / block_frames) + 1, ring_blocks + 1);
    block_ms.assign(size_t(blocks - ring_blocks), 0.0);
    for (int64_t i = 0; i < blocks - ring_blocks; ++i) {
        const double before = thread_cpu_seconds();
        play_offline_until(i + 1);
        block_ms[size_t(i)] = (thread_cpu_seconds() - before) * 1e3;
    }
    result.cpu_seconds = thread_cpu_seconds() - start;
    result.audio_seconds = double(blocks * block_frames) / rate;
    release_song(module);
    return true;
}

// The best of `passes` passes for throughput. Every pass fills the same blocks with the same
// work, so a block's cost is its shortest time over the passes: a time slice the machine took
// away from one pass (a virtual machine counts stolen time as the thread's own) does not
// count as the block's. The worst block is the costliest block so measured.
bool measure(const std::vector<uint8_t>& image, double seconds, Result& result) {
    constexpr int passes = 3;
    std::vector<double> shortest, times;
    for (int pass = 0; pass < passes; ++pass) {
        Result this_pass;
        this_pass.name = result.name;
        if (!measure_pass(image, seconds, this_pass, times)) return false;
        const double seen = result.worst_seen_ms;
        if (pass == 0 || this_pass.cpu_seconds < result.cpu_seconds) result = this_pass;
        result.worst_seen_ms = seen;
        if (pass == 0) shortest = times;
        for (size_t i = 0; i < times.size(); ++i)
            shortest[i] = std::min(shortest[i], times[i]);
        result.worst_seen_ms =
            std::max(result.worst_seen_ms, *std::max_element(times.begin(), times.end()));
    }
    result.worst_block_ms = *std::max_element(shortest.begin(), shortest.end());
    return true;
}

void print(const Result& r) {
    std::printf("%-46s %3d %8.1f %9.3f %9.1f %9.3f %7.3f%% %9.3f\n", r.name.c_str(), r.channels,
                r.audio_seconds, r.cpu_seconds, r.audio_seconds / r.cpu_seconds, r.worst_block_ms,
                100.0 * r.worst_block_ms / block_budget_ms, r.worst_seen_ms);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 120.0;
    const fs::path corpus = argc > 2 ? fs::path(argv[2]) : fs::path(".cache/corpus");
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: bench_mixer [SECONDS] [CORPUS_DIR]\n");
        return 2;
    }

    std::printf("bench_mixer: %.0f s of audio per song at %d Hz, block budget %.0f ms\n", seconds,
                rate, block_budget_ms);
    std::printf("%-46s %3s %8s %9s %9s %9s %8s %9s\n", "song", "ch", "audio s", "cpu s", "x real",
                "worst ms", "budget", "seen ms");

    Result embedded;
    embedded.name = "(embedded song)";
    if (measure(std::vector<uint8_t>(module_bytes, module_bytes + module_size), seconds, embedded))
        print(embedded);

    std::vector<fs::path> files;
    if (fs::is_directory(corpus)) {
        for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
            std::string extension = entry.path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
            if (entry.is_regular_file() && extension == ".xm") files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty())
        std::printf("(no corpus at %s: run scripts/fetch-corpus.sh)\n", corpus.c_str());

    Result total;
    total.name = "corpus overall";
    for (const fs::path& path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
        Result result;
        result.name = fs::relative(path, corpus).string();
        if (!measure(image, seconds, result)) {
            std::printf("%-46s (does not load)\n", result.name.c_str());
            continue;
        }
        print(result);
        total.audio_seconds += result.audio_seconds;
        total.cpu_seconds += result.cpu_seconds;
        total.worst_block_ms = std::max(total.worst_block_ms, result.worst_block_ms);
        total.worst_seen_ms = std::max(total.worst_seen_ms, result.worst_seen_ms);
    }
    if (total.cpu_seconds > 0) print(total);
    return 0;
}
