#pragma once
#include <cstdint>

#include "player/module.h"
#include "player/wave_device.h"

// The player's front door: load a song from an XM image in memory, start it on a wave device,
// stop it, release it; or, offline, start it without a device and move the device on by hand,
// reading the sound each block holds and the clock it gives. One song plays at a time: the
// player is unloaded, loaded or playing. Start-up runs load, then start (the device opened at
// the rate, then the song started from its beginning on it); a restart (a display-mode toggle)
// releases the song playing and runs both again.

// Rates the ring can be sized for: below this a block would shrink to nothing and the volume
// ramp to zero frames; above it the size arithmetic leaves the range it was made for.
constexpr int32_t min_output_rate = 8000;
constexpr int32_t max_output_rate = 192000;

// The song clock of the block being heard, as playback or the offline start left it: the song
// time in milliseconds at the end of that block and the pattern row (0..255) reached there.
// Both 0 for a null module; the module is only tested for null.
uint32_t song_clock_ms(const XmModule* module);
uint32_t song_clock_row(const XmModule* module);

// Loads a song from an XM image of `size` bytes (the image is read during the call only). Null
// when the player cannot play it: load_song_failure() then says why, in one line.
XmModule* load_song(const uint8_t* bytes, uint32_t size);
// Why the last load_song gave null ("truncated at byte 50, inside the header"); empty after a
// load that succeeded.
const char* load_song_failure();
// Opens `device` at rate Hz and starts the song on it from its beginning: the whole ring is
// mixed, handed to the device, and an output thread keeps it filled behind the device. Any
// earlier playback stops first. False, with nothing playing, for a null module or a rate
// outside min_output_rate..max_output_rate, or when the device does not open.
bool start_song(XmModule* module, const WaveDevice* device, int32_t rate);
// Stops the song playing, if any; the device stays open and its sound stops.
void stop_song();
// Releases a loaded song: stops it first when it is the one playing. Nothing for null.
void release_song(XmModule* module);
// The song playing (or started offline, or standing still), null when none is.
XmModule* playing_song();

// Offline (one song at a time): the song started as start_song starts it (ring sized for the
// rate, voices and song state reset, the whole ring mixed, the clock on block 0) but with no
// device and no thread.
// The caller moves the device on. False for a null module or a rate outside
// min_output_rate..max_output_rate.
bool start_song_offline(XmModule* module, int32_t rate);
// The device has moved on to block `device_block`, counted from the start and not wrapped
// (block b starts at frame b x ring_block_frames()): every block it finished since the last call
// is mixed again, in order, as the output thread does, the clock moving onto the block being
// heard. Never goes back.
void play_offline_until(int64_t device_block);
// The sound of block `block` (counted as above): ring_block_frames() stereo frames, left first.
// The ring holds the block being heard and those after it, a ring's length in all; null for a
// block outside them.
const int16_t* heard_block_pcm(int64_t block);
// The frames of one ring block (884 at 44100 Hz) and the blocks in the ring (100), for the rate
// the song was started at.
int32_t ring_block_frames();
int32_t ring_block_count();
// Bytes of the ring `device` has played to the listener by now: what it has taken less the queue
// it last reported, plus the time since that report. Never more than it has taken, and never
// less than `heard_before` (the caller's last answer), so the clock does not go back when a
// report finds a longer queue. For a caller that moves an offline song on behind a device.
uint64_t device_bytes_heard(const WaveDevice& device, uint64_t heard_before);
// The frame, counted from the song's start, of the first row tick that comes back to an order
// and row already played other than through a pattern loop: where the song ends and would start
// over. -1 while the offline playback has not reached it yet.
int64_t song_end_frame();

// A still of the show: no song plays, and the clock stands at `ms` and `row` until the next
// start or stop, with playing_song() a module without a song. For drawing one moment of the show
// (the scenes' pictures and benchmarks).
void hold_song_clock(uint32_t ms, uint8_t row);

// Shuts the player down: stops playback, closes the device, forgets the song and the last load.
// The program calls it once its window has closed; test fixtures start each case from it.
void session_reset();
