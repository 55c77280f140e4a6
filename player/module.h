#pragma once
#include <cstdint>

// The in-memory model of one XM song, as the loader (player/loader.h) builds it from a stream
// through five file callbacks. Every sample is held as signed 16-bit frames with at least one
// guard frame after its loop, so the mixer may always read one frame past the loop end.

struct XmCell {
    uint8_t note;        // 0 = none, 1..96 = a note, 255 = key-off
    uint8_t instrument;  // 0 = none, 1..128
    uint8_t volume;      // volume-column byte as in the file
    uint8_t effect;
    uint8_t param;
};

// Cell notes: 1..96 are notes, 255 is key-off; anything else is no note.
constexpr uint8_t key_off_note = 255;
constexpr uint8_t last_note = 96;

// Rows of a pattern the song names but the module lacks, as the loader builds them.
constexpr int32_t missing_pattern_rows = 64;

struct XmPattern {
    int32_t row_count;
    XmCell* cells;  // row_count x channel_count cells, row-major
};

struct XmSample {
    int16_t* data;  // length + 8 frames of storage; null when length is 0
    uint32_t length;
    uint32_t loop_start;
    uint32_t loop_length;  // never 0 after loading
    uint8_t volume;        // 0..64
    int8_t finetune;
    int32_t panning;    // 0..255
    uint8_t bits;       // 16 after loading
    uint8_t loop_type;  // 1 = none, 2 = forward, 4 = ping-pong
    int8_t relative_note;
};

// Loop types as the loader normalises them.
constexpr uint8_t LOOP_NONE = 1;
constexpr uint8_t LOOP_FORWARD = 2;
constexpr uint8_t LOOP_PINGPONG = 4;

struct XmEnvelopePoint {
    uint16_t x;  // tick
    uint16_t y;  // value
};

constexpr int envelope_point_capacity = 20;  // the file fills the first 12

struct XmInstrument {
    int32_t sample_count;   // 0..16
    XmSample* samples[16];  // slots from sample_count on point to empty_sample
    uint8_t note_samples[96];
    XmEnvelopePoint volume_envelope[envelope_point_capacity];
    XmEnvelopePoint panning_envelope[envelope_point_capacity];
    uint8_t volume_point_count;
    uint8_t panning_point_count;
    uint8_t volume_sustain_point;
    uint8_t volume_loop_start;
    uint8_t volume_loop_end;
    uint8_t panning_sustain_point;
    uint8_t panning_loop_start;
    uint8_t panning_loop_end;
    uint8_t volume_type;  // bit 0 on, bit 1 sustain, bit 2 loop
    uint8_t panning_type;
    uint8_t vibrato_type;
    uint8_t vibrato_sweep;
    uint8_t vibrato_depth;
    uint8_t vibrato_rate;
    uint16_t fadeout;  // twice the file's value
};

struct XmModule;
using TickRoutine = void (*)(XmModule* module);
// Fills destination with byte_count bytes of sample data in place of the stream.
using SampleReader = void (*)(void* destination, uint32_t byte_count, int bits,
                              int instrument_index, int sample_index);

struct XmModule {
    XmPattern* patterns;
    XmInstrument* instruments;
    int32_t tick_samples_left;  // output frames still to mix before the next tick
    int32_t samples_per_tick;
    int16_t song_length;
    int16_t restart_position;
    int16_t channel_count;
    int32_t used_pattern_count;
    int32_t pattern_count;
    int16_t instrument_count;
    uint16_t flags;  // bit 0 = linear frequency table
    int16_t default_speed;
    int16_t default_bpm;
    uint8_t orders[256];
    uint8_t initial_global_volume;
    int32_t global_volume;
    uint8_t global_slide_param;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    int32_t row;
    int32_t order_position;
    int32_t pattern_delay;
    int32_t next_row;    // -1 = none
    int32_t next_order;  // -1 = none
    uint32_t song_time_ms;
    TickRoutine tick_routine;
    SampleReader sample_reader;
};
