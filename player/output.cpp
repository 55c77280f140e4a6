// Placeholder until the audio output lands: no playback, a clock that stays at 0.
#include "player/output.h"

std::atomic<bool> stop_requested{false};
std::atomic<bool> fill_in_progress{false};
std::atomic<bool> thread_finished{true};
std::atomic<int32_t> clock_block{0};
BlockClock* block_table = nullptr;

bool audio_init(int32_t) { return false; }
void audio_close() {}
bool player_start(XmModule* module) { return module != nullptr; }
bool player_stop(XmModule* module) { return module != nullptr; }
int output_thread() { return 0; }
uint32_t song_clock_ms(const XmModule*) { return 0; }
uint32_t song_clock_row(const XmModule*) { return 0; }
