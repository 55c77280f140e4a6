#include "tools/xm_image.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

// The writer lays the image out exactly as the loader walks it: the 336-byte module header
// (60 fixed bytes and a header of 276), each pattern as a 9-byte header and its cells, then each
// instrument as its header (263 bytes with samples, 33 without), its 40-byte sample headers and
// the delta-coded data of its samples.

namespace {

constexpr uint32_t module_header_size = 276;  // counted from offset 60: fields and order table
constexpr uint32_t pattern_header_size = 9;
constexpr uint32_t sample_header_size = 40;
constexpr uint32_t instrument_header_with_samples = 263;
constexpr uint32_t instrument_header_without_samples = 33;
constexpr size_t envelope_points_written = 12;

// Stops the program with a message naming what could not be understood; the writer serves
// tests and tools, where a mistyped cell is a bug to show at once.
[[noreturn]] void refuse(const std::string& what, const std::string& text) {
    std::fprintf(stderr, "xm_image: cannot read %s \"%s\"\n", what.c_str(), text.c_str());
    std::abort();
}

void put8(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
}

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Writes text into a fixed-size field, cut or padded with zero bytes.
void put_text(std::vector<uint8_t>& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i)
        out.push_back(i < text.size() ? uint8_t(text[i]) : 0);
}

// True for the blank forms of a field: "...", "..", "--" and the like.
bool is_blank_field(const std::string& token) {
    return std::all_of(token.begin(), token.end(), [](char c) { return c == '.' || c == '-'; });
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a hexadecimal byte of one or two digits.
uint8_t parse_hex_byte(const std::string& token, const std::string& cell_text) {
    if (token.empty() || token.size() > 2) refuse("hex byte in cell", cell_text);
    int value = 0;
    for (char c : token) {
        int digit = hex_digit(c);
        if (digit < 0) refuse("hex byte in cell", cell_text);
        value = value * 16 + digit;
    }
    return uint8_t(value);
}

// Reads NAME-OCTAVE ("C-4", "F#2") as note 1..96, or "===" / "off" as key-off (97).
uint8_t parse_note(const std::string& token, const std::string& cell_text) {
    std::string upper;
    for (char c : token)
        upper.push_back(char(std::toupper(static_cast<unsigned char>(c))));
    if (upper == "===" || upper == "OFF") return 97;
    static const char* const names[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                          "F#", "G-", "G#", "A-", "A#", "B-"};
    if (upper.size() != 3 || upper[2] < '0' || upper[2] > '7') refuse("note in cell", cell_text);
    for (int semitone = 0; semitone < 12; ++semitone) {
        if (upper.compare(0, 2, names[semitone]) == 0) {
            return uint8_t((upper[2] - '0') * 12 + semitone + 1);
        }
    }
    refuse("note in cell", cell_text);
}

uint8_t parse_instrument(const std::string& token, const std::string& cell_text) {
    if (token.empty() || token.size() > 3) refuse("instrument in cell", cell_text);
    int value = 0;
    for (char c : token) {
        if (c < '0' || c > '9') refuse("instrument in cell", cell_text);
        value = value * 10 + (c - '0');
    }
    if (value > 255) refuse("instrument in cell", cell_text);
    return uint8_t(value);
}

// Reads an effect letter (0-9, A-Z as effects 0..35) followed by a two-digit hex parameter.
void parse_effect(const std::string& token, const std::string& cell_text, XmImageCell& cell) {
    if (token.size() != 3) refuse("effect in cell", cell_text);
    char letter = char(std::toupper(static_cast<unsigned char>(token[0])));
    if (letter >= '0' && letter <= '9') {
        cell.effect = uint8_t(letter - '0');
    } else if (letter >= 'A' && letter <= 'Z') {
        cell.effect = uint8_t(letter - 'A' + 10);
    } else {
        refuse("effect in cell", cell_text);
    }
    cell.param = parse_hex_byte(token.substr(1), cell_text);
}

std::vector<std::string> split_blanks(const std::string& text) {
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!current.empty()) tokens.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) tokens.push_back(current);
    return tokens;
}

// Writes one cell in the packed form: a flag byte with bit 7 set and one bit per non-zero
// field, then those fields. A cell with all five fields set is written in full instead, as
// trackers do, since the full form is no longer; a note of 0x80 or above cannot start a full
// cell, so such cells stay packed.
void put_packed_cell(std::vector<uint8_t>& out, const XmImageCell& cell) {
    const uint8_t fields[5] = {cell.note, cell.instrument, cell.volume, cell.effect, cell.param};
    uint8_t flags = 0x80;
    for (int i = 0; i < 5; ++i) {
        if (fields[i] != 0) flags |= uint8_t(1 << i);
    }
    if (flags == 0x9F && cell.note < 0x80) {
        for (uint8_t field : fields)
            put8(out, field);
        return;
    }
    put8(out, flags);
    for (uint8_t field : fields) {
        if (field != 0) put8(out, field);
    }
}

void put_pattern(std::vector<uint8_t>& out, const XmImagePattern& pattern, int channel_count) {
    int32_t rows = std::clamp(pattern.rows, 0, 0xFFFF);
    std::vector<uint8_t> data;
    if (!pattern.empty_data) {
        size_t cell_count = size_t(rows) * size_t(std::max(channel_count, 0));
        for (size_t i = 0; i < cell_count; ++i) {
            XmImageCell cell = i < pattern.cells.size() ? pattern.cells[i] : XmImageCell{};
            if (pattern.pack) {
                put_packed_cell(data, cell);
            } else {
                for (uint8_t field :
                     {cell.note, cell.instrument, cell.volume, cell.effect, cell.param}) {
                    put8(data, field);
                }
            }
        }
    }
    put32(out, pattern_header_size);
    put8(out, 0);  // packing type
    put16(out, uint32_t(rows));
    // The size field only tells "empty" from "has data"; very large patterns saturate it.
    put16(out, uint32_t(std::min<size_t>(data.size(), 0xFFFF)));
    out.insert(out.end(), data.begin(), data.end());
}

void put_envelope_points(std::vector<uint8_t>& out, const XmImageEnvelope& envelope) {
    for (size_t i = 0; i < envelope_points_written; ++i) {
        std::pair<uint16_t, uint16_t> point{0, 0};
        if (i < envelope.points.size()) point = envelope.points[i];
        put16(out, point.first);
        put16(out, point.second);
    }
}

uint8_t point_count(const XmImageEnvelope& envelope) {
    if (envelope.point_count_override != 0xFF) return envelope.point_count_override;
    return uint8_t(std::min(envelope.points.size(), envelope_points_written));
}

uint32_t sample_bytes(const XmImageSample& sample) {
    return uint32_t(sample.frames.size()) * (sample.sixteen_bit ? 2u : 1u);
}

void put_sample_header(std::vector<uint8_t>& out, const XmImageSample& sample) {
    uint32_t frame_bytes = sample.sixteen_bit ? 2 : 1;
    uint32_t length = sample.length_bytes_override >= 0 ? uint32_t(sample.length_bytes_override)
                                                        : sample_bytes(sample);
    put32(out, length);
    put32(out, sample.loop_start * frame_bytes);
    put32(out, sample.loop_length * frame_bytes);
    put8(out, sample.volume);
    put8(out, uint8_t(sample.finetune));
    put8(out, uint32_t(sample.loop_bits & 3) | (sample.sixteen_bit ? 0x10u : 0u));
    put8(out, sample.panning);
    put8(out, uint8_t(sample.relative_note));
    put8(out, 0);  // reserved
    put_text(out, sample.name, 22);
}

// Writes the frames delta-coded: each value minus the one before, as bytes for 8-bit samples
// and as 16-bit words for 16-bit ones, wrapping around.
void put_sample_data(std::vector<uint8_t>& out, const XmImageSample& sample) {
    int32_t previous = 0;
    for (int16_t frame : sample.frames) {
        uint32_t delta = uint32_t(int32_t(frame) - previous);
        if (sample.sixteen_bit) {
            put16(out, delta & 0xFFFF);
        } else {
            put8(out, delta & 0xFF);
        }
        previous = frame;
    }
}

// Writes the instrument header cut or padded to its header size, then its sample headers and
// data. The long form is chosen by the sample count the header states.
void put_instrument(std::vector<uint8_t>& out, const XmImageInstrument& instrument) {
    uint32_t stated_samples = instrument.sample_count_override >= 0
                                  ? uint32_t(instrument.sample_count_override)
                                  : uint32_t(instrument.samples.size());
    bool long_form = stated_samples != 0;
    uint32_t header_size =
        instrument.header_size_override != 0
            ? instrument.header_size_override
            : (long_form ? instrument_header_with_samples : instrument_header_without_samples);
    std::vector<uint8_t> header;
    put32(header, header_size);
    put_text(header, instrument.name, 22);
    put8(header, 0);  // type
    put16(header, stated_samples);
    put32(header, sample_header_size);
    if (long_form) {
        for (int note = 0; note < 96; ++note) {
            put8(header, size_t(note) < instrument.note_samples.size()
                             ? instrument.note_samples[size_t(note)]
                             : 0);
        }
        const XmImageEnvelope& volume = instrument.volume_envelope;
        const XmImageEnvelope& panning = instrument.panning_envelope;
        put_envelope_points(header, volume);
        put_envelope_points(header, panning);
        put8(header, point_count(volume));
        put8(header, point_count(panning));
        put8(header, volume.sustain_point);
        put8(header, volume.loop_start);
        put8(header, volume.loop_end);
        put8(header, panning.sustain_point);
        put8(header, panning.loop_start);
        put8(header, panning.loop_end);
        put8(header, volume.type);
        put8(header, panning.type);
        put8(header, instrument.vibrato_type);
        put8(header, instrument.vibrato_sweep);
        put8(header, instrument.vibrato_depth);
        put8(header, instrument.vibrato_rate);
        put16(header, instrument.fadeout);
        header.resize(instrument_header_with_samples, 0);  // reserved
    }
    header.resize(header_size, 0);
    out.insert(out.end(), header.begin(), header.end());
    for (const XmImageSample& sample : instrument.samples)
        put_sample_header(out, sample);
    for (const XmImageSample& sample : instrument.samples)
        put_sample_data(out, sample);
}

}  // namespace

XmImageCell xm_cell(const std::string& text) {
    std::vector<std::string> tokens = split_blanks(text);
    if (tokens.size() > 4) refuse("cell", text);
    XmImageCell cell;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        if (i == 0 && (token == "===" || token == "off" || token == "OFF")) {
            cell.note = 97;
            continue;
        }
        if (is_blank_field(token)) continue;
        switch (i) {
            case 0:
                cell.note = parse_note(token, text);
                break;
            case 1:
                cell.instrument = parse_instrument(token, text);
                break;
            case 2:
                cell.volume = parse_hex_byte(token, text);
                break;
            default:
                parse_effect(token, text, cell);
                break;
        }
    }
    return cell;
}

std::vector<uint8_t> write_xm_image(const XmImageSong& song) {
    std::vector<uint8_t> out;
    put_text(out, "Extended Module: ", 17);
    put_text(out, song.name, 20);
    put8(out, 0x1A);
    put_text(out, song.tracker, 20);
    put16(out, 0x0104);
    put32(out, module_header_size);
    uint32_t song_length = song.song_length_override >= 0 ? uint32_t(song.song_length_override)
                                                          : uint32_t(song.orders.size());
    uint32_t pattern_count = song.pattern_count_override >= 0
                                 ? uint32_t(song.pattern_count_override)
                                 : uint32_t(song.patterns.size());
    put16(out, song_length);
    put16(out, song.restart_position);
    put16(out, song.channel_count);
    put16(out, pattern_count);
    put16(out, uint32_t(song.instruments.size()));
    put16(out, song.flags);
    put16(out, song.tempo);
    put16(out, song.bpm);
    for (size_t i = 0; i < 256; ++i)
        put8(out, i < song.orders.size() ? song.orders[i] : 0);
    for (const XmImagePattern& pattern : song.patterns) {
        put_pattern(out, pattern, song.channel_count);
    }
    for (const XmImageInstrument& instrument : song.instruments)
        put_instrument(out, instrument);
    return out;
}

XmImagePattern xm_pattern(int32_t rows, int channels, const std::vector<std::string>& lines) {
    if (lines.size() > size_t(std::max(rows, 0))) refuse("pattern with more lines than rows", "");
    XmImagePattern pattern;
    pattern.rows = rows;
    pattern.cells.assign(size_t(std::max(rows, 0)) * size_t(std::max(channels, 0)), XmImageCell{});
    for (size_t row = 0; row < lines.size(); ++row) {
        const std::string& line = lines[row];
        size_t start = 0;
        int channel = 0;
        while (true) {
            size_t bar = line.find('|', start);
            std::string part = line.substr(start, bar == std::string::npos ? bar : bar - start);
            if (channel >= channels) refuse("row with more cells than channels", line);
            pattern.cells[row * size_t(channels) + size_t(channel)] = xm_cell(part);
            ++channel;
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
    }
    return pattern;
}
