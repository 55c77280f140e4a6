// The memory file: the five file operations over one attached image. Reads and seeks clamp to
// the image, so the loader sees a stream that simply ends.
#include "player/memfile.h"

#include <algorithm>

namespace {

// No image and position 0 at the start, as namespace-scope variables start zeroed.
const uint8_t* image_bytes;
uint32_t image_size;
uint32_t memfile_position;

}  // namespace

// Chooses the image every later open reads and rewinds to its start.
void memfile_attach(const uint8_t* bytes, uint32_t size) {
    image_bytes = bytes;
    image_size = size;
    memfile_position = 0;
}

void memfile_reset() {
    memfile_attach(nullptr, 0);
}

// Opens the one stream there is: the name is ignored and the position goes back to 0.
uintptr_t memfile_open(const void*) {
    memfile_position = 0;
    return 1;
}

void memfile_close(uintptr_t) {
    memfile_position = 0;
}

// Copies up to count bytes from the position on and moves past them; a read reaching the end
// of the image delivers what is left. Every operation keeps the position inside the image.
uint32_t memfile_read(void* destination, uint32_t count, uintptr_t) {
    count = std::min(count, image_size - memfile_position);
    std::copy_n(image_bytes + memfile_position, count, static_cast<uint8_t*>(destination));
    memfile_position += count;
    return count;
}

// Moves the position from the start (mode 0), the position (1) or the end (2); other modes
// leave it. The arithmetic is unsigned, so a step before the start wraps to a huge value and,
// like any position past the end, is clamped to the end.
int32_t memfile_seek(uintptr_t, int32_t offset, uint8_t mode) {
    uint32_t step = uint32_t(offset);
    if (mode == 0) {
        memfile_position = step;
    } else if (mode == 1) {
        memfile_position += step;
    } else if (mode == 2) {
        memfile_position = image_size + step;
    }
    memfile_position = std::min(memfile_position, image_size);
    return 0;
}

uint32_t memfile_tell(uintptr_t) {
    return memfile_position;
}
