#include "tools/offline_show.h"

#include "data/module_bytes.h"
#include "player/session.h"
#include "scenes/scene_random.h"
#include "scenes/scenes.h"
#include "scenes/tube_math.h"
#include "scenes/tunnel_math.h"

// The song of an earlier start is released first, so a second start begins from nothing.
bool start_offline_show() {
    release_song(playing_song());
    timeline_reset();
    XmModule* song = load_song(module_bytes, module_size);
    if (!start_song_offline(song, offline_output_rate)) {
        release_song(song);
        return false;
    }
    scene_random_reset();
    ring_tables_reset();
    tunnel_reset();
    return true;
}
