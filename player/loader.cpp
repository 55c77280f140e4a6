// The XM loader: reads a module in the 1.04 layout through the installed file callbacks into
// the song model. Every read goes through one little-endian reader with a sticky end flag: a
// read the stream cannot satisfy, or a seek past its end, marks the stream ended and yields
// zeros from then on, so the parser reads straight through and looks at the flag where a record
// ends. A file that ends early (an interrupted download, a copy that stopped) plays what it
// holds: whole records load as they are, a record cut short keeps what it holds whole, and
// what is missing is empty. Only what cannot be played is refused, and the loader keeps the
// reason in one line for module_load_failure.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "player/channel.h"
#include "player/engine.h"
#include "player/loader.h"
#include "player/module.h"

XmSample empty_sample{};

namespace {

FileCallbacks file_callbacks{};

constexpr char module_id[] = "Extended Module: ";
constexpr uint32_t module_id_length = 17;
constexpr uint32_t header_fields_offset = 60;
constexpr uint32_t sample_header_bytes = 40;
constexpr int max_channels = channel_capacity;
constexpr uint32_t pattern_header_bytes = 9;
constexpr int32_t max_rows_without_data = 256;
constexpr uint32_t max_samples = 16;
constexpr uint32_t envelope_points_in_file = 12;
constexpr int32_t max_song_length = 256;
constexpr uint8_t key_off_in_file = 97;
constexpr uint8_t max_instrument_number = 128;

// Why the last load was refused; empty after one that succeeded.
char failure_text[96];

// Keeps the reason a load is refused as its one-line text and gives false, for returning.
[[gnu::format(printf, 1, 2)]] bool refuse(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(failure_text, sizeof failure_text, format, arguments);
    va_end(arguments);
    return false;
}

// The view of one stream during a load. `end` is the stream's size, learnt once by seeking to
// its end; `ended` is sticky: once set, the rest of the file is missing.
struct StreamReader {
    XmStream* stream;
    uint32_t end;
    bool ended;
};

uint32_t stream_position(const StreamReader& reader) {
    return file_callbacks.file_tell(reader.stream->handle);
}

// Bytes between the position and the end; 0 once the stream has ended.
uint32_t bytes_left(const StreamReader& reader) {
    if (reader.ended) return 0;
    uint32_t position = stream_position(reader);
    return position < reader.end ? reader.end - position : 0;
}

// True when the stream holds a record of count bytes whole. A record it cuts short ends the
// stream there, so what follows is missing rather than read from the record's bytes.
bool holds(StreamReader& reader, uint32_t count) {
    if (bytes_left(reader) < count) reader.ended = true;
    return !reader.ended;
}

// Fills destination with count bytes from the stream. A short read ends the stream; whatever
// was not delivered is zero.
void read_bytes(StreamReader& reader, void* destination, uint32_t count) {
    uint32_t delivered = 0;
    if (!reader.ended)
        delivered = file_callbacks.file_read(destination, count, reader.stream->handle);
    if (delivered < count) {
        reader.ended = true;
        std::memset(static_cast<uint8_t*>(destination) + delivered, 0, count - delivered);
    }
}

uint8_t read8(StreamReader& reader) {
    uint8_t value;
    read_bytes(reader, &value, 1);
    return value;
}

uint16_t little16(const uint8_t* bytes) {
    return uint16_t(bytes[0] | bytes[1] << 8);
}

uint32_t little32(const uint8_t* bytes) {
    return uint32_t(little16(bytes)) | uint32_t(little16(bytes + 2)) << 16;
}

// A number the stream does not hold whole reads as 0: half a count is no count.
uint16_t read16(StreamReader& reader) {
    uint8_t bytes[2];
    read_bytes(reader, bytes, 2);
    return reader.ended ? 0 : little16(bytes);
}

uint32_t read32(StreamReader& reader) {
    uint8_t bytes[4];
    read_bytes(reader, bytes, 4);
    return reader.ended ? 0 : little32(bytes);
}

// Moves to an absolute position; one past the end of the stream (or beyond what a seek offset
// can say) ends the stream instead of being clamped silently. An ended stream stays ended.
void seek_to(StreamReader& reader, uint64_t target) {
    if (target > reader.end || target > uint64_t(INT32_MAX)) {
        reader.ended = true;
        return;
    }
    file_callbacks.file_seek(reader.stream->handle, int32_t(target), 0);
}

void skip(StreamReader& reader, uint64_t count) {
    if (reader.ended) return;
    seek_to(reader, uint64_t(stream_position(reader)) + count);
}

// Zero-filled storage for count records of T; null when count is 0 or memory runs out.
template <typename T>
T* allocate(uint64_t count) {
    if (count == 0 || count > SIZE_MAX / sizeof(T)) return nullptr;
    return static_cast<T*>(std::calloc(size_t(count), sizeof(T)));
}

// Decodes one cell: a flag byte with bit 7 set announces the fields that follow; any other
// first byte is the note itself, followed by the four other fields. Key-off becomes 255, notes
// past key-off (no tracker writes them) become no note, and instruments past 128 none.
XmCell read_cell(StreamReader& reader) {
    XmCell cell{};
    uint8_t first = read8(reader);
    if (first & 0x80) {
        if (first & 0x01) cell.note = read8(reader);
        if (first & 0x02) cell.instrument = read8(reader);
        if (first & 0x04) cell.volume = read8(reader);
        if (first & 0x08) cell.effect = read8(reader);
        if (first & 0x10) cell.param = read8(reader);
    } else {
        uint8_t rest[4];
        read_bytes(reader, rest, 4);
        cell = XmCell{first, rest[0], rest[1], rest[2], rest[3]};
    }
    if (cell.note == key_off_in_file) {
        cell.note = key_off_note;
    } else if (cell.note > key_off_in_file && cell.note != key_off_note) {
        cell.note = 0;
    }
    if (cell.instrument > max_instrument_number) cell.instrument = 0;
    return cell;
}

// Reads one pattern header, which the stream holds whole, and its cells, row by row. Rows the
// file does not carry are empty and stop at 256: all of them for a pattern without data, and
// for a pattern the stream ends inside, the row it ends in and those after it. 0 rows stay 0
// rows with no cells. False only when memory runs out.
bool read_pattern(StreamReader& reader, XmPattern& pattern, int32_t channel_count) {
    read32(reader);  // header length: taken to be 9
    read8(reader);   // packing type
    const int32_t rows = read16(reader);
    const uint16_t packed_size = read16(reader);
    pattern.row_count = packed_size == 0 ? std::min(rows, max_rows_without_data) : rows;
    const uint64_t cell_count = uint64_t(pattern.row_count) * uint64_t(channel_count);
    if (cell_count == 0) return true;
    pattern.cells = allocate<XmCell>(cell_count);
    if (pattern.cells == nullptr) return false;
    if (packed_size == 0) return true;
    for (int32_t row = 0; row < rows; ++row) {
        XmCell* cells = pattern.cells + size_t(row) * size_t(channel_count);
        for (int32_t channel = 0; channel < channel_count; ++channel) {
            cells[channel] = read_cell(reader);
        }
        if (reader.ended) {
            std::fill(cells, cells + channel_count, XmCell{});
            pattern.row_count = std::max(row, std::min(rows, max_rows_without_data));
            return true;
        }
    }
    return true;
}

// Parses twelve (tick, value) points from their 48 bytes in the file.
void parse_envelope(const uint8_t* bytes, XmEnvelopePoint* points) {
    for (uint32_t i = 0; i < envelope_points_in_file; ++i) {
        points[i].x = little16(bytes + 4 * i);
        points[i].y = little16(bytes + 4 * i + 2);
    }
}

// Reads the part of an instrument header after the sample header size: the note map, both
// envelopes and the settings from the point counts to the fadeout. Point counts are held to
// the twelve points the file carries; an envelope with fewer than two points is off.
void read_instrument_settings(StreamReader& reader, XmInstrument& instrument) {
    read_bytes(reader, instrument.note_samples, sizeof instrument.note_samples);
    uint8_t envelopes[2 * 4 * envelope_points_in_file];
    read_bytes(reader, envelopes, sizeof envelopes);
    parse_envelope(envelopes, instrument.volume_envelope);
    parse_envelope(envelopes + 4 * envelope_points_in_file, instrument.panning_envelope);
    uint8_t settings[16];
    read_bytes(reader, settings, sizeof settings);
    instrument.volume_point_count = std::min<uint8_t>(settings[0], envelope_points_in_file);
    instrument.panning_point_count = std::min<uint8_t>(settings[1], envelope_points_in_file);
    instrument.volume_sustain_point = settings[2];
    instrument.volume_loop_start = settings[3];
    instrument.volume_loop_end = settings[4];
    instrument.panning_sustain_point = settings[5];
    instrument.panning_loop_start = settings[6];
    instrument.panning_loop_end = settings[7];
    instrument.volume_type = settings[8];
    instrument.panning_type = settings[9];
    instrument.vibrato_type = settings[10];
    instrument.vibrato_sweep = settings[11];
    instrument.vibrato_depth = settings[12];
    instrument.vibrato_rate = settings[13];
    // Twice the file's value; the rare value above 0x7FFF saturates instead of wrapping.
    instrument.fadeout = uint16_t(std::min<uint32_t>(2u * little16(settings + 14), 0xFFFF));
    if (instrument.volume_point_count < 2) instrument.volume_type = 0;
    if (instrument.panning_point_count < 2) instrument.panning_type = 0;
}

// Holds the loop inside the sample: one that starts at or past the end is dropped and one that
// reaches past it is cut at the end, so the guard frame and every mixer read stay inside the
// sample's storage.
void clamp_loop(XmSample& sample) {
    if (sample.loop_start >= sample.length) {
        sample.loop_length = 0;
    } else {
        sample.loop_length = std::min(sample.loop_length, sample.length - sample.loop_start);
    }
    if (sample.loop_length == 0) {
        sample.loop_start = 0;
        sample.loop_length = sample.length;
        sample.loop_type = LOOP_NONE;
    }
}

// Turns the byte-counted loop fields of a sample header into frames inside the sample.
void normalise_loop(XmSample& sample, uint8_t type) {
    sample.bits = (type & 0x10) ? 16 : 8;
    sample.loop_type = LOOP_NONE;
    if (type & 0x02) {
        sample.loop_type = LOOP_PINGPONG;
    } else if (type & 0x01) {
        sample.loop_type = LOOP_FORWARD;
    }
    if (sample.loop_type == LOOP_NONE) {
        sample.loop_start = 0;
        sample.loop_length = sample.length;
    }
    if (sample.bits == 16) {
        sample.length /= 2;
        sample.loop_start /= 2;
        sample.loop_length /= 2;
    }
    clamp_loop(sample);
}

// Reads one 40-byte sample header, which the stream holds whole, into a new record; null when
// memory runs out. Storage for the data is taken when the data is read.
XmSample* read_sample_header(StreamReader& reader) {
    XmSample* sample = allocate<XmSample>(1);
    if (sample == nullptr) return nullptr;
    uint8_t header[sample_header_bytes];
    read_bytes(reader, header, sizeof header);
    sample->length = little32(header);
    sample->loop_start = little32(header + 4);
    sample->loop_length = little32(header + 8);
    sample->volume = header[12];
    sample->finetune = int8_t(header[13]);
    sample->panning = header[15];
    sample->relative_note = int8_t(header[16]);
    normalise_loop(*sample, header[14]);
    return sample;
}

// Reads a sample's data into its frames: 8-bit bytes widened to 16 bits, 16-bit words taken
// as little-endian. Data from the stream is delta-coded and summed with 16-bit wrap-around;
// data from a sample reader is taken as plain values and the stream skips it. A sample the
// stream ends inside keeps the frames it holds whole: it is shortened to them and its loop is
// held inside what is left. False only when memory runs out.
bool read_sample_data(StreamReader& reader, XmModule& module, XmSample& sample,
                      int instrument_index, int sample_index) {
    const uint32_t frame_bytes = sample.bits / 8;
    if (uint64_t(sample.length) * frame_bytes > bytes_left(reader)) {
        sample.length = bytes_left(reader) / frame_bytes;
        clamp_loop(sample);
    }
    const uint32_t byte_count = sample.length * frame_bytes;
    if (sample.length == 0) {
        sample.bits = 16;  // no data to widen: the sample reads as 16-bit like every other
        return true;
    }
    sample.data = allocate<int16_t>(uint64_t(sample.length) + 8);
    uint8_t* bytes = allocate<uint8_t>(byte_count);
    if (sample.data == nullptr || bytes == nullptr) {
        std::free(bytes);
        return false;
    }
    if (module.sample_reader != nullptr) {
        module.sample_reader(bytes, byte_count, sample.bits, instrument_index, sample_index);
        skip(reader, byte_count);
    } else {
        read_bytes(reader, bytes, byte_count);
    }
    for (uint32_t i = 0; i < sample.length; ++i) {
        uint16_t word = sample.bits == 16 ? little16(bytes + 2 * i) : uint16_t(bytes[i] << 8);
        sample.data[i] = int16_t(word);
    }
    std::free(bytes);
    sample.bits = 16;
    if (module.sample_reader == nullptr) {
        uint16_t sum = 0;
        for (uint32_t i = 0; i < sample.length; ++i) {
            sum = uint16_t(sum + uint16_t(sample.data[i]));
            sample.data[i] = int16_t(sum);
        }
    }
    uint32_t loop_end = sample.loop_start + sample.loop_length;  // at most length
    if (sample.loop_type == LOOP_FORWARD) {
        sample.data[loop_end] = sample.data[sample.loop_start];
    } else if (sample.loop_type == LOOP_PINGPONG) {
        sample.data[loop_end] = sample.data[loop_end - 1];
    }
    return true;
}

// Reads one instrument: its header as far as the stream holds it, its sample headers and then
// its samples' data. More than 16 samples are refused. A sample header the stream does not hold
// whole is missing, and so are those after it: the count stops before it, so freeing releases
// exactly what was built, and every slot from the count on points to the shared empty sample.
bool read_instrument(StreamReader& reader, XmModule& module, int instrument_index) {
    XmInstrument& instrument = module.instruments[instrument_index];
    const uint64_t start = stream_position(reader);
    const uint64_t header_end = start + read32(reader);
    skip(reader, 23);  // name and type
    const uint32_t sample_count = read16(reader);
    if (sample_count > max_samples) {
        return refuse("instrument %d has %u samples, more than %u", instrument_index + 1,
                      sample_count, max_samples);
    }
    std::fill(std::begin(instrument.samples), std::end(instrument.samples), &empty_sample);
    if (sample_count > 0) {
        read32(reader);  // sample header size: taken to be 40
        read_instrument_settings(reader, instrument);
    }
    seek_to(reader, header_end);
    for (uint32_t slot = 0; slot < sample_count; ++slot) {
        if (!holds(reader, sample_header_bytes)) break;
        instrument.samples[slot] = read_sample_header(reader);
        if (instrument.samples[slot] == nullptr) return refuse("out of memory");
        instrument.sample_count = int32_t(slot + 1);
    }
    for (int32_t slot = 0; slot < instrument.sample_count; ++slot) {
        if (!read_sample_data(reader, module, *instrument.samples[slot], instrument_index,
                              int(slot))) {
            return refuse("out of memory");
        }
    }
    return true;
}

// Reads the patterns the stream holds (a pattern whose header it does not hold whole is missing,
// and so are those after it), then gives every pattern the order table names beyond them 64
// empty rows. Missing patterns the song never names are left out of the count: the engine
// plays any pattern past the count as 64 empty rows.
bool read_patterns(StreamReader& reader, XmModule& module, uint32_t file_pattern_count) {
    if (module.pattern_count == 0) return true;
    module.patterns = allocate<XmPattern>(uint64_t(module.pattern_count));
    if (module.patterns == nullptr) return refuse("out of memory");
    int32_t present = 0;
    while (uint32_t(present) < file_pattern_count && holds(reader, pattern_header_bytes)) {
        if (!read_pattern(reader, module.patterns[present], module.channel_count)) {
            return refuse("out of memory");
        }
        ++present;
    }
    module.pattern_count = std::max(present, module.used_pattern_count);
    for (int32_t p = present; p < module.used_pattern_count; ++p) {
        XmPattern& pattern = module.patterns[p];
        pattern.row_count = missing_pattern_rows;
        if (module.channel_count == 0) continue;  // rows without cells
        pattern.cells = allocate<XmCell>(uint64_t(missing_pattern_rows) * module.channel_count);
        if (pattern.cells == nullptr) return refuse("out of memory");
    }
    return true;
}

// Releases everything a module owns, whatever state a load left it in.
void release_module(XmModule* module) {
    if (module->instruments != nullptr) {
        for (int32_t i = 0; i < module->instrument_count; ++i) {
            XmInstrument& instrument = module->instruments[i];
            for (int32_t slot = 0; slot < instrument.sample_count; ++slot) {
                XmSample* sample = instrument.samples[slot];
                if (sample == nullptr || sample == &empty_sample) continue;
                std::free(sample->data);
                std::free(sample);
            }
        }
        std::free(module->instruments);
    }
    if (module->patterns != nullptr) {
        for (int32_t p = 0; p < module->pattern_count; ++p) {
            std::free(module->patterns[p].cells);
        }
        std::free(module->patterns);
    }
    std::free(module);
}

}  // namespace

// Installs the five file operations as a set: with any of them missing, none is kept.
void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read, FileSeekFn seek,
                        FileTellFn tell) {
    if (open == nullptr || close == nullptr || read == nullptr || seek == nullptr ||
        tell == nullptr) {
        file_callbacks = FileCallbacks{};
        return;
    }
    file_callbacks = FileCallbacks{open, close, read, seek, tell};
}

bool file_callbacks_installed() {
    return file_callbacks.file_open != nullptr;
}

void loader_reset() {
    file_callbacks = FileCallbacks{};
    failure_text[0] = '\0';
}

const char* module_load_failure() {
    return failure_text;
}

// Opens the named stream, reads a module from it and closes it again. A refusal releases
// everything built so far and gives null, keeping its reason.
XmModule* module_load(const void* name, SampleReader sample_reader) {
    failure_text[0] = '\0';
    if (!file_callbacks_installed()) {
        refuse("no file callbacks installed");
        return nullptr;
    }
    XmModule* module = allocate<XmModule>(1);
    if (module == nullptr) {
        refuse("out of memory");
        return nullptr;
    }
    XmStream stream{file_callbacks.file_open(name)};
    if (stream.handle == 0) {
        std::free(module);
        refuse("the file does not open");
        return nullptr;
    }
    module->sample_reader = sample_reader;
    bool loaded = read_xm(module, &stream);
    file_callbacks.file_close(stream.handle);
    if (!loaded) {
        module_free(module);
        return nullptr;
    }
    return module;
}

// Fills a zeroed module from the stream: the module header, the patterns, then the
// instruments with their samples. The stream's size is learnt first so that every count can
// be held to what is left before it is trusted. Refused: a file without the ID text, one cut
// before the song's own fields (its length, channels, patterns and instruments), more channels
// than the engine has, more than 16 samples in an instrument, and memory running out.
bool read_xm(XmModule* module, XmStream* stream) {
    if (module == nullptr || stream == nullptr || !file_callbacks_installed()) {
        return refuse("no stream to read");
    }
    file_callbacks.file_seek(stream->handle, 0, 2);
    StreamReader reader{stream, file_callbacks.file_tell(stream->handle), false};
    file_callbacks.file_seek(stream->handle, 0, 0);

    // A file shorter than the ID text that begins like it is cut inside the header.
    char id[module_id_length];
    read_bytes(reader, id, module_id_length);
    if (std::memcmp(id, module_id, std::min(reader.end, module_id_length)) != 0) {
        return refuse("not an XM module (no '%s' ID)", module_id);
    }
    module->tick_routine = play_tick;
    module->initial_global_volume = 64;

    seek_to(reader, header_fields_offset);
    const uint32_t header_size = read32(reader);
    const uint32_t song_length = read16(reader);
    const uint32_t restart_position = read16(reader);
    const uint32_t channel_count = read16(reader);
    const uint32_t file_pattern_count = read16(reader);
    // The count is the format's signed 16-bit field: a header count above 32767 reads as a
    // negative one, which loads no instruments and leaves every channel on the empty one.
    const int16_t instrument_count = int16_t(read16(reader));
    if (reader.ended) return refuse("truncated at byte %u, inside the header", reader.end);
    // The engine has 32 channel records. A song without channels loads and plays nothing.
    if (channel_count > uint32_t(max_channels)) {
        return refuse("%u channels, more than the %d the player has", channel_count, max_channels);
    }
    // Flags, tempo, BPM and the order table, as far as the file holds them.
    uint8_t fields[262];
    read_bytes(reader, fields, sizeof fields);
    // The order table holds 256 entries; the signed fields keep their non-negative range.
    module->song_length = int16_t(std::min<uint32_t>(song_length, max_song_length));
    module->restart_position = int16_t(std::min<uint32_t>(restart_position, INT16_MAX));
    module->channel_count = int16_t(channel_count);
    module->flags = little16(fields);
    module->default_speed = int16_t(std::min<uint32_t>(little16(fields + 2), INT16_MAX));
    module->default_bpm = int16_t(std::min<uint32_t>(little16(fields + 4), INT16_MAX));
    std::memcpy(module->orders, fields + 6, sizeof module->orders);
    seek_to(reader, uint64_t(header_fields_offset) + header_size);

    for (int32_t i = 0; i < module->song_length; ++i) {
        if (module->orders[i] >= module->used_pattern_count) {
            module->used_pattern_count = module->orders[i] + 1;
        }
    }
    module->pattern_count =
        std::max<int32_t>(int32_t(file_pattern_count), module->used_pattern_count);
    if (!read_patterns(reader, *module, file_pattern_count)) return false;

    // Instruments the stream does not reach are left out of the count: the engine plays an
    // instrument number past it as the empty instrument.
    if (instrument_count <= 0) return true;
    module->instruments = allocate<XmInstrument>(instrument_count);
    if (module->instruments == nullptr) return refuse("out of memory");
    for (int32_t i = 0; i < instrument_count && bytes_left(reader) > 0; ++i) {
        module->instrument_count = int16_t(i + 1);
        if (!read_instrument(reader, *module, int(i))) return false;
    }
    return true;
}

// Releases everything the module owns; its playback has been stopped by the caller.
bool module_free(XmModule* module) {
    if (module == nullptr) return false;
    release_module(module);
    return true;
}
