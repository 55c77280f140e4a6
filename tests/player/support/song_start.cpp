#include "tests/player/support/song_start.h"

#include "player/engine.h"
#include "player/memfile.h"

void start_song(XmModule* module) {
    engine_reset();
    module->global_volume = module->initial_global_volume;
    module->next_order = -1;
    module->next_row = -1;
    module->speed = module->default_speed;
    module->row = 0;
    module->order_position = 0;
    module->tick_samples_left = 0;
    module->tick = 0;
    module->pattern_delay = 0;
    module->song_time_ms = 0;
    set_bpm(module, module->default_bpm);
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
