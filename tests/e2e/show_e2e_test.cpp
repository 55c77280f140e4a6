// The real demo under an X server of its own, driven as a user would, in one run: Yes at the
// start-up question, then F1 thirty times, then the whole show to its end. The sound goes into a
// file through SDL's disk driver, which empties the file at every device open and then writes
// what the device plays, paced as a sound card takes it. So each toggle shows as the file
// starting again, with the same opening music; memory after the last toggle is held against
// memory after the first; and after the last toggle the file holds the whole show: sample for
// sample what the player mixes for the embedded song, after the silence the device played
// before the ring started. The file's length at each screenshot is the show's own clock: the
// player, run here over the same song, turns frames heard into the song time the timeline
// reads, and each screenshot must show the scene the timeline gives for that time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/support/demo_fixture.h"
#include "tests/support/pixels.h"
#include "tests/support/song_mix.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t second_bytes = 44100 * 4;
constexpr int screen_tolerance = 12;  // a 16-bit screen keeps 5 or 6 bits of each primary

// The first frame of 16-bit stereo bytes that is not silent, in bytes.
size_t sounding(const std::string& bytes) {
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](char b) { return b != 0; });
    return size_t(first - bytes.begin()) & ~size_t(3);
}

// The scene a screenshot of the show's window shows (2, 3 or 4), 0 when it is none of them.
// Scene 2 clears to light blue, scene 3 to purple; each covers at least a fifth of the frame,
// the other's colour almost none. Scene 4 clears to black under a fogged tunnel whose quads
// have equal red and blue, with few white text pixels, and is not wholly black (a window
// before its first frame or after its last).
int scene_of(const std::vector<uint8_t>& rgb) {
    const size_t pixels = rgb.size() / 3;
    size_t blue = 0;
    size_t violet = 0;
    size_t bright = 0;
    size_t red_is_blue = 0;
    size_t dark = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const Rgb colour = pixel_at(rgb, i);
        blue += near(colour, light_blue, screen_tolerance);
        violet += near(colour, purple, screen_tolerance);
        bright += near(colour, white, 14);
        red_is_blue += std::abs(colour[0] - colour[2]) <= 3;
        dark += near(colour, black, screen_tolerance);
    }
    const auto share = [&](size_t count) {
        return double(count) / double(std::max<size_t>(pixels, 1));
    };
    if (share(blue) >= 0.2 && share(violet) < 0.02) return 2;
    if (share(violet) >= 0.2 && share(blue) < 0.02) return 3;
    if (share(blue) >= 0.02 || share(violet) >= 0.02) return 0;
    if (share(bright) < 0.2 && share(red_is_blue) > 0.95 && share(dark) < 0.9) return 4;
    return 0;
}

// A screenshot of the show, with the sound file's length just before and just after it.
struct Shot {
    size_t bytes_before;
    size_t bytes_after;
    int scene;
};

// The timeline: each section of song time up to its end and the scene it shows.
struct Section {
    uint32_t end_ms;
    int scene;
};
const Section sections[] = {{13700, 2}, {28700, 3}, {72000, 4}, {79000, 3}};

class Show : public DemoTest {
protected:
    void SetUp() override {
        start_x("640x480x16");
        // One allocator arena with fixed thresholds and a renderer without threads of its own,
        // so that resident memory follows the memory the demo holds.
        start_demo({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + sound_.string(),
                    "MALLOC_ARENA_MAX=1", "MALLOC_MMAP_THRESHOLD_=65536",
                    "MALLOC_TRIM_THRESHOLD_=131072", "LP_NUM_THREADS=0"});
    }
    void TearDown() override {
        DemoTest::TearDown();
        fs::remove(sound_);
    }
    size_t sound_bytes() {
        std::error_code error;
        const auto bytes = fs::file_size(sound_, error);
        return error ? 0 : size_t(bytes);
    }
    std::string sound() { return read_file(sound_); }
    // The first half second of music after the device's opening silence; empty until there.
    std::string opening_music() {
        const std::string bytes = sound();
        const size_t start = sounding(bytes);
        if (bytes.size() < start + second_bytes / 2) return "";
        return bytes.substr(start, second_bytes / 2);
    }
    // Waits for the opening music of the show just started.
    std::string wait_for_opening_music() {
        std::string music;
        poll_until([&] {
            music = opening_music();
            return !music.empty();
        });
        return music;
    }
    // The least resident memory the demo shows in `samples` readings 200 ms apart: the
    // renderer's memory comes and goes.
    long least_resident_kb(int samples) {
        long least = -1;
        for (int i = 0; i < samples; ++i) {
            const long kb = process_status_kb(demo_.pid, "VmRSS");
            if (kb > 0 && (least < 0 || kb < least)) least = kb;
            sleep_milliseconds(200);
        }
        return least;
    }
    // How many pixels of the bottom rows are not light blue: scene 2's fan of titles reaches
    // into them, below the tube, for the first three seconds.
    long bottom_text_pixels(const ScreenWindow& window) {
        const std::vector<uint8_t> rgb =
            screen_pixels(display_, window.x, window.y + 330, 640, 150);
        long texts = 0;
        for (size_t i = 0; i < rgb.size() / 3; ++i)
            texts += !near(pixel_at(rgb, i), light_blue, screen_tolerance);
        return texts;
    }

    const fs::path sound_ =
        fs::temp_directory_path() / ("tirvalex-show-" + std::to_string(getpid()) + ".raw");
};

TEST_F(Show, TogglesThirtyTimesThenPlaysTheWholeShowOnItsSongClock) {
    tap(wait_for("HEJD"), "Return");  // Yes
    ScreenWindow window = wait_for("Tirvalex3");
    const std::string song_start = wait_for_opening_music();
    ASSERT_FALSE(song_start.empty()) << "no music";

    long first_kb = -1;
    for (int toggle = 1; toggle <= 30; ++toggle) {
        // F1 once the device has played a second, held until the file starts again.
        ASSERT_TRUE(poll_until([&] { return sound_bytes() >= second_bytes; }));
        const size_t before = sound_bytes();
        const std::string id = std::to_string(window.id);
        ASSERT_TRUE(xdotool(display_, {"windowfocus", "--sync", id, "keydown", "F1"}));
        ASSERT_TRUE(poll_until([&] { return sound_bytes() < before; })) << "toggle " << toggle;
        xdotool(display_, {"keyup", "F1"});
        ASSERT_LT(demo_exit(), 0) << "toggle " << toggle << " ended the demo";
        window = wait_for("Joka's Outline Font Tutorial");
        EXPECT_EQ(window.width, 640) << "toggle " << toggle;
        EXPECT_EQ(window.height, 480) << "toggle " << toggle;
        EXPECT_EQ(wait_for_opening_music(), song_start)
            << "toggle " << toggle << " did not start the song from its beginning";
        long texts = 0;
        poll_until(
            [&] {
                texts = bottom_text_pixels(window);
                return texts >= 1000;
            },
            3);
        EXPECT_GE(texts, 1000) << "toggle " << toggle << " drew no texts";
        if (toggle == 1) first_kb = least_resident_kb(10);
    }

    // The show after the last toggle: screenshots with the file's length around each.
    std::vector<Shot> shots;
    long last_kb = -1;
    const double give_up = monotonic_seconds() + 600;
    while (demo_exit() < 0 && monotonic_seconds() < give_up) {
        const size_t before = sound_bytes();
        const int scene = scene_of(screen_pixels(display_, window.x, window.y, 640, 480));
        if (demo_exit() < 0) shots.push_back({before, sound_bytes(), scene});
        const long kb = process_status_kb(demo_.pid, "VmRSS");
        if (kb > 0 && (last_kb < 0 || kb < last_kb)) last_kb = kb;
        sleep_milliseconds(150);
    }
    ASSERT_GE(demo_exit(), 0) << "the show did not end";
    EXPECT_EQ(demo_exit(), 0);
    // A toggle that kept its window's lists, its ring or its mixing buffer would pass this.
    EXPECT_LE(last_kb - first_kb, 5 * 1024) << "kB after the first toggle: " << first_kb;

    // The player's own mix of the song from its start, with the clock of each block.
    const std::string heard = sound();
    const SongMix mix = mix_embedded_song(heard.size() / 4);
    const char* pcm = reinterpret_cast<const char*>(mix.pcm.data());
    const std::string song(pcm, 2 * mix.pcm.size());
    const size_t block_bytes = song.size() / mix.clock_ms.size();
    ASSERT_GE(sounding(heard), sounding(song)) << "the song's first sound came too early";
    const size_t silence = sounding(heard) - sounding(song);
    const auto differs = std::mismatch(heard.begin() + long(silence), heard.end(), song.begin());
    EXPECT_EQ(differs.first, heard.end()) << "the sound differs from the song at byte "
                                          << differs.first - heard.begin() - long(silence);
    const auto song_ms = [&](size_t bytes) {
        const size_t block = (bytes > silence ? bytes - silence : 0) / block_bytes;
        return mix.clock_ms[std::min(block, mix.clock_ms.size() - 1)];
    };
    EXPECT_GT(song_ms(heard.size()) + 250, 79000u);  // the show ends after 79 s of song time

    // A shot is judged when the clock stood in one section from 3 s before it (the frame on
    // screen was drawn earlier, and chose its scene by the frame before) to 0.25 s after it
    // (the file lags the clock by the device's buffers).
    const auto section = [](uint32_t ms) {
        size_t s = 0;
        while (s < std::size(sections) && ms > sections[s].end_ms)
            ++s;
        return s;
    };
    size_t judged[std::size(sections) + 1] = {};
    std::vector<int> order;
    for (const Shot& shot : shots) {
        const uint32_t before = song_ms(shot.bytes_before);
        const uint32_t after = song_ms(shot.bytes_after);
        if (shot.scene != 0 && (order.empty() || order.back() != shot.scene))
            order.push_back(shot.scene);
        const size_t first = section(before > 3000 ? before - 3000 : 0);
        if (before < 3000 || first != section(after + 250) || first == std::size(sections))
            continue;
        ++judged[first];
        EXPECT_EQ(shot.scene, sections[first].scene) << "at " << before << " to " << after << " ms";
    }
    for (size_t s = 0; s < std::size(sections); ++s)
        EXPECT_GE(judged[s], 3u) << "shots judged in the section up to " << sections[s].end_ms;
    EXPECT_EQ(order, (std::vector<int>{2, 3, 4, 3}));
}

}  // namespace
