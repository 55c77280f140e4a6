// show_capture: renders frames of the show at chosen song times and writes them as PNG files.
//
//   show_capture --at 0,5,20,50,75 --out DIR [--step-ms 100] [--half] [--palette]
//
// The show runs through the same timeline and scene code as the program, frame after frame
// from its start, so each scene carries its state across frames as it does on screen. The song
// clock is driven by the player without a device: between two frames the device moves on by
// the blocks of one step and the ring is refilled as the output thread refills it, so frame k
// sees the clock the device would be playing after k steps. The first frame whose clock has reached
// a requested time is written to DIR/frame_<ms>.png (ms of the requested time, six digits). Frames
// are the same run after run. Draws offscreen with Mesa's EGL, so it needs no display.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/offscreen_context.h"
#include "app/renderer.h"
#include "player/session.h"
#include "scenes/scenes.h"
#include "tools/command_line.h"
#include "tools/offline_show.h"

namespace {

constexpr int32_t screen_width = 640;
constexpr int32_t screen_height = 480;

struct Options {
    std::vector<uint32_t> times_ms;  // ascending, no repeats
    std::string out_dir;
    uint32_t step_ms = 100;  // song time between two frames
    bool half = false;       // write 320 x 240, each pixel the mean of a 2 x 2 square
    bool palette = false;    // write an indexed PNG of at most 256 colours
};

const Usage usage = {
    "show_capture",
    "usage: show_capture --at SECONDS[,SECONDS...] --out DIR [--step-ms MS] [--half] [--palette]\n"
    "  --at       song times to capture, in seconds (decimals allowed)\n"
    "  --out      folder the frame_<ms>.png files are written to (must exist)\n"
    "  --step-ms  song time between two rendered frames (default 100)\n"
    "  --half     write 320 x 240 pictures\n"
    "  --palette  write 256-colour pictures\n"
    "  --help     show this text\n"};

// The times of a comma-separated list as whole milliseconds, ascending and without repeats.
void parse_times(const std::string& list, std::vector<uint32_t>& times) {
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const double seconds =
            seconds_option(usage, "--at", list.substr(start, comma - start), false);
        times.push_back(static_cast<uint32_t>(std::llround(seconds * 1000.0)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
}

Options parse_options(int argc, char** argv) {
    Options options;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (asks_for_help(arg)) {
            print_usage(usage);
        } else if (arg == "--at") {
            parse_times(option_value(usage, argc, argv, k), options.times_ms);
        } else if (arg == "--out") {
            options.out_dir = option_value(usage, argc, argv, k);
        } else if (arg == "--step-ms") {
            const std::string value = option_value(usage, argc, argv, k);
            options.step_ms =
                static_cast<uint32_t>(whole_number_option(usage, arg, value, 1, 60000));
        } else if (arg == "--half") {
            options.half = true;
        } else if (arg == "--palette") {
            options.palette = true;
        } else {
            fail_usage(usage, "unknown option " + arg);
        }
    }
    if (options.times_ms.empty()) fail_usage(usage, "give the song times to capture (--at)");
    if (options.out_dir.empty()) fail_usage(usage, "give the folder to write to (--out)");
    return options;
}

// The frame just drawn, top row first, as 8-bit RGB.
std::vector<uint8_t> read_frame() {
    std::vector<uint8_t> bottom_up(static_cast<size_t>(screen_width) * screen_height * 4);
    read_offscreen_frame(bottom_up.data());
    std::vector<uint8_t> rgb(static_cast<size_t>(screen_width) * screen_height * 3);
    for (int32_t y = 0; y < screen_height; ++y) {
        const uint8_t* row =
            &bottom_up[static_cast<size_t>(screen_height - 1 - y) * screen_width * 4];
        uint8_t* out = &rgb[static_cast<size_t>(y) * screen_width * 3];
        for (int32_t x = 0; x < screen_width; ++x) {
            out[3 * x] = row[4 * x];
            out[3 * x + 1] = row[4 * x + 1];
            out[3 * x + 2] = row[4 * x + 2];
        }
    }
    return rgb;
}

// Each output pixel the rounded mean of a 2 x 2 square of the input.
std::vector<uint8_t> halve(const std::vector<uint8_t>& rgb, int32_t width, int32_t height) {
    const int32_t half_width = width / 2;
    const int32_t half_height = height / 2;
    std::vector<uint8_t> out(static_cast<size_t>(half_width) * half_height * 3);
    for (int32_t y = 0; y < half_height; ++y) {
        for (int32_t x = 0; x < half_width; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                auto at = [&](int32_t sx, int32_t sy) {
                    return static_cast<uint32_t>(
                        rgb[(static_cast<size_t>(sy) * width + sx) * 3 + c]);
                };
                const uint32_t sum = at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) +
                                     at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1);
                out[(static_cast<size_t>(y) * half_width + x) * 3 + c] =
                    static_cast<uint8_t>((sum + 2) / 4);
            }
        }
    }
    return out;
}

// A picture as at most 256 colours: the 256 most frequent colours on a 5-bits-per-channel
// grid, every pixel mapped to the nearest of them. The show's flat-shaded faces and plain
// backgrounds use few colours, so the loss stays small.
struct Indexed {
    std::vector<png_color> palette;
    std::vector<uint8_t> indices;
};

Indexed to_palette(const std::vector<uint8_t>& rgb) {
    const size_t pixels = rgb.size() / 3;
    auto cell_of = [&](size_t p) {
        return static_cast<uint32_t>((rgb[3 * p] >> 3) << 10 | (rgb[3 * p + 1] >> 3) << 5 |
                                     (rgb[3 * p + 2] >> 3));
    };
    std::vector<uint32_t> count(1 << 15, 0);
    std::vector<uint64_t> sum(3 << 15, 0);
    for (size_t p = 0; p < pixels; ++p) {
        const uint32_t cell = cell_of(p);
        ++count[cell];
        for (int c = 0; c < 3; ++c)
            sum[3 * cell + c] += rgb[3 * p + c];
    }
    std::vector<uint32_t> cells;
    for (uint32_t cell = 0; cell < count.size(); ++cell) {
        if (count[cell] != 0) cells.push_back(cell);
    }
    // Most frequent first; equal counts by cell number, so the choice is the same every run.
    std::sort(cells.begin(), cells.end(), [&](uint32_t a, uint32_t b) {
        return count[a] != count[b] ? count[a] > count[b] : a < b;
    });
    if (cells.size() > 256) cells.resize(256);
    Indexed out;
    for (uint32_t cell : cells) {
        png_color colour;
        colour.red = static_cast<png_byte>(sum[3 * cell] / count[cell]);
        colour.green = static_cast<png_byte>(sum[3 * cell + 1] / count[cell]);
        colour.blue = static_cast<png_byte>(sum[3 * cell + 2] / count[cell]);
        out.palette.push_back(colour);
    }
    std::vector<int32_t> nearest(1 << 15, -1);
    out.indices.resize(pixels);
    for (size_t p = 0; p < pixels; ++p) {
        const uint32_t cell = cell_of(p);
        if (nearest[cell] < 0) {
            int32_t best = 0;
            int32_t best_distance = INT32_MAX;
            for (size_t k = 0; k < out.palette.size(); ++k) {
                const int32_t dr = int32_t(out.palette[k].red) - rgb[3 * p];
                const int32_t dg = int32_t(out.palette[k].green) - rgb[3 * p + 1];
                const int32_t db = int32_t(out.palette[k].blue) - rgb[3 * p + 2];
                const int32_t distance = dr * dr + dg * dg + db * db;
                if (distance < best_distance) {
                    best_distance = distance;
                    best = static_cast<int32_t>(k);
                }
            }
            nearest[cell] = best;
        }
        out.indices[p] = static_cast<uint8_t>(nearest[cell]);
    }
    return out;
}

// Writes an RGB or indexed picture; no time stamp or other varying chunk goes in, so the same
// frame gives the same bytes.
bool write_png(const std::string& path, const std::vector<uint8_t>& rgb, int32_t width,
               int32_t height, bool palette) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    Indexed indexed;
    const uint8_t* pixels = rgb.data();
    size_t row_bytes = static_cast<size_t>(width) * 3;
    if (palette) {
        indexed = to_palette(rgb);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, info, indexed.palette.data(), static_cast<int>(indexed.palette.size()));
        pixels = indexed.indices.data();
        row_bytes = static_cast<size_t>(width);
    } else {
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    }
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y) {
        png_write_row(png, const_cast<png_bytep>(pixels + static_cast<size_t>(y) * row_bytes));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

// Writes the frame just drawn for a requested time and names it with the scene it shows.
bool write_frame(const Options& options, uint32_t requested_ms, int32_t drawn_scene) {
    std::vector<uint8_t> rgb = read_frame();
    int32_t width = screen_width;
    int32_t height = screen_height;
    if (options.half) {
        rgb = halve(rgb, width, height);
        width /= 2;
        height /= 2;
    }
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06u.png", requested_ms);
    const std::string path = options.out_dir + "/" + name;
    if (!write_png(path, rgb, width, height, options.palette)) {
        std::fprintf(stderr, "show_capture: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\t%.3f s\tscene %d\n", path.c_str(), static_cast<double>(song_seconds),
                static_cast<int>(drawn_scene));
    return true;
}

// Runs the show frame by frame and writes the first frame at or past each requested time.
int run_show(const Options& options) {
    const double block_ms = 1000.0 * ring_block_frames() / offline_output_rate;
    const int32_t blocks_per_frame =
        std::max<int32_t>(1, static_cast<int32_t>(std::lround(options.step_ms / block_ms)));
    size_t next_capture = 0;
    int64_t device_block = 0;  // the device is playing the ring's first block
    while (next_capture < options.times_ms.size()) {
        const int32_t drawn_scene = current_scene;
        const bool goes_on = render_frame();
        const uint32_t frame_ms = song_clock_ms(playing_song());
        if (!goes_on) {
            std::fprintf(stderr, "show_capture: the show ends at %.3f s, before %.3f s\n",
                         frame_ms / 1000.0, options.times_ms[next_capture] / 1000.0);
            return exit_failure;
        }
        while (next_capture < options.times_ms.size() &&
               frame_ms >= options.times_ms[next_capture]) {
            if (!write_frame(options, options.times_ms[next_capture], drawn_scene)) {
                return exit_failure;
            }
            ++next_capture;
        }
        finish_offscreen_frame();
        device_block += blocks_per_frame;
        play_offline_until(device_block);
    }
    return exit_done;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    const char* failure = nullptr;
    if (!open_offscreen_context(screen_width, screen_height, failure)) {
        std::fprintf(stderr, "show_capture: %s\n", failure);
        return exit_failure;
    }
    setup_scene_state();
    if (!start_offline_show()) {
        std::fprintf(stderr, "show_capture: cannot load the embedded song\n");
        return exit_failure;
    }
    const int status = run_show(options);
    close_offscreen_context();
    return status;
}
