// Feeds one byte string to the XM loader through the session and, when it loads, plays a
// bounded stretch of it offline, with no device and no thread, then releases it. Its seeds are
// the embedded song and the fetched corpus (scripts/fuzz.sh gathers them).
#include <cstddef>
#include <cstdint>

#include "player/session.h"

// Mixes 3 seconds at 44100 Hz of whatever loads, the way the output does once playback has
// started (the first two of them in the offline start's prefill), then releases everything; a
// refusal must say why.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    session_reset();
    XmModule* song = load_song(data, uint32_t(size));
    if (song == nullptr) {
        if (load_song_failure()[0] == '\0') __builtin_trap();
        return 0;
    }
    start_song_offline(song, 44100);
    play_offline_until(3 * 44100 / ring_block_frames() - ring_block_count());
    release_song(song);
    return 0;
}
