#include "app/glyph_file.h"

#include <bit>
#include <cstring>

// Both the desktop that bakes the file and the page that reads it are little-endian machines,
// so values are copied as they stand in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr char glyph_file_magic[4] = {'T', 'X', 'G', '1'};
constexpr int metric_count = 6;

template <typename Value>
void put(std::vector<uint8_t>& bytes, Value value) {
    const auto* raw = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

// Reads values from a run of bytes; once a read would pass the end, every read fails.
struct ByteReader {
    const uint8_t* bytes;
    size_t size;
    size_t offset = 0;
    bool failed = false;

    bool read(void* out, size_t count) {
        if (failed || count > size - offset) {
            failed = true;
            return false;
        }
        std::memcpy(out, bytes + offset, count);
        offset += count;
        return true;
    }
};

}  // namespace

std::vector<uint8_t> glyph_file_bytes(const GlyphOutline (&outlines)[outline_glyph_count]) {
    std::vector<uint8_t> bytes(glyph_file_magic, glyph_file_magic + sizeof glyph_file_magic);
    put(bytes, uint32_t(outline_glyph_count));
    for (const GlyphOutline& outline : outlines) {
        const GlyphMetricsFloat& m = outline.metrics;
        for (float value :
             {m.black_box_x, m.black_box_y, m.origin_x, m.origin_y, m.cell_inc_x, m.cell_inc_y}) {
            put(bytes, value);
        }
        put(bytes, uint32_t(outline.lines.size()));
        for (float value : outline.lines)
            put(bytes, value);
    }
    return bytes;
}

bool glyphs_from_bytes(const uint8_t* bytes, size_t size,
                       GlyphOutline (&outlines)[outline_glyph_count]) {
    for (GlyphOutline& outline : outlines)
        outline = GlyphOutline{};
    ByteReader reader{bytes, size};
    char magic[4] = {};
    uint32_t count = 0;
    reader.read(magic, sizeof magic);
    reader.read(&count, sizeof count);
    if (reader.failed || std::memcmp(magic, glyph_file_magic, sizeof magic) != 0 ||
        count != outline_glyph_count) {
        return false;
    }
    for (GlyphOutline& outline : outlines) {
        float metrics[metric_count] = {};
        uint32_t floats = 0;
        reader.read(metrics, sizeof metrics);
        reader.read(&floats, sizeof floats);
        // The count is checked against the bytes left before anything is taken for it.
        if (reader.failed || floats > (size - reader.offset) / sizeof(float)) {
            reader.failed = true;
            break;
        }
        outline.metrics = {metrics[0], metrics[1], metrics[2], metrics[3], metrics[4], metrics[5]};
        outline.lines.resize(floats);
        reader.read(outline.lines.data(), floats * sizeof(float));
    }
    if (reader.failed || reader.offset != size) {
        for (GlyphOutline& outline : outlines)
            outline = GlyphOutline{};
        return false;
    }
    return true;
}

void hand_glyphs_to_text(const GlyphOutline (&outlines)[outline_glyph_count]) {
    text_reset();
    for (int code = 0; code < outline_glyph_count; ++code) {
        glyph_lines[code] = outlines[code].lines;
        glyph_metrics[code] = outlines[code].metrics;
    }
}
