// xm_render: renders an XM song once through into a 16-bit stereo PCM WAV file, through the
// same block filler and ring the demo plays from, so the file holds exactly the samples the
// demo hands its wave device.
//
//   xm_render [--rate HZ] [--seconds S] INPUT.xm OUTPUT.wav
//   xm_render [--rate HZ] [--seconds S] --embedded OUTPUT.wav
//
// The song ends at the first row tick that returns to an order and row already played, other
// than through a pattern loop; the render stops there, or after S seconds, and never runs
// past 20 minutes. A file that ends early plays what it holds; one the player cannot play is
// refused with the loader's one-line reason. Exit status: 0 done, 1 a file that cannot be
// read, loaded or written, 2 bad usage.
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/module_bytes.h"
#include "player/session.h"
#include "tools/command_line.h"

namespace {

constexpr int32_t default_rate = 44100;
constexpr double longest_seconds = 20 * 60;
constexpr uint32_t wav_header_bytes = 44;
constexpr uint32_t frame_bytes = 4;

const Usage usage = {
    "xm_render",
    "usage: xm_render [--rate HZ] [--seconds S] INPUT.xm OUTPUT.wav\n"
    "       xm_render [--rate HZ] [--seconds S] --embedded OUTPUT.wav\n"
    "Renders an XM song once through to a 16-bit stereo WAV file: up to the first row that\n"
    "returns to a position already played (pattern loops aside), at most 20 minutes.\n"
    "  --rate HZ     output rate, 8000 to 192000 (default 44100)\n"
    "  --seconds S   stop after S seconds of audio\n"
    "  --embedded    render the song the demo carries\n"
    "  --help        show this text\n"};

struct Options {
    int32_t rate = default_rate;
    double seconds = longest_seconds;
    bool embedded = false;
    std::string input;
    std::string output;
};

Options parse_options(int argc, char** argv) {
    Options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (asks_for_help(argument)) {
            print_usage(usage);
        } else if (argument == "--embedded") {
            options.embedded = true;
        } else if (argument == "--rate") {
            const std::string value = option_value(usage, argc, argv, i);
            options.rate = int32_t(
                whole_number_option(usage, argument, value, min_output_rate, max_output_rate));
        } else if (argument == "--seconds") {
            const std::string value = option_value(usage, argc, argv, i);
            options.seconds =
                std::min(seconds_option(usage, argument, value, true), longest_seconds);
        } else if (argument.size() > 1 && argument[0] == '-') {
            fail_usage(usage, "unknown option " + argument);
        } else {
            files.push_back(argument);
        }
    }
    const size_t wanted = options.embedded ? 1 : 2;
    if (files.size() != wanted)
        fail_usage(usage, options.embedded ? "--embedded takes one file: OUTPUT.wav"
                                           : "give INPUT.xm and OUTPUT.wav");
    if (!options.embedded) options.input = files[0];
    options.output = files.back();
    return options;
}

bool read_file(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    // Room for the whole file when its size is known and is one a song can have, so that the
    // chunks are appended without moving what was read before them.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0 && uint64_t(size) <= UINT32_MAX) bytes.reserve(size_t(size));
        std::rewind(file);
    }
    uint8_t chunk[65536];
    size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

void put16(uint8_t*& out, uint32_t value) {
    *out++ = uint8_t(value);
    *out++ = uint8_t(value >> 8);
}

void put32(uint8_t*& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// The 44-byte header of a PCM WAV file: 2 channels of 16 bits at `rate`.
bool write_wav_header(FILE* file, int32_t rate, uint32_t data_bytes) {
    uint8_t header[wav_header_bytes];
    uint8_t* out = header;
    std::memcpy(out, "RIFF", 4);
    out += 4;
    put32(out, 36 + data_bytes);
    std::memcpy(out, "WAVEfmt ", 8);
    out += 8;
    put32(out, 16);                            // format chunk size
    put16(out, 1);                             // PCM
    put16(out, 2);                             // channels
    put32(out, uint32_t(rate));                // frames per second
    put32(out, uint32_t(rate) * frame_bytes);  // bytes per second
    put16(out, frame_bytes);                   // block alignment
    put16(out, 16);                            // bits per sample
    std::memcpy(out, "data", 4);
    out += 4;
    put32(out, data_bytes);
    return std::fseek(file, 0, SEEK_SET) == 0 &&
           std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

// Writes frames of the ring as little-endian 16-bit pairs: as they stand on a little-endian
// machine, byte-swapped through a small buffer elsewhere.
bool write_frames(FILE* file, const int16_t* frames, int32_t count) {
    const size_t values = size_t(count) * 2;
    if constexpr (std::endian::native == std::endian::little) {
        return std::fwrite(frames, sizeof(int16_t), values, file) == values;
    } else {
        uint8_t bytes[4096];
        for (size_t done = 0; done < values;) {
            const size_t chunk = std::min(values - done, sizeof bytes / 2);
            uint8_t* out = bytes;
            for (size_t i = 0; i < chunk; ++i)
                put16(out, uint16_t(frames[done + i]));
            if (std::fwrite(bytes, 2, chunk, file) != chunk) return false;
            done += chunk;
        }
        return true;
    }
}

// Block b is read once the device has moved on to the first block whose ring holds it, so every
// block is mixed exactly once, in order, as the offline start and the refills mix them.
int render(const Options& options, FILE* file) {
    const bool show_progress = isatty(STDERR_FILENO) == 1;
    const int64_t frame_limit = std::llround(options.seconds * options.rate);
    const int64_t block_frames = ring_block_frames();
    const int64_t ring_blocks = ring_block_count();
    int64_t written = 0;
    int64_t next_report = 0;
    bool ok = write_wav_header(file, options.rate, 0);
    for (int64_t block = 0; ok && written < frame_limit; ++block) {
        play_offline_until(std::max<int64_t>(block - ring_blocks + 1, 0));
        int64_t stop = std::min<int64_t>(frame_limit, written + block_frames);
        const int64_t end_frame = song_end_frame();
        if (end_frame >= 0) stop = std::min(stop, end_frame);
        if (stop <= written) break;
        ok = write_frames(file, heard_block_pcm(block), int32_t(stop - written));
        written = stop;
        if (end_frame >= 0 && written >= end_frame) break;
        if (show_progress && written >= next_report) {
            std::fprintf(stderr, "\rxm_render: %.0f s", double(written) / options.rate);
            next_report = written + options.rate;
        }
    }
    if (show_progress)
        std::fprintf(stderr, "\rxm_render: %.1f s\n", double(written) / options.rate);
    const uint64_t data_bytes = uint64_t(written) * frame_bytes;
    ok = ok && write_wav_header(file, options.rate, uint32_t(data_bytes));
    return ok ? exit_done : exit_failure;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) fail_usage(usage, "nothing to render");
    const Options options = parse_options(argc, argv);

    std::vector<uint8_t> bytes;
    if (options.embedded) {
        bytes.assign(module_bytes, module_bytes + module_size);
    } else if (!read_file(options.input, bytes)) {
        std::fprintf(stderr, "xm_render: cannot read %s: %s\n", options.input.c_str(),
                     std::strerror(errno));
        return exit_failure;
    }
    const char* source = options.embedded ? "the embedded song" : options.input.c_str();
    if (bytes.size() > UINT32_MAX) {
        std::fprintf(stderr, "xm_render: %s is too large to be an XM module\n", source);
        return exit_failure;
    }
    XmModule* module = load_song(bytes.data(), uint32_t(bytes.size()));
    if (!module) {
        std::fprintf(stderr, "xm_render: cannot load %s: %s\n", source, load_song_failure());
        return exit_failure;
    }

    FILE* file = std::fopen(options.output.c_str(), "wb");
    static char file_buffer[1 << 20];
    if (file) std::setvbuf(file, file_buffer, _IOFBF, sizeof file_buffer);
    if (!file) {
        std::fprintf(stderr, "xm_render: cannot write %s: %s\n", options.output.c_str(),
                     std::strerror(errno));
        release_song(module);
        return exit_failure;
    }
    start_song_offline(module, options.rate);
    int status = render(options, file);
    if (std::fclose(file) != 0) status = exit_failure;
    if (status != 0)
        std::fprintf(stderr, "xm_render: cannot write %s: %s\n", options.output.c_str(),
                     std::strerror(errno));
    release_song(module);
    return status;
}
