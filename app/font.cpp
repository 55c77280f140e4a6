#include "app/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <memory>

#include "app/glyph_file.h"
#include "app/renderer.h"

namespace {

// Fontconfig patterns and FreeType's library and faces, released when they go out of scope.
using FcPatternHandle = std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)>;
using LibraryHandle = std::unique_ptr<FT_LibraryRec_, decltype(&FT_Done_FreeType)>;
using FaceHandle = std::unique_ptr<FT_FaceRec_, decltype(&FT_Done_Face)>;

// The family and weight of the title and credit texts.
constexpr const char* font_family = "Arial";

GlyphOutline loaded_outlines[outline_glyph_count];

// Code points of bytes 0x80 to 0x9F in Windows-1252; the undefined bytes keep their value.
constexpr uint16_t windows_1252_high_controls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

// The outline being collected while FreeType walks a glyph's contours.
struct OutlineWalk {
    GlyphOutline* outline;
    float units_per_em;
    std::vector<float> contour;  // x, y of the points of the contour being walked
};

// Ends the contour being walked: one segment from each point to the next and one from the
// last back to the first, as a closed loop through the points draws it. The walk returns to
// the contour's first point at its end; that point is dropped again, so that no segment of
// no length closes the loop. A contour of one point draws nothing.
void end_contour(OutlineWalk* walk) {
    std::vector<float>& points = walk->contour;
    size_t count = points.size() / 2;
    if (count != 0 && points[2 * count - 2] == points[0] && points[2 * count - 1] == points[1]) {
        --count;
    }
    std::vector<float>& lines = walk->outline->lines;
    for (size_t k = 0; count > 1 && k < count; ++k) {
        const size_t next = (k + 1) % count;
        lines.insert(lines.end(), {points[2 * k], points[2 * k + 1]});
        lines.insert(lines.end(), {points[2 * next], points[2 * next + 1]});
    }
    points.clear();
}

// Appends one point, scaled from font units to em units.
void add_point(OutlineWalk* walk, const FT_Vector* point) {
    walk->contour.push_back(static_cast<float>(point->x) / walk->units_per_em);
    walk->contour.push_back(static_cast<float>(point->y) / walk->units_per_em);
}

int walk_move_to(const FT_Vector* to, void* user) {
    OutlineWalk* walk = static_cast<OutlineWalk*>(user);
    end_contour(walk);
    add_point(walk, to);
    return 0;
}

int walk_line_to(const FT_Vector* to, void* user) {
    add_point(static_cast<OutlineWalk*>(user), to);
    return 0;
}

// A curve piece is drawn as its chord: the chordal deviation allowed is ten em, more than any
// curve of a glyph one em high can bulge, so no piece is ever subdivided.
int walk_conic_to(const FT_Vector*, const FT_Vector* to, void* user) {
    add_point(static_cast<OutlineWalk*>(user), to);
    return 0;
}

int walk_cubic_to(const FT_Vector*, const FT_Vector*, const FT_Vector* to, void* user) {
    add_point(static_cast<OutlineWalk*>(user), to);
    return 0;
}

// Reads one glyph of a face loaded at its design size: its contours and its metrics.
void read_glyph(FT_Face face, uint32_t code_point, GlyphOutline* outline) {
    *outline = GlyphOutline{};
    // Index 0, the missing glyph, stands for characters the font lacks.
    const FT_UInt glyph_index = FT_Get_Char_Index(face, code_point);
    if (FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_SCALE) != 0) return;
    const FT_GlyphSlot slot = face->glyph;
    const float units_per_em = static_cast<float>(face->units_per_EM);
    outline->metrics.black_box_x = static_cast<float>(slot->metrics.width) / units_per_em;
    outline->metrics.black_box_y = static_cast<float>(slot->metrics.height) / units_per_em;
    outline->metrics.origin_x = static_cast<float>(slot->metrics.horiBearingX) / units_per_em;
    outline->metrics.origin_y = static_cast<float>(slot->metrics.horiBearingY) / units_per_em;
    outline->metrics.cell_inc_x = static_cast<float>(slot->metrics.horiAdvance) / units_per_em;
    outline->metrics.cell_inc_y = 0.0f;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return;

    static const FT_Outline_Funcs walk_funcs = {
        walk_move_to, walk_line_to, walk_conic_to, walk_cubic_to, 0, 0};
    OutlineWalk walk{outline, units_per_em, {}};
    if (FT_Outline_Decompose(&slot->outline, &walk_funcs, &walk) != 0) {
        outline->lines.clear();
        return;
    }
    end_contour(&walk);
}

}  // namespace

uint32_t windows_1252_code_point(uint8_t code) {
    if (code >= 0x80 && code <= 0x9F) return windows_1252_high_controls[code - 0x80];
    return code;  // ASCII and 0xA0..0xFF are the Latin-1 code points themselves
}

FontFile resolve_bold_font(const char* family) {
    FontFile file{"", 0};
    if (!FcInit()) return file;
    const FcPatternHandle pattern(FcPatternCreate(), FcPatternDestroy);
    if (!pattern) return file;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_BOLD);
    FcPatternAddBool(pattern.get(), FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const FcPatternHandle match(FcFontMatch(nullptr, pattern.get(), &result), FcPatternDestroy);
    FcChar8* path = nullptr;
    int index = 0;
    if (match && FcPatternGetString(match.get(), FC_FILE, 0, &path) == FcResultMatch &&
        path != nullptr) {
        file.path = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) == FcResultMatch) {
            file.face_index = index;
        }
    }
    return file;
}

bool read_glyph_outlines(const FontFile& file, GlyphOutline (&outlines)[outline_glyph_count]) {
    for (GlyphOutline& outline : outlines)
        outline = GlyphOutline{};
    if (file.path.empty()) return false;
    FT_Library opened_library = nullptr;
    if (FT_Init_FreeType(&opened_library) != 0) return false;
    const LibraryHandle library(opened_library, FT_Done_FreeType);
    FT_Face opened_face = nullptr;
    if (FT_New_Face(library.get(), file.path.c_str(), file.face_index, &opened_face) != 0) {
        return false;
    }
    const FaceHandle face(opened_face, FT_Done_Face);
    // Only a scalable font has outlines in design units to take the em square from.
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return false;
    FT_Select_Charmap(face.get(), FT_ENCODING_UNICODE);
    for (int code = 0; code < outline_glyph_count; ++code) {
        read_glyph(face.get(), windows_1252_code_point(static_cast<uint8_t>(code)),
                   &outlines[code]);
    }
    return true;
}

// The outlines are read at the first call, once per process, found or not.
bool font_outlines_found() {
    static const bool found = read_glyph_outlines(resolve_bold_font(font_family), loaded_outlines);
    return found;
}

const GlyphOutline (&font_outlines())[outline_glyph_count] {
    font_outlines_found();
    return loaded_outlines;
}

// Hands the outlines and metrics of codes 0 to 254 to the text routine; code 255 stays
// empty. The segments are plain memory that GL reads at each draw, so nothing is made in the
// rendering context. Without the font every glyph is empty and measures 0.
void build_outline_font() {
    hand_glyphs_to_text(font_outlines());
}

// Forgets the glyphs of the context being closed: texts draw and measure nothing until the
// next build_outline_font.
void free_outline_font() {
    text_reset();
}
