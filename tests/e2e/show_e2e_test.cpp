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
#include <climits>
#include <filesystem>

#include "tests/e2e/support/demo_fixture.h"
#include "tests/support/pixels.h"
#include "tests/support/song_mix.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t rate = 44100;
constexpr int screen_tolerance = 12;  // a 16-bit screen keeps 5 or 6 bits of each primary

// The scene a screenshot of the show's window shows (2, 3 or 4), 0 when it is none of them.
// Scene 2 clears to light blue, scene 3 to purple; each covers at least a fifth of the frame,
// the other's colour almost none. Scene 4 clears to black under a fogged tunnel whose quads
// have equal red and blue, with few white text pixels, and is not wholly black (a window
// before its first frame or after its last).
int scene_of(const std::vector<Rgb>& pixels) {
    const double share = 1.0 / double(pixels.size());  // of one pixel in the frame
    double blue = 0;
    double violet = 0;
    double bright = 0;
    double red_is_blue = 0;
    double dark = 0;
    for (const Rgb& colour : pixels) {
        blue += share * near(colour, light_blue, screen_tolerance);
        violet += share * near(colour, purple, screen_tolerance);
        bright += share * near(colour, white, 14);
        red_is_blue += share * (std::abs(colour[0] - colour[2]) <= 3);
        dark += share * near(colour, black, screen_tolerance);
    }
    if (blue >= 0.2 && violet < 0.02) return 2;
    if (violet >= 0.2 && blue < 0.02) return 3;
    if (blue >= 0.02 || violet >= 0.02) return 0;
    if (bright < 0.2 && red_is_blue > 0.95 && dark < 0.9) return 4;
    return 0;
}

// A screenshot of the show, with the sound file's length in frames just before and just after.
struct Shot {
    size_t frames_before;
    size_t frames_after;
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
    // The sound file's length in 16-bit stereo frames.
    size_t sound_frames() {
        std::error_code error;
        const auto bytes = fs::file_size(sound_, error);
        return error ? 0 : size_t(bytes) / 4;
    }
    // The sound file as 16-bit stereo samples, left first.
    std::vector<int16_t> sound() {
        const std::string bytes = read_file(sound_);
        const auto* samples = reinterpret_cast<const int16_t*>(bytes.data());
        return {samples, samples + bytes.size() / 2};
    }
    // Waits for the first half second of music after the device's opening silence of the show
    // just started; empty when none comes.
    std::vector<int16_t> wait_for_opening_music() {
        std::vector<int16_t> music;
        poll_until([&] {
            const std::vector<int16_t> pcm = sound();
            const auto start = pcm.begin() + long(2 * first_sound(pcm));
            if (pcm.end() - start >= long(rate)) music.assign(start, start + rate);
            return !music.empty();
        });
        return music;
    }
    // The least resident memory the demo shows in `samples` readings 200 ms apart (the
    // renderer's memory comes and goes); LONG_MAX when none can be read.
    long least_resident_kb(int samples) {
        long least = LONG_MAX;
        for (int i = 0; i < samples; ++i) {
            const long kb = process_status_kb(demo_.pid, "VmRSS");
            if (kb > 0) least = std::min(least, kb);
            sleep_milliseconds(200);
        }
        return least;
    }
    // How many pixels of the bottom rows are not light blue: scene 2's fan of titles reaches
    // into them, below the tube, for the first three seconds.
    long bottom_text_pixels(const ScreenWindow& window) {
        const std::vector<Rgb> pixels = screen_pixels(display_, window.x, window.y + 330, 640, 150);
        return std::ranges::count_if(
            pixels, [](const Rgb& colour) { return !near(colour, light_blue, screen_tolerance); });
    }

    const fs::path sound_ =
        fs::temp_directory_path() / ("tirvalex-show-" + std::to_string(getpid()) + ".raw");
};

TEST_F(Show, TogglesThirtyTimesThenPlaysTheWholeShowOnItsSongClock) {
    tap(wait_for("HEJD"), "Return");  // Yes
    ScreenWindow window = wait_for("Tirvalex3");
    const std::vector<int16_t> song_start = wait_for_opening_music();
    ASSERT_FALSE(song_start.empty()) << "no music";

    long first_kb = -1;
    for (int toggle = 1; toggle <= 30; ++toggle) {
        SCOPED_TRACE("toggle " + std::to_string(toggle));
        // F1 once the device has played a second, held until the file starts again.
        ASSERT_TRUE(poll_until([&] { return sound_frames() >= rate; }));
        const size_t before = sound_frames();
        ASSERT_TRUE(xdotool(display_,
                            {"windowfocus", "--sync", std::to_string(window.id), "keydown", "F1"}));
        ASSERT_TRUE(poll_until([&] { return sound_frames() < before; })) << "no new sound file";
        xdotool(display_, {"keyup", "F1"});
        ASSERT_LT(demo_exit(), 0) << "the toggle ended the demo";
        window = wait_for("Joka's Outline Font Tutorial");
        EXPECT_EQ(window.width, 640);
        EXPECT_EQ(window.height, 480);
        EXPECT_EQ(wait_for_opening_music(), song_start) << "the song did not start again";
        const bool texts = poll_until([&] { return bottom_text_pixels(window) >= 1000; }, 3);
        EXPECT_TRUE(texts) << "fewer than 1000 pixels of texts below the tube";
        if (toggle == 1) first_kb = least_resident_kb(10);
    }

    // The show after the last toggle: screenshots with the file's length around each.
    std::vector<Shot> shots;
    long last_kb = LONG_MAX;
    const double give_up = monotonic_seconds() + 600;
    while (demo_exit() < 0 && monotonic_seconds() < give_up) {
        const size_t before = sound_frames();
        const int scene = scene_of(screen_pixels(display_, window.x, window.y, 640, 480));
        if (demo_exit() < 0) shots.push_back({before, sound_frames(), scene});
        last_kb = std::min(last_kb, least_resident_kb(1));
    }
    ASSERT_GE(demo_exit(), 0) << "the show did not end";
    EXPECT_EQ(demo_exit(), 0);
    // A toggle that did not free its window's lists, its ring or its mixing buffer would grow
    // past this.
    EXPECT_LE(last_kb - first_kb, 5 * 1024) << "kB after the first toggle: " << first_kb;

    // The player's own mix of the song from its start, with the clock of each block.
    // Once the show has stopped the song, the device plays silence until it is closed.
    std::vector<int16_t> heard = sound();
    heard.resize(heard.size() - 2 * first_sound({heard.rbegin(), heard.rend()}));
    const SongMix mix = mix_embedded_song(heard.size() / 2);
    const size_t block_frames = mix.pcm.size() / 2 / mix.clock_ms.size();
    ASSERT_GE(first_sound(heard), first_sound(mix.pcm)) << "the song's first sound came too early";
    const size_t silence = first_sound(heard) - first_sound(mix.pcm);
    const auto differs =
        std::mismatch(heard.begin() + long(2 * silence), heard.end(), mix.pcm.begin());
    EXPECT_EQ(differs.first, heard.end())
        << "the sound differs from the song at frame " << (differs.second - mix.pcm.begin()) / 2;
    const auto song_ms = [&](size_t frames) {
        const size_t block = (frames > silence ? frames - silence : 0) / block_frames;
        return mix.clock_ms[std::min(block, mix.clock_ms.size() - 1)];
    };
    EXPECT_GT(song_ms(heard.size() / 2) + 250, 79000u);  // the show ends after 79 s of song time

    // A shot is judged when the clock stood in one section from 3 s before it (the frame on
    // screen was drawn earlier, and chose its scene by the frame before) to 0.25 s after it
    // (the file lags the clock by the device's buffers). Judged shots in every section, each
    // showing its scene, also hold the scenes' order.
    const auto section = [](uint32_t ms) {
        size_t s = 0;
        while (s < std::size(sections) && ms > sections[s].end_ms)
            ++s;
        return s;
    };
    size_t judged[std::size(sections)] = {};
    for (const Shot& shot : shots) {
        const uint32_t before = song_ms(shot.frames_before);
        const uint32_t after = song_ms(shot.frames_after);
        const size_t first = section(before - 3000);  // past every section when before < 3000
        if (first != section(after + 250) || first == std::size(sections)) continue;
        ++judged[first];
        EXPECT_EQ(shot.scene, sections[first].scene) << "at " << before << " to " << after << " ms";
    }
    for (size_t s = 0; s < std::size(sections); ++s)
        EXPECT_GE(judged[s], 3u) << "shots judged in the section up to " << sections[s].end_ms;
}

}  // namespace
