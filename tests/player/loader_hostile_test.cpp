// Hostile input for the loader: every truncation of written images, and every
// size field of an image set to 0, 0xFFFF and 0xFFFFFFFF. A load may fail or
// succeed, but it stays inside its buffers (the sanitizer builds see to that)
// and what it builds keeps the promises the engine and mixer rely on. Where the
// loader's rules fix the outcome, the test says which.
#include <gtest/gtest.h>

#include <vector>

#include "data/module_bytes.h"
#include "player/module.h"
#include "tests/player/support/xm_load.h"
#include "tools/xm_image.h"

namespace {

class HostileLoad : public ::testing::Test {
protected:
    void SetUp() override { reset_loader_state(); }
    void TearDown() override { reset_loader_state(); }
};

// Loads every proper prefix of image and expects each to fail: in an image
// whose walk ends exactly at its last byte, any prefix leaves a read or a seek
// unsatisfied.
void expect_every_prefix_fails(const std::vector<uint8_t>& image) {
    for (size_t length = 0; length < image.size(); ++length) {
        XmModule* module = load_xm_bytes(image.data(), uint32_t(length));
        EXPECT_EQ(module, nullptr) << "prefix of " << length << " bytes loaded";
        module_free(module);
    }
    XmModule* whole = load_xm_bytes(image.data(), uint32_t(image.size()));
    EXPECT_NE(whole, nullptr);
    expect_module_sound(whole);
    module_free(whole);
}

}  // namespace

TEST_F(HostileLoad, EveryTruncationOfAWrittenImageFailsCleanly) {
    expect_every_prefix_fails(write_xm_image(feature_song()));
    // Ending in an instrument without samples, the last bytes are passed by a
    // seek.
    XmImageSong song = feature_song();
    song.instruments.push_back(XmImageInstrument{});
    expect_every_prefix_fails(write_xm_image(song));
}

TEST_F(HostileLoad, EveryTruncationOfTheEmbeddedSongFailsCleanly) {
    expect_every_prefix_fails(std::vector<uint8_t>(module_bytes, module_bytes + module_size));
}

namespace {

enum class Outcome { loads, fails, either };

// One size field of the feature song's image, where it lies and how wide it is,
// and what a load makes of it at 0, 0xFFFF and 0xFFFFFFFF (cut to the field's
// width).
struct SizeField {
    const char* name;
    size_t offset;  // see field_offset
    int width;
    Outcome at_zero, at_ffff, at_ffffffff;
};

void PrintTo(const SizeField& field, std::ostream* out) {
    *out << field.name;
}

// The feature song's layout: the module header ends at 336, pattern 0's header
// starts there; instrument 0 starts where the patterns end and its sample
// header 263 bytes later.
constexpr size_t pattern0 = 336;
constexpr size_t instrument0 = 1u << 20;  // marks offsets relative to instrument 0

size_t instrument0_start() {
    XmImageSong song = feature_song();
    song.instruments.clear();
    return write_xm_image(song).size();
}

size_t field_offset(const SizeField& field) {
    if (field.offset < instrument0) return field.offset;
    return instrument0_start() + field.offset - instrument0;
}

class SizeFields : public HostileLoad, public ::testing::WithParamInterface<SizeField> {};

}  // namespace

TEST_P(SizeFields, ExtremeValuesLoadSoundlyOrFail) {
    const SizeField& field = GetParam();
    const std::vector<uint8_t> original = write_xm_image(feature_song());
    size_t at = field_offset(field);
    ASSERT_LE(at + size_t(field.width), original.size());
    const uint32_t values[3] = {0, 0xFFFF, 0xFFFFFFFF};
    const Outcome outcomes[3] = {field.at_zero, field.at_ffff, field.at_ffffffff};
    for (int v = 0; v < 3; ++v) {
        std::vector<uint8_t> image = original;
        for (int byte = 0; byte < field.width; ++byte) {
            image[at + size_t(byte)] = uint8_t(values[v] >> (8 * byte));
        }
        XmModule* module = load_xm_image(image);
        SCOPED_TRACE(::testing::Message() << field.name << " = " << std::hex << values[v]);
        if (outcomes[v] == Outcome::loads) {
            EXPECT_NE(module, nullptr);
        } else if (outcomes[v] == Outcome::fails) {
            EXPECT_EQ(module, nullptr);
        }
        if (module != nullptr) expect_module_sound(module);
        module_free(module);
    }
}

constexpr Outcome L = Outcome::loads, F = Outcome::fails, E = Outcome::either;

INSTANTIATE_TEST_SUITE_P(
    FeatureSong, SizeFields,
    ::testing::Values(
        // Pattern data would start inside the header or past the end of the
        // image.
        SizeField{"HeaderSize", 60, 4, E, F, F},
        // Song lengths past the order table are held to its 256 entries.
        SizeField{"SongLength", 64, 2, L, L, L}, SizeField{"RestartPosition", 66, 2, L, L, L},
        // Without channels there is nothing to play; more than 32 do not fit
        // the engine.
        SizeField{"ChannelCount", 68, 2, F, F, F},
        // More than 256 patterns cannot all be named by the order table.
        SizeField{"PatternCount", 70, 2, E, F, F},
        // More instruments than the image can hold fail before anything is
        // allocated.
        SizeField{"InstrumentCount", 72, 2, L, F, F}, SizeField{"Tempo", 76, 2, L, L, L},
        SizeField{"Bpm", 78, 2, L, L, L}, SizeField{"PatternHeaderLength", pattern0, 4, L, L, L},
        // 65535 rows of cells cannot fit what is left of the image.
        SizeField{"PatternRows", pattern0 + 5, 2, E, F, F},
        // Only 0 means "no data": the cells then read as the next pattern's
        // header.
        SizeField{"PackedSize", pattern0 + 7, 2, E, L, L},
        SizeField{"InstrumentHeaderSize", instrument0, 4, E, F, F},
        SizeField{"SampleCount", instrument0 + 27, 2, E, F, F},
        SizeField{"SampleHeaderSize", instrument0 + 29, 4, L, L, L},
        SizeField{"VolumePointCount", instrument0 + 225, 1, L, L, L},
        SizeField{"PanningPointCount", instrument0 + 226, 1, L, L, L},
        // Data of 65535 bytes or more cannot be in the image.
        SizeField{"SampleLength", instrument0 + 263, 4, E, F, F},
        // Loops are held inside the sample whatever their fields say.
        SizeField{"SampleLoopStart", instrument0 + 263 + 4, 4, L, L, L},
        SizeField{"SampleLoopLength", instrument0 + 263 + 8, 4, L, L, L}),
    [](const ::testing::TestParamInfo<SizeField>& info) { return std::string(info.param.name); });

TEST_F(HostileLoad, SamplesClaimingMoreDataThanIsLeftFailTheLoad) {
    // Sixteen samples each claiming nearly all that is left: each alone would
    // fit, together they cannot, and the load stops before taking storage for
    // them.
    XmImageSong song = feature_song();
    XmImageInstrument greedy;
    XmImageSample claim;
    claim.frames = {1, 2, 3};
    claim.length_bytes_override = 400;
    greedy.samples.assign(16, claim);
    song.instruments = {greedy};
    EXPECT_EQ(load_xm_image(write_xm_image(song)), nullptr);
    // Repeated instruments without samples whose header size is 0 read the same
    // bytes in place: the count is bounded by what is left, and nothing goes
    // outside the image.
    XmImageInstrument in_place;
    in_place.header_size_override = 29;
    song.instruments.assign(3, in_place);
    std::vector<uint8_t> image = write_xm_image(song);
    image[image.size() - 29 * 3] = 0;  // the first one's header size
    XmModule* module = load_xm_image(image);
    ASSERT_NE(module, nullptr);
    expect_module_sound(module);
    EXPECT_EQ(module->instrument_count, 3);
    module_free(module);
}
