#include "tests/player/support/song_start.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sstream>

#include "player/engine.h"
#include "player/memfile.h"
#include "player/output.h"

void start_song(XmModule* module) {
    engine_reset();
    reset_song_state(module);
}

void reset_song_loading() {
    loader_reset();
    memfile_reset();
}

SongHandle start_song_bytes(const std::vector<uint8_t>& image) {
    reset_song_loading();
    memfile_attach(image.data(), uint32_t(image.size()));
    set_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    SongHandle module(module_load(nullptr, nullptr));
    reset_song_loading();
    if (module) start_song(module.get());
    return module;
}

SongHandle start_song_image(const XmImageSong& song) {
    return start_song_bytes(write_xm_image(song));
}

void play_ticks(XmModule* module, int count) {
    for (int i = 0; i < count; ++i)
        play_tick(module);
}

XmImageInstrument looped_instrument(uint8_t volume, uint8_t panning, int8_t relative_note,
                                    int8_t finetune) {
    XmImageInstrument instrument;
    instrument.samples.resize(1);
    XmImageSample& sample = instrument.samples[0];
    sample.frames.assign(4096, 10);
    sample.loop_length = 4096;
    sample.loop_bits = 1;
    sample.volume = volume;
    sample.finetune = finetune;
    sample.panning = panning;
    sample.relative_note = relative_note;
    return instrument;
}

std::vector<std::string> pattern_lines(const std::string& rows) {
    std::vector<std::string> lines = split(rows, ';');
    for (std::string& line : lines) {
        std::vector<std::string> cells = split(line, '|');
        line.clear();
        for (const std::string& cell : cells)
            line += (cell.size() == 3 && !strchr("-#=.", cell[1]) ? "... .. .. " : "") + cell + "|";
        if (!line.empty()) line.pop_back();
    }
    return lines;
}

XmImageSong pattern_song(const std::string& rows, int speed,
                         std::vector<XmImageInstrument> instruments, uint16_t flags) {
    const std::vector<std::string> lines = pattern_lines(rows);
    const int channels = int(std::count(lines[0].begin(), lines[0].end(), '|')) + 1;
    XmImageSong song;
    song.channel_count = uint16_t(channels);
    song.flags = flags;
    song.tempo = uint16_t(speed);
    song.patterns = {xm_pattern(int(lines.size()), channels, lines)};
    song.instruments = std::move(instruments);
    return song;
}

std::vector<int> numbers(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<int>(in), std::istream_iterator<int>()};
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        const size_t first = std::min(part.find_first_not_of(' '), part.size());
        parts.push_back(part.substr(first, part.find_last_not_of(' ') + 1 - first));
    }
    return parts;
}

std::vector<int> probe_ticks(XmModule* module, int ticks, Probe probe) {
    std::vector<int> values;
    for (int i = 0; i < ticks; ++i) {
        play_tick(module);
        values.push_back(probe(*module));
    }
    return values;
}
