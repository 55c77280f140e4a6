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
#include <fstream>
#include <iterator>
#include <tuple>

#include "tests/e2e/support/x_test.h"
#include "tests/support/song_mix.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t second_bytes = 44100 * 4;

// The first frame of 16-bit stereo bytes that is not silent, in bytes.
size_t sounding(const std::vector<char>& bytes) {
    return size_t(std::find_if(bytes.begin(), bytes.end(), [](char b) { return b; }) -
                  bytes.begin()) &
           ~size_t(3);
}

class Show : public XTest {
protected:
    void SetUp() override {
        sound_ = fs::temp_directory_path() / ("tirvalex-show-" + std::to_string(getpid()) + ".raw");
        start_x("640x480x16");
        // One allocator arena with fixed thresholds and a renderer without threads of its own,
        // so that resident memory follows the memory the demo holds.
        start_demo({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + sound_.string(),
                    "MALLOC_ARENA_MAX=1", "MALLOC_MMAP_THRESHOLD_=65536",
                    "MALLOC_TRIM_THRESHOLD_=131072", "LP_NUM_THREADS=0"});
    }
    void TearDown() override {
        XTest::TearDown();
        fs::remove(sound_);
    }
    std::vector<char> sound() {
        std::ifstream file(sound_, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
    // The first half second of music after the device's opening silence; empty until there.
    std::vector<char> opening_music() {
        const std::vector<char> bytes = sound();
        const size_t start = sounding(bytes);
        if (bytes.size() < start + second_bytes / 2) return {};
        return {bytes.begin() + long(start), bytes.begin() + long(start + second_bytes / 2)};
    }

    fs::path sound_;
};

TEST_F(Show, TogglesThirtyTimesThenPlaysTheWholeShowOnItsSongClock) {
    tap(wait_for("HEJD"), "Return");  // Yes
    ScreenWindow window = wait_for("Tirvalex3");
    std::vector<char> song_start;
    ASSERT_TRUE(poll_until([&] { return !(song_start = opening_music()).empty(); })) << "no music";

    long first_kb = -1;
    for (int toggle = 1; toggle <= 30; ++toggle) {
        // F1 once the device has played a second, held until the file starts again.
        ASSERT_TRUE(poll_until([&] { return sound().size() >= second_bytes; }));
        const size_t before = sound().size();
        xdotool("windowfocus --sync " + std::to_string(window.id) + " keydown F1");
        ASSERT_TRUE(poll_until([&] { return sound().size() < before; })) << "toggle " << toggle;
        xdotool("keyup F1");
        ASSERT_LT(demo_exit(), 0) << "toggle " << toggle << " ended the demo";
        window = wait_for("Joka's Outline Font Tutorial");
        EXPECT_EQ(window.width * 1000 + window.height, 640480) << "toggle " << toggle;
        std::vector<char> music;
        EXPECT_TRUE(poll_until([&] { return !(music = opening_music()).empty(); }) &&
                    music == song_start)
            << "toggle " << toggle << " did not start the song from its beginning";
        // Scene 2's fan of titles reaches into the bottom rows, below the tube, for the first
        // three seconds: pixels there that are not the light blue are its texts.
        long texts = 0;
        poll_until(
            [&] {
                const std::vector<uint8_t> rgb = pixels(window.x, window.y + 330, 640, 150);
                texts = 0;
                for (size_t i = 0; i + 2 < rgb.size(); i += 3)
                    texts += !near(&rgb[i], 77, 128, 255);
                return texts >= 1000;
            },
            3);
        EXPECT_GE(texts, 1000) << "toggle " << toggle << " drew no texts";
        if (toggle == 1) {  // the lowest of a few samples: the renderer's memory comes and goes
            for (int i = 0; i < 10;
                 ++i, std::this_thread::sleep_for(std::chrono::milliseconds(200)))
                if (long kb = demo_resident_kb(); kb > 0 && (first_kb < 0 || kb < first_kb))
                    first_kb = kb;
        }
    }

    // The show after the last toggle: screenshots with the file's length around each.
    std::vector<std::tuple<size_t, size_t, int>> shots;  // file bytes before and after, scene
    long last_kb = -1;
    for (const double end = now() + 600; demo_exit() < 0 && now() < end;) {
        const size_t before = fs::file_size(sound_);
        const int scene = scene_of(pixels(window.x, window.y, 640, 480));
        if (demo_exit() < 0) shots.push_back({before, size_t(fs::file_size(sound_)), scene});
        if (long kb = demo_resident_kb(); kb > 0 && (last_kb < 0 || kb < last_kb)) last_kb = kb;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    ASSERT_GE(demo_exit(), 0) << "the show did not end";
    EXPECT_EQ(demo_exit(), 0);
    // A toggle that kept its window's lists, its ring or its mixing buffer would pass this.
    EXPECT_LE(last_kb - first_kb, 5 * 1024) << "kB after the first toggle: " << first_kb;

    // The player's own mix of the song from its start, with the clock of each block.
    const std::vector<char> heard = sound();
    const SongMix mix = mix_embedded_song(heard.size() / 4);
    const char* pcm = reinterpret_cast<const char*>(mix.pcm.data());
    const std::vector<char> song(pcm, pcm + 2 * mix.pcm.size());
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

    // The timeline: scene 2 up to 13.7 s, 3 up to 28.7 s, 4 up to 72 s, 3 up to 79 s. A shot is
    // judged when the clock stood in one section from 3 s before it (the frame on screen was
    // drawn earlier, and chose its scene by the frame before) to 0.25 s after it (the file lags
    // the clock by the device's buffers).
    const uint32_t ends[] = {13700, 28700, 72000, 79000}, scenes[] = {2, 3, 4, 3};
    const auto section = [&](uint32_t ms) {
        return int(std::lower_bound(ends, ends + 4, ms) - ends);
    };
    int judged[5] = {};
    std::vector<int> order;
    for (const auto& [bytes_before, bytes_after, scene] : shots) {
        const uint32_t before = song_ms(bytes_before), after = song_ms(bytes_after);
        if (scene != 0 && (order.empty() || order.back() != scene)) order.push_back(scene);
        const int first = section(before > 3000 ? before - 3000 : 0);
        if (before < 3000 || first != section(after + 250) || first == 4) continue;
        ++judged[first];
        EXPECT_EQ(scene, int(scenes[first])) << "at " << before << " to " << after << " ms";
    }
    EXPECT_GE(*std::min_element(judged, judged + 4), 3) << "too few shots in a section";
    EXPECT_EQ(order, (std::vector<int>{2, 3, 4, 3}));
}

}  // namespace
