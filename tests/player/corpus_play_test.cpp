// Real-world XM files from the fetched corpus played for three minutes of ticks each (no
// mixing: the song clock advances by samples_per_tick per tick). The sanitizer builds watch
// every buffer and every signed operation; the test watches the ranges the engine promises the
// mixer, and compares the song's length in rows with a count made here from the patterns alone:
// the rows played until a position comes back outside a pattern loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "player/engine.h"
#include "tests/player/support/song_start.h"

namespace {

constexpr int64_t played_frames = 180LL * 44100;  // three minutes at 44100 Hz
constexpr int most_rows = 20000;       // songs that have not come back by then count as endless
using Position = std::pair<int, int>;  // (order, row)

std::vector<std::filesystem::path> corpus_files() {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    const std::filesystem::path root(TIRVALEX_CORPUS_DIR);
    if (!std::filesystem::is_directory(root, error)) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (entry.is_regular_file() && extension == ".xm") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The song walked row by row from its patterns: the order table, the row counts, and the
// jumps (Bxx), breaks (Dxy) and pattern loops (E6y) of the cells. A position outside the song
// plays order 0, a row beyond its pattern row 0, a pattern the module lacks has 64 rows.
// Returns the rows played before a position comes back while no loop is running, or -1 when
// that does not happen within `row_limit` rows.
int walk_song_rows(const XmModule& module, int row_limit) {
    const int entries = std::clamp<int>(module.song_length, 0, 256);
    const int channels_played = std::clamp<int>(module.channel_count, 0, 32);
    auto pattern_at = [&](int order) -> const XmPattern* {
        if (order >= entries || module.orders[order] >= module.pattern_count) return nullptr;
        return &module.patterns[module.orders[order]];
    };
    auto rows_at = [&](int order) {
        const XmPattern* pattern = pattern_at(order);
        return pattern ? pattern->row_count : 64;
    };
    int loop_row[32] = {};
    int loop_count[32] = {};
    std::set<Position> visited;
    int order = 0, row = 0;
    for (int played = 0; played < row_limit; ++played) {
        if (order >= std::max(entries, 1)) order = 0;
        if (row >= rows_at(order)) row = 0;
        const bool looping = std::any_of(std::begin(loop_count), std::end(loop_count),
                                         [](int count) { return count != 0; });
        if (!visited.insert({order, row}).second && !looping) return played;

        int next_order = -1, next_row = -1, loop_target = -1;
        bool jumped = false;
        const XmPattern* pattern = pattern_at(order);
        if (pattern && pattern->cells && row < pattern->row_count) {
            for (int c = 0; c < channels_played; ++c) {
                const XmCell& cell = pattern->cells[row * module.channel_count + c];
                const int x = cell.param >> 4, y = cell.param & 15;
                if (cell.effect == 11) {
                    next_row = 0;
                    next_order = cell.param < entries ? cell.param : 0;
                    jumped = true;
                } else if (cell.effect == 13) {
                    next_row = 10 * x + y > 63 ? 0 : 10 * x + y;
                    if (!jumped) next_order = order + 1;
                    if (next_order >= entries) next_order = 0;
                } else if (cell.effect == 14 && x == 6) {
                    if (y == 0) {
                        loop_row[c] = row;
                    } else {
                        loop_count[c] = loop_count[c] == 0 ? y : loop_count[c] - 1;
                        if (loop_count[c] != 0) loop_target = loop_row[c];
                    }
                }
            }
        }
        if (next_row >= 0) {
            if (next_order >= 0) order = next_order;
            row = next_row;
        } else if (loop_target >= 0) {
            row = loop_target;
        } else if (row + 1 < rows_at(order)) {
            row += 1;
        } else {
            order += 1;
            if (order >= entries) {
                order = module.restart_position >= 0 && module.restart_position < entries
                            ? module.restart_position
                            : 0;
            }
            row = 0;
        }
    }
    return -1;
}

struct PlayedSong {
    int64_t ticks = 0;
    int rows = 0;
    int song_rows = -1;  // rows before a position comes back outside a loop
};

// Plays three minutes of ticks, and on until the song has come back (for at most most_rows
// rows), checking after each tick what the mixer relies on.
PlayedSong play_three_minutes(XmModule* module) {
    PlayedSong played;
    std::set<Position> visited;
    const int channel_count = std::clamp<int>(module->channel_count, 0, 32);
    for (int64_t frames = 0;
         frames < played_frames || (played.song_rows < 0 && played.rows < most_rows);
         frames += module->samples_per_tick) {
        const bool row_tick = module->tick == 0;
        bool looping = false;
        for (int c = 0; c < channel_count; ++c)
            looping = looping || channels[c].loop_count != 0;
        play_tick(module);
        played.ticks += 1;
        if (row_tick) {
            const Position position{module->order_position, module->row};
            if (played.song_rows < 0 && visited.count(position) && !looping) {
                played.song_rows = played.rows;
            }
            visited.insert(position);
            played.rows += 1;
        }
        EXPECT_GE(module->samples_per_tick, 1);
        for (int v = 0; v < mixed_voice_count; ++v) {
            EXPECT_TRUE(voices[v].volume >= 0 && voices[v].volume <= 127) << v;
            EXPECT_TRUE(voices[v].panning >= 0 && voices[v].panning <= 255) << v;
            EXPECT_TRUE(voices[v].left_volume >= 0 && voices[v].left_volume <= 127) << v;
            EXPECT_TRUE(voices[v].right_volume >= 0 && voices[v].right_volume <= 127) << v;
        }
        if (testing::Test::HasFailure()) break;
    }
    return played;
}

TEST(CorpusPlay, EveryFilePlaysThreeMinutesAndItsLengthAgreesWithTheWalk) {
    const std::vector<std::filesystem::path> files = corpus_files();
    if (files.empty()) GTEST_SKIP() << "no corpus fetched (scripts/fetch-corpus.sh)";
    int played_files = 0;
    int64_t total_ticks = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        SongHandle module = start_song_bytes(read_file(path));
        if (!module) {
            std::printf("refused   %s\n", path.filename().c_str());
            continue;
        }
        const PlayedSong played = play_three_minutes(module.get());
        EXPECT_EQ(played.song_rows, walk_song_rows(*module, played.rows));
        std::printf("%-6lld ticks %-5d rows, song %5d rows  %s\n", (long long)played.ticks,
                    played.rows, played.song_rows, path.filename().c_str());
        played_files += 1;
        total_ticks += played.ticks;
    }
    std::printf("%d of %zu files played, %lld ticks\n", played_files, files.size(),
                (long long)total_ticks);
    EXPECT_GT(played_files, 0);
}

}  // namespace
