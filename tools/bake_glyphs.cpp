// bake_glyphs: writes the outline glyphs of the text font to a file for the page, read from the
// face the desktop reads ("Arial" at bold weight as fontconfig resolves it) through the same
// code, so the page draws the desktop's letters without a font reader of its own.
//
//   bake_glyphs OUTPUT
//
// Exit status: 0 written, 1 no font found or the file cannot be written, 2 bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "app/font.h"
#include "app/glyph_file.h"
#include "tools/command_line.h"

namespace {

const Usage usage = {"bake_glyphs",
                     "usage: bake_glyphs OUTPUT\n"
                     "Writes the outlines of the text font's glyphs 0 to 254 to OUTPUT.\n"};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && asks_for_help(argv[1])) print_usage(usage);
    if (argc != 2) fail_usage(usage, "give the one file to write");
    if (!font_outlines_found()) {
        std::fprintf(stderr, "bake_glyphs: the bold \"Arial\" face cannot be found or read\n");
        return exit_failure;
    }
    const std::vector<uint8_t> bytes = glyph_file_bytes(font_outlines());
    FILE* file = std::fopen(argv[1], "wb");
    bool written = file != nullptr;
    if (file != nullptr) {
        written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) != 0) written = false;
    }
    if (!written) {
        std::fprintf(stderr, "bake_glyphs: cannot write %s\n", argv[1]);
        return exit_failure;
    }
    return exit_done;
}
