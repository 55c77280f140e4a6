#include "tests/player/support/song_start.h"

#include <algorithm>

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
    XmImageSample sample;
    sample.frames.assign(4096, 10);
    sample.loop_bits = 1;
    sample.loop_length = 4096;
    sample.volume = volume;
    sample.panning = panning;
    sample.relative_note = relative_note;
    sample.finetune = finetune;
    XmImageInstrument instrument;
    instrument.samples = {sample};
    return instrument;
}

XmImageSong pattern_song(const std::vector<std::string>& lines, int speed,
                         std::vector<XmImageInstrument> instruments, uint16_t flags) {
    XmImageSong song;
    const int channels =
        lines.empty() ? 1 : 1 + int(std::count(lines[0].begin(), lines[0].end(), '|'));
    song.channel_count = uint16_t(channels);
    song.tempo = uint16_t(speed);
    song.flags = flags;
    song.patterns = {xm_pattern(std::max<int>(int(lines.size()), 1), channels, lines)};
    song.instruments = std::move(instruments);
    return song;
}

std::vector<int> probe_ticks(XmModule* module, int ticks, Probe probe) {
    std::vector<int> values;
    for (int i = 0; i < ticks; ++i) {
        play_tick(module);
        values.push_back(probe(*module));
    }
    return values;
}
