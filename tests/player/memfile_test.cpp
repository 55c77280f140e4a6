// The memory file over an image of the embedded song's size, 13946 bytes: reads clamp at the
// end, seeks clamp to the image whichever way they go wrong, open and close rewind.
#include "player/memfile.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t image_size = 13946;

class MemoryFile : public ::testing::Test {
protected:
    void SetUp() override {
        memfile_reset();
        for (uint32_t i = 0; i < image_size; ++i) {
            image.push_back(uint8_t(i * 7));
        }
        memfile_attach(image.data(), image_size);
        handle = memfile_open(nullptr);
    }
    void TearDown() override { memfile_reset(); }
    std::vector<uint8_t> image;
    uintptr_t handle = 0;
};

}  // namespace

TEST_F(MemoryFile, OpenAndCloseRewindTheOneSharedPosition) {
    EXPECT_EQ(handle, 1u);
    memfile_seek(handle, 500, 0);
    EXPECT_EQ(memfile_tell(handle), 500u);
    EXPECT_EQ(memfile_open("any name"), 1u);
    EXPECT_EQ(memfile_position, 0u);
    memfile_seek(handle, 500, 0);
    memfile_close(handle);
    EXPECT_EQ(memfile_tell(handle), 0u);
}

TEST_F(MemoryFile, ReadsDeliverWhatIsLeftAtTheEnd) {
    uint8_t buffer[100] = {};
    EXPECT_EQ(memfile_read(buffer, 4, handle), 4u);
    EXPECT_EQ(buffer[3], uint8_t(3 * 7));
    EXPECT_EQ(memfile_position, 4u);
    memfile_seek(handle, 13940, 0);
    EXPECT_EQ(memfile_read(buffer, 100, handle), 6u);
    EXPECT_EQ(buffer[0], uint8_t(13940 * 7));
    EXPECT_EQ(buffer[5], uint8_t(13945 * 7));
    EXPECT_EQ(memfile_position, image_size);
    EXPECT_EQ(memfile_read(buffer, 100, handle), 0u);

    // A count so large that position + count would wrap still stops at the end.
    std::vector<uint8_t> all(image_size);
    memfile_seek(handle, 5, 0);
    EXPECT_EQ(memfile_read(all.data(), 0xFFFFFFFF, handle), image_size - 5);
    EXPECT_EQ(all[0], uint8_t(5 * 7));

    // A position moved past the end from outside delivers nothing.
    memfile_position = image_size + 10;
    EXPECT_EQ(memfile_read(buffer, 1, handle), 0u);
    memfile_reset();
    EXPECT_EQ(memfile_read(buffer, 1, handle), 0u);
}

TEST_F(MemoryFile, SeeksMoveByModeAndClampToTheImage) {
    memfile_seek(handle, 10, 2);
    EXPECT_EQ(memfile_tell(handle), image_size);
    memfile_seek(handle, -5, 0);
    EXPECT_EQ(memfile_tell(handle), image_size);
    memfile_seek(handle, -6, 2);
    EXPECT_EQ(memfile_tell(handle), 13940u);
    memfile_seek(handle, 100, 0);
    memfile_seek(handle, 10, 1);
    EXPECT_EQ(memfile_tell(handle), 110u);
    memfile_seek(handle, -110, 1);
    EXPECT_EQ(memfile_tell(handle), 0u);
    memfile_seek(handle, -1, 1);  // before the start counts as past the end
    EXPECT_EQ(memfile_tell(handle), image_size);
    memfile_seek(handle, 300, 0);
    memfile_seek(handle, 0, 3);  // an unknown mode leaves the position
    EXPECT_EQ(memfile_tell(handle), 300u);
    memfile_seek(handle, int32_t(image_size), 0);
    EXPECT_EQ(memfile_tell(handle), image_size);
}
