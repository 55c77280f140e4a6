// The embedded song: its shape as the loader reads it through the memory file, its timing on
// the song clock as the block filler advances it, and its levels as the mixer renders it.
//
// Timing expectations follow from the clock's rule, one sum per mixed run of
// trunc(run x (float)(1/44100) x 1000). (float)(1/44100) x 1000 is 0.0226757365, just below
// 1/44.1, so:
//   - a whole tick of 882 frames counts 19 ms (19.9999996 truncated);
//   - a tick cut by a block end into runs a + b counts trunc(a / 44.1) + trunc(b / 44.1) = 19
//     as well, unless a = b = 441, which cannot happen because block ends (multiples of 884)
//     and tick starts (multiples of 882) are even;
//   - a tick is shorter than a block, so at a block end the tick running began in that block,
//     and the clock at the end of frame F is 19 x (F / 882) + trunc((F mod 882) / 44.1).
// The rows alternate 7 and 5 ticks, so even row r starts at tick 6r, frame 5292r, and at
// 114r ms of song clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/module_bytes.h"
#include "player/engine.h"
#include "player/memfile.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/output.h"
#include "player/ring.h"

namespace {

constexpr int32_t rate = 44100;
constexpr int32_t tick_frames = 882;

// ---------------------------------------------------------------------------------------------
// Loading through the memory file, watching every read.

struct ReadWatch {
    uint32_t reads = 0;
    uint32_t short_reads = 0;      // reads that delivered less than they asked for
    uint32_t clamped_seeks = 0;    // seeks that aimed past the end
    uint32_t last_access_end = 0;  // stream position after the last read or seek
    uint32_t last_read_end = 0;    // stream position after the last read
    uint32_t furthest_end = 0;     // furthest position any read or seek reached
    uint32_t sample_reads = 0;     // sample-reader calls
    uint32_t eight_bit_reads = 0;  // of which for 8-bit data
};

ReadWatch read_watch;

void note_position() {
    read_watch.last_access_end = memfile_position;
    read_watch.furthest_end = std::max(read_watch.furthest_end, memfile_position);
}

uint32_t watched_read(void* destination, uint32_t count, uintptr_t handle) {
    uint32_t delivered = memfile_read(destination, count, handle);
    ++read_watch.reads;
    if (delivered != count) ++read_watch.short_reads;
    read_watch.last_read_end = memfile_position;
    note_position();
    return delivered;
}

int32_t watched_seek(uintptr_t handle, int32_t offset, uint8_t mode) {
    int64_t target = mode == 0   ? int64_t(offset)
                     : mode == 1 ? int64_t(memfile_position) + offset
                                 : int64_t(module_size) + offset;
    if (target < 0 || target > int64_t(module_size)) ++read_watch.clamped_seeks;
    int32_t result = memfile_seek(handle, offset, mode);
    note_position();
    return result;
}

// Stands in for the stream's sample data, noting the sample's width.
void counting_sample_reader(void* destination, uint32_t byte_count, int bits, int, int) {
    std::memset(destination, 0, byte_count);
    ++read_watch.sample_reads;
    if (bits == 8) ++read_watch.eight_bit_reads;
}

XmModule* load_embedded(SampleReader reader = nullptr) {
    memfile_attach(module_bytes, module_size);
    set_file_callbacks(memfile_open, memfile_close, watched_read, watched_seek, memfile_tell);
    return module_load(nullptr, reader);
}

void reset_all() {
    output_reset();
    ring_reset();
    engine_reset();
    loader_reset();
    memfile_reset();
    read_watch = ReadWatch{};
}

class EmbeddedSong : public ::testing::Test {
protected:
    void SetUp() override { reset_all(); }
    void TearDown() override {
        if (module != nullptr) module_free(module);
        reset_all();
    }
    XmModule* module = nullptr;
};

TEST_F(EmbeddedSong, LoadsWithTheShapeTheShowWasTimedAgainst) {
    module = load_embedded();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->channel_count, 4);
    EXPECT_EQ(module->song_length, 14);
    EXPECT_EQ(module->pattern_count, 14);
    EXPECT_EQ(module->flags, 1);  // linear frequency table
    EXPECT_EQ(module->default_speed, 5);
    EXPECT_EQ(module->default_bpm, 125);
    for (int p = 0; p < 14; ++p) {
        EXPECT_EQ(module->orders[p], p);
        EXPECT_EQ(module->patterns[p].row_count, 64) << "pattern " << p;
    }
    // The last pattern is stored empty and reads as 64 empty rows.
    const XmPattern& last = module->patterns[13];
    ASSERT_NE(last.cells, nullptr);
    for (int i = 0; i < 64 * 4; ++i) {
        const XmCell& cell = last.cells[i];
        EXPECT_EQ(cell.note | cell.instrument | cell.volume | cell.effect | cell.param, 0);
    }
    ASSERT_EQ(module->instrument_count, 8);
    int forward_loops = 0;
    int without_loops = 0;
    for (int i = 0; i < 8; ++i) {
        const XmInstrument& instrument = module->instruments[i];
        EXPECT_EQ(instrument.volume_type, 0) << "instrument " << i + 1;
        EXPECT_EQ(instrument.panning_type, 0) << "instrument " << i + 1;
        if (i >= 6) {
            EXPECT_EQ(instrument.sample_count, 0) << "instrument " << i + 1;
            continue;
        }
        ASSERT_EQ(instrument.sample_count, 1) << "instrument " << i + 1;
        const XmSample* sample = instrument.samples[0];
        EXPECT_GT(sample->length, 0u);
        if (sample->loop_type == LOOP_FORWARD) ++forward_loops;
        if (sample->loop_type == LOOP_NONE) ++without_loops;
    }
    EXPECT_EQ(forward_loops, 3);
    EXPECT_EQ(without_loops, 3);
}

// The load walks the whole image and stops exactly at its end: no read comes up short, no seek
// aims past the end, and the last step (the seek over the last short instrument header's
// unused sample-header size) ends at module_size. The last read proper is that header's
// sample count, four bytes before the end.
TEST_F(EmbeddedSong, LoadingConsumesEveryByteAndEndsExactlyAtTheImageEnd) {
    module = load_embedded();
    ASSERT_NE(module, nullptr);
    EXPECT_GT(read_watch.reads, 0u);
    EXPECT_EQ(read_watch.short_reads, 0u);
    EXPECT_EQ(read_watch.clamped_seeks, 0u);
    EXPECT_EQ(read_watch.last_access_end, module_size);
    EXPECT_EQ(read_watch.furthest_end, module_size);
    EXPECT_EQ(read_watch.last_read_end, module_size - 4);
}

TEST_F(EmbeddedSong, HoldsSixEightBitSamples) {
    module = load_embedded(counting_sample_reader);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(read_watch.sample_reads, 6u);
    EXPECT_EQ(read_watch.eight_bit_reads, 6u);
}

// The two instruments without samples come last, so the image ends with their two short
// headers: a size field of 33, the name, the type and a sample count of 0.
TEST_F(EmbeddedSong, EndsWithTwoShortInstrumentHeaders) {
    ASSERT_GT(module_size, 66u);
    for (uint32_t start : {module_size - 66, module_size - 33}) {
        const uint8_t* header = module_bytes + start;
        EXPECT_EQ(header[0] | header[1] << 8 | header[2] << 16 | uint32_t(header[3]) << 24, 33u);
        EXPECT_EQ(header[27] | header[28] << 8, 0) << "sample count";
    }
}

// Every row sets its speed on one channel: 7 on even rows and 5 on odd ones (the swing),
// except the last two composed rows, 6 each, so that the empty pattern plays 6 ticks a row.
// The first row also sets 125 BPM.
TEST_F(EmbeddedSong, RowsSwingBetweenSevenAndFiveTicks) {
    module = load_embedded();
    ASSERT_NE(module, nullptr);
    bool bpm_set = false;
    int total_ticks = 0;
    int speed = module->default_speed;
    for (int p = 0; p < 14; ++p) {
        const XmPattern& pattern = module->patterns[p];
        for (int row = 0; row < 64; ++row) {
            int speed_effects = 0;
            for (int c = 0; c < 4; ++c) {
                const XmCell& cell = pattern.cells[row * 4 + c];
                if (cell.effect != 0xF) continue;
                if (cell.param < 32) {
                    speed = cell.param;
                    ++speed_effects;
                } else {
                    EXPECT_EQ(cell.param, 125);
                    bpm_set = true;
                }
                EXPECT_NE(cell.effect, 0xE) << "no pattern delays";
            }
            int song_row = p * 64 + row;
            if (p < 13) {
                EXPECT_EQ(speed_effects, 1) << "row " << song_row;
                int expected = song_row >= 830 ? 6 : (song_row % 2 == 0 ? 7 : 5);
                EXPECT_EQ(speed, expected) << "row " << song_row;
            }
            total_ticks += speed;
        }
    }
    EXPECT_TRUE(bpm_set);
    EXPECT_EQ(total_ticks, 5376);
}

// ---------------------------------------------------------------------------------------------
// Rendering the song once through the block filler, with no device.

struct TickRecord {
    int32_t order;
    int32_t row;
    int32_t tick;      // within the row
    uint32_t time_ms;  // song clock when the tick began
    int64_t frame;     // first frame of the tick
};

struct Render {
    std::vector<TickRecord> ticks;   // every tick up to the song's restart
    std::vector<uint32_t> block_ms;  // clock entry of each block
    std::vector<uint8_t> block_row;
    std::vector<int16_t> pcm;    // interleaved left, right
    int64_t restart_frame = -1;  // first frame of the row tick that starts the song again
    uint32_t restart_ms = 0;
};

Render render;
int64_t next_tick_frame = 0;

// The module's tick routine while rendering: notes where and when each tick begins, then runs
// the engine's tick.
void recording_tick(XmModule* module) {
    uint32_t time_ms = module->song_time_ms;
    int32_t tick = module->tick;
    play_tick(module);
    if (tick == 0 && module->order_position == 0 && module->row == 0 && !render.ticks.empty() &&
        render.restart_frame < 0) {
        render.restart_frame = next_tick_frame;
        render.restart_ms = time_ms;
    }
    if (render.restart_frame < 0)
        render.ticks.push_back(
            {module->order_position, module->row, tick, time_ms, next_tick_frame});
    next_tick_frame += frames_of_tick(module);
}

class SongRender : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        reset_all();
        render = Render{};
        next_tick_frame = 0;
        ASSERT_TRUE(ring_set_rate(rate));
        engine_reset();
        XmModule* module = load_embedded();
        ASSERT_NE(module, nullptr);
        ring_allocate();
        reset_song_state(module);
        write_block = 0;
        module->tick_routine = recording_tick;
        while (render.restart_frame < 0) {
            int32_t block = write_block;
            fill_block();
            render.block_ms.push_back(block_table[block].time_ms);
            render.block_row.push_back(block_table[block].row);
            const int16_t* pcm = wave_buffer + 2 * size_t(block) * size_t(block_frames);
            render.pcm.insert(render.pcm.end(), pcm, pcm + 2 * size_t(block_frames));
        }
        render.pcm.resize(2 * size_t(render.restart_frame));
        module_free(module);
        reset_all();
    }
    static void TearDownTestSuite() { render = Render{}; }

    // The first tick of song row r (pattern r / 64, row r % 64).
    static const TickRecord* row_start(int song_row) {
        for (const TickRecord& record : render.ticks) {
            if (record.order == song_row / 64 && record.row == song_row % 64 && record.tick == 0)
                return &record;
        }
        return nullptr;
    }

    // The first block whose clock entry is above threshold_ms: the block being heard when the
    // show's timeline first sees the time past the threshold.
    static int64_t first_block_past(uint32_t threshold_ms) {
        for (size_t i = 0; i < render.block_ms.size(); ++i) {
            if (render.block_ms[i] > threshold_ms) return int64_t(i);
        }
        return -1;
    }
};

TEST_F(SongRender, FirstBlockRunsOneTickAndTwoFramesOfTheNext) {
    ASSERT_GE(render.block_ms.size(), 2u);
    EXPECT_EQ(render.block_ms[0], 19u);  // 882 frames: 19 ms, then 2 frames: 0
    EXPECT_EQ(render.block_ms[1], 38u);  // 880 frames: 19, then 4 frames: 0
}

struct SectionCase {
    const char* name;
    int song_row;           // the section's first row
    uint32_t start_ms;      // 114 x song_row
    uint32_t threshold_ms;  // the show's scene change
    int64_t change_block;   // first block whose clock is past it
    uint32_t change_ms;     // that block's clock: 19 x (F / 882) + trunc((F mod 882) / 44.1)
    int change_row;         // the pattern row that block ends in
};

// Block k ends at frame F = 884 (k + 1).
const SectionCase section_cases[] = {
    // F = 636480 = 721 x 882 + 558: 13699 + 12. Block 718 (F = 635596 = 720 x 882 + 556)
    // reads 13680 + 12 = 13692. The section's first row began 556 frames before block 719.
    {"credits", 120, 13680, 13700, 719, 13711, 56},
    // F = 1333072 = 1511 x 882 + 370: 28709 + 8. Row 250 spans ticks 1500..1506 and row 251
    // ticks 1507..1511, so the picture changes in the last tick before the section.
    {"tunnel", 252, 28728, 28700, 1507, 28717, 59},
    // F = 3342404 = 3789 x 882 + 506: 71991 + 11. Tick 3789 lies in row 631 (ticks
    // 3787..3791), two ticks before the section.
    {"return", 632, 72048, 72000, 3780, 72002, 55},
};

class SongSections : public SongRender, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(SongSections, BeginWhereTheShowChangesScene) {
    const SectionCase& section = GetParam();
    const TickRecord* start = row_start(section.song_row);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->frame, int64_t(section.song_row) * 6 * tick_frames);
    EXPECT_EQ(start->time_ms, section.start_ms);
    EXPECT_EQ(first_block_past(section.threshold_ms), section.change_block);
    ASSERT_GT(int64_t(render.block_ms.size()), section.change_block);
    EXPECT_EQ(render.block_ms[size_t(section.change_block)], section.change_ms);
    EXPECT_EQ(render.block_row[size_t(section.change_block)], section.change_row);
    // The music changes within 50 ms of song clock from the picture.
    EXPECT_LE(std::abs(int64_t(section.start_ms) - int64_t(section.threshold_ms)), 50);
}

INSTANTIATE_TEST_SUITE_P(Embedded, SongSections, ::testing::ValuesIn(section_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// 5376 ticks of 882 frames at 19 ms each: 107.52 s of sound, 102.144 s of song clock, so the
// show (over once the clock passes 79 s, in block 4148: F = 3667716 = 4158 x 882 + 360,
// 79002 + 8 = 79010 ms) ends well before the song restarts.
TEST_F(SongRender, LastsPastTheShowAndOverAHundredSecondsOfSongClock) {
    EXPECT_EQ(render.ticks.size(), 5376u);
    EXPECT_EQ(render.restart_frame, 5376 * tick_frames);
    EXPECT_EQ(render.restart_ms, 102144u);
    EXPECT_GE(render.restart_ms, 100000u);
    EXPECT_EQ(first_block_past(79000), 4148);
    EXPECT_EQ(render.block_ms[4148], 79010u);
}

// ---------------------------------------------------------------------------------------------
// Levels of the rendered song, as a 16-bit stereo signal with full scale 32768.

double rms_dbfs(const std::vector<int16_t>& pcm, size_t first, size_t stride) {
    double sum = 0;
    size_t count = 0;
    for (size_t i = first; i < pcm.size(); i += stride) {
        sum += double(pcm[i]) * double(pcm[i]);
        ++count;
    }
    return 10 * std::log10(sum / double(count)) - 20 * std::log10(32768.0);
}

TEST_F(SongRender, NeverReachesFullScale) {
    int16_t highest = 0;
    int16_t lowest = 0;
    for (int16_t value : render.pcm) {
        highest = std::max(highest, value);
        lowest = std::min(lowest, value);
    }
    EXPECT_LT(highest, 32767);
    EXPECT_GT(lowest, -32767);
}

TEST_F(SongRender, PlaysBetweenMinus24AndMinus12DecibelsRms) {
    double overall = rms_dbfs(render.pcm, 0, 1);
    EXPECT_GT(overall, -24.0);
    EXPECT_LT(overall, -12.0);
}

// Silence: both sides within 1/1024 of full scale (about -60 dB). Before the show ends (the
// start of block 4148) no such stretch lasts more than a second.
TEST_F(SongRender, KeepsSoundingUntilTheShowEnds) {
    constexpr int16_t quiet = 32;
    const size_t show_end_frame = 4148 * 884;
    ASSERT_GE(render.pcm.size(), 2 * show_end_frame);
    size_t longest = 0;
    size_t run = 0;
    for (size_t frame = 0; frame < show_end_frame; ++frame) {
        bool silent = std::abs(render.pcm[2 * frame]) <= quiet &&
                      std::abs(render.pcm[2 * frame + 1]) <= quiet;
        run = silent ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LE(longest, size_t(rate));
}

// Both sides carry sound, and not the same sound: the channels are panned apart.
TEST_F(SongRender, UsesBothStereoSides) {
    double left = rms_dbfs(render.pcm, 0, 2);
    double right = rms_dbfs(render.pcm, 1, 2);
    EXPECT_GT(left, -30.0);
    EXPECT_GT(right, -30.0);
    std::vector<int16_t> difference;
    for (size_t i = 0; i + 1 < render.pcm.size(); i += 2)
        difference.push_back(int16_t((render.pcm[i] - render.pcm[i + 1]) / 2));
    EXPECT_GT(rms_dbfs(difference, 0, 1), -40.0);
}

}  // namespace
