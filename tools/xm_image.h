#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Builds XM images (format version 1.04 layout) in memory from plain records: header,
// patterns as note/instrument/volume/effect rows, instruments and 8- or 16-bit samples, which
// are delta-coded on the way out. The tests and the song composer share it.

struct XmImageCell {
    uint8_t note = 0;  // 0 none, 1..96, 97 key-off
    uint8_t instrument = 0;
    uint8_t volume = 0;
    uint8_t effect = 0;
    uint8_t param = 0;
};

// Parses one cell written as a tracker shows it, fields separated by blanks and any of them
// may be left out or written as "...", "..", "--":
//   "C-4 01 40 F05"   note C-4, instrument 1, volume-column byte 0x40, effect F param 05
//   "===" or "off"    key-off;   "... .. .. A0F"   effect A, param 0F only
// Notes are NAME-OCTAVE (C-0 is note 1, B-7 note 96); the instrument is decimal, the volume
// column and the effect parameter are hexadecimal; effect letters 0-9 and A-Z.
// Aborts on text it cannot read, naming it.
XmImageCell xm_cell(const std::string& text);

struct XmImagePattern {
    int32_t rows = 64;
    // rows x channel_count cells, row-major; missing cells at the end are empty.
    std::vector<XmImageCell> cells;
    bool pack = true;         // packed cells (0x80 flag bytes); false writes every cell in full
    bool empty_data = false;  // write packed size 0 and no cell data
};

struct XmImageEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;  // (tick, value), up to 12 written
    uint8_t point_count_override = 0xFF;                // 0xFF = points.size()
    uint8_t sustain_point = 0;
    uint8_t loop_start = 0;
    uint8_t loop_end = 0;
    uint8_t type = 0;  // bit 0 on, bit 1 sustain, bit 2 loop
};

struct XmImageSample {
    bool sixteen_bit = false;
    std::vector<int16_t> frames;  // plain values; 8-bit samples use the range -128..127
    uint32_t loop_start = 0;      // frames
    uint32_t loop_length = 0;     // frames
    uint8_t loop_bits = 0;        // type bits 0-1: 1 forward, 2 ping-pong
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relative_note = 0;
    std::string name;
    // When set, the header's length field says this many bytes instead of the data size.
    int64_t length_bytes_override = -1;
};

struct XmImageInstrument {
    std::string name;
    std::vector<XmImageSample> samples;
    std::vector<uint8_t> note_samples;  // up to 96 entries; missing ones are 0
    XmImageEnvelope volume_envelope;
    XmImageEnvelope panning_envelope;
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    uint16_t fadeout = 0;  // as in the file
    // 0 = the usual sizes: 263 with samples, 33 without.
    uint32_t header_size_override = 0;
    // When set, the header's sample count says this instead of samples.size().
    int32_t sample_count_override = -1;
};

struct XmImageSong {
    std::string name = "test";
    std::string tracker = "xm_image";
    uint16_t channel_count = 4;
    uint16_t flags = 1;  // linear frequency table
    uint16_t tempo = 6;
    uint16_t bpm = 125;
    uint16_t restart_position = 0;
    std::vector<uint8_t> orders{0};
    int32_t song_length_override = -1;    // -1 = orders.size()
    int32_t pattern_count_override = -1;  // -1 = patterns.size()
    std::vector<XmImagePattern> patterns;
    std::vector<XmImageInstrument> instruments;
};

std::vector<uint8_t> write_xm_image(const XmImageSong& song);

// A pattern of `rows` rows for `channels` channels, from one text line per row with the
// channels' cells separated by '|', e.g. "C-4 01 .. F05 | ... .. .. ...".
XmImagePattern xm_pattern(int32_t rows, int channels, const std::vector<std::string>& lines);
