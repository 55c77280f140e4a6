// compose_song OUTPUT.xm: writes the demo's song, composed here from a score and synthesised
// instruments, as an XM file in the 1.04 layout. The output depends on nothing but this code,
// so running it again reproduces data/song.xm byte for byte.
//
// The song: four channels (drums, bass, lead, arpeggiated chords), A minor, 125 BPM with a
// sixteenth-note swing made by rows that alternate between 7 and 5 ticks (F07 on even rows,
// F05 on odd ones, every tick 882 frames at 44100 Hz). Its sections begin where the show
// changes its scenes, on the song clock the player keeps (see section_start_rows).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/xm_image.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Song layout

constexpr int channel_count = 4;
constexpr int drum_channel = 0;
constexpr int bass_channel = 1;
constexpr int lead_channel = 2;
constexpr int chord_channel = 3;

constexpr int pattern_rows = 64;
constexpr int composed_patterns = 13;  // then one empty pattern: the silence before the restart
constexpr int composed_rows = composed_patterns * pattern_rows;

// The rows at which the sections begin. The song clock adds 19 ms per tick: a tick of 882
// frames counts trunc(882 x (float)(1/44100) x 1000) = trunc(19.9999996) = 19, and a tick cut
// by a block end into runs a + b counts trunc(a / 44.1) + trunc(b / 44.1) = 19 too, because
// the one cut that loses a millisecond (441 + 441) never happens: block ends (multiples of
// 884) and tick starts (multiples of 882) are both even. A row pair (7 + 5 ticks) therefore
// lasts 228 ms of song clock, and row r (r even) starts at 114 x r ms. The show changes scene
// once the clock passes 13.7, 28.7 and 72 s:
//   13.7 s: row 120 starts at 13680 ms; the clock passes 13700 in its first 20 ms.
//   28.7 s: passed during row 251 (28633..28728 ms); row 252 starts 28 ms after it.
//   72 s:   passed during row 631 (71953..72048 ms); row 632 starts 48 ms after it.
// Each section begins on the even row nearest the change, where a swing pair and a beat
// begin; the row before it ends a drum fill.
constexpr int section_start_rows[] = {0, 120, 252, 632, composed_rows};

// Speeds of the swing: the long sixteenth first.
constexpr uint8_t long_row_speed = 7;
constexpr uint8_t short_row_speed = 5;
// The last two rows play 6 ticks each, so that the empty pattern after them runs at 6 ticks a
// row as well: 896 rows take 5376 ticks, exactly 6 a row on average.
constexpr uint8_t closing_speed = 6;
constexpr uint8_t song_bpm = 125;

// Instrument numbers as the pattern cells name them. The last two instruments have no samples.
enum InstrumentNumber : uint8_t {
    kick = 1,
    snare = 2,
    hihat = 3,
    bass = 4,
    lead = 5,
    chord = 6,
};
constexpr int instrument_count = 8;

// XM effect numbers used here.
constexpr uint8_t effect_arpeggio = 0x0;
constexpr uint8_t effect_tone_portamento = 0x3;
constexpr uint8_t effect_vibrato = 0x4;
constexpr uint8_t effect_speed = 0xF;

constexpr uint8_t key_off = 97;
constexpr uint8_t lead_vibrato = 0x62;  // speed 6 (about 4.7 Hz), depth 2 (a fifth of a tone)
constexpr uint8_t lead_slide_speed = 0x30;
constexpr int vibrato_delay_rows = 2;  // a held lead note starts to waver on its third row

// Volume-column byte that sets the channel volume.
uint8_t set_volume(int volume) {
    return uint8_t(0x10 + std::clamp(volume, 0, 64));
}

// ---------------------------------------------------------------------------------------------
// Synthesis. Every sample is computed in floating point, scaled to its peak and stored as
// 8-bit values; the writer delta-codes them.

constexpr double two_pi = 6.283185307179586;

// A small xorshift generator, so the noise is the same on every machine.
struct Noise {
    uint32_t state;
};

// Next noise value in [-1, 1).
double next_noise(Noise& noise) {
    noise.state ^= noise.state << 13;
    noise.state ^= noise.state >> 17;
    noise.state ^= noise.state << 5;
    return double(noise.state) / 2147483648.0 - 1.0;
}

// Scales the signal to `peak` of full scale and rounds it to 8-bit values.
std::vector<int16_t> to_8bit(const std::vector<double>& signal, double peak) {
    double largest = 1e-9;
    for (double value : signal)
        largest = std::max(largest, std::fabs(value));
    std::vector<int16_t> frames;
    frames.reserve(signal.size());
    for (double value : signal) {
        long level = std::lround(value / largest * peak * 127.0);
        frames.push_back(int16_t(std::clamp(level, -128L, 127L)));
    }
    return frames;
}

// Fades the last quarter of a one-shot sound to silence, so its end makes no click.
void taper_end(std::vector<double>& signal) {
    size_t taper = signal.size() / 4;
    for (size_t i = 0; i < taper; ++i) {
        double x = double(i + 1) / double(taper);
        signal[signal.size() - 1 - i] *= 0.5 - 0.5 * std::cos(x * two_pi / 2);
    }
}

// Soft saturation, normalised so that full scale stays full scale.
double saturate(double value, double drive) {
    return std::tanh(drive * value) / std::tanh(drive);
}

// Bass drum: a sine that falls from about 180 Hz to 50 Hz within a few tens of milliseconds,
// with a short noise click at the start. 8363 Hz, 0.19 s.
std::vector<double> synth_kick() {
    const double rate = 8363;
    std::vector<double> signal(1600);
    Noise noise{0x1234567u};
    double phase = 0;
    for (size_t n = 0; n < signal.size(); ++n) {
        double t = double(n) / rate;
        phase += two_pi * (50 + 130 * std::exp(-t / 0.03)) / rate;
        double body = std::sin(phase) * std::exp(-t / 0.07);
        double click = next_noise(noise) * std::exp(-t / 0.002) * 0.4;
        signal[n] = saturate(body + click, 1.8);
    }
    taper_end(signal);
    return signal;
}

// Snare: two damped tones for the shell and low-passed noise for the wires. 11163 Hz
// (relative note +5), 0.15 s.
std::vector<double> synth_snare() {
    const double rate = 11163;
    std::vector<double> signal(1700);
    Noise noise{0x9E3779B9u};
    double wires = 0;
    for (size_t n = 0; n < signal.size(); ++n) {
        double t = double(n) / rate;
        double shell = (0.6 * std::sin(two_pi * 185 * t) + 0.3 * std::sin(two_pi * 330 * t)) *
                       std::exp(-t / 0.03);
        wires += 0.6 * (next_noise(noise) - wires);
        signal[n] = saturate(shell + 0.9 * wires * std::exp(-t / 0.05), 1.5);
    }
    taper_end(signal);
    return signal;
}

// Closed hi-hat: differentiated noise (all hiss, no body) with a fast decay. 16726 Hz
// (relative note +12), 0.04 s.
std::vector<double> synth_hihat() {
    const double rate = 16726;
    std::vector<double> signal(700);
    Noise noise{0xC0FFEE11u};
    double previous = 0;
    for (size_t n = 0; n < signal.size(); ++n) {
        double t = double(n) / rate;
        double value = next_noise(noise);
        signal[n] = (value - previous) * std::exp(-t / 0.012);
        previous = value;
    }
    taper_end(signal);
    return signal;
}

// Length of the single-cycle waves that loop: 64 frames, played at relative note +12 so that a
// pattern note sounds at its own pitch (16726 Hz / 64 = 261.3 Hz for C-4).
constexpr size_t cycle_frames = 64;

// One cycle of a wave from the amplitudes of its harmonics (the first entry is harmonic 1).
std::vector<double> synth_cycle(const std::vector<double>& harmonics) {
    std::vector<double> signal(cycle_frames);
    for (size_t n = 0; n < cycle_frames; ++n) {
        double x = two_pi * double(n) / double(cycle_frames);
        for (size_t k = 0; k < harmonics.size(); ++k)
            signal[n] += harmonics[k] * std::sin(double(k + 1) * x);
    }
    return signal;
}

// Bass: a rounded sawtooth, harmonics falling faster than 1/k.
std::vector<double> synth_bass_cycle() {
    std::vector<double> harmonics;
    for (int k = 1; k <= 8; ++k)
        harmonics.push_back(1.0 / std::pow(double(k), 1.4));
    return synth_cycle(harmonics);
}

// Lead: between a square and a sawtooth, strong odd harmonics and weaker even ones.
std::vector<double> synth_lead_cycle() {
    std::vector<double> harmonics;
    for (int k = 1; k <= 11; ++k)
        harmonics.push_back((k % 2 == 1 ? 1.0 : 0.45) / double(k));
    return synth_cycle(harmonics);
}

// Chords: a soft organ-like tone for the arpeggios.
std::vector<double> synth_chord_cycle() {
    return synth_cycle({1.0, 0.25, 0.35, 0.1, 0.15});
}

// A drum sample: played once, no loop.
XmImageSample one_shot(const std::string& name, const std::vector<double>& signal,
                       int8_t relative_note, uint8_t panning) {
    XmImageSample sample;
    sample.name = name;
    sample.frames = to_8bit(signal, 0.98);
    sample.relative_note = relative_note;
    sample.panning = panning;
    return sample;
}

// A tone sample: one cycle looped forward for as long as the note holds.
XmImageSample looped_cycle(const std::string& name, const std::vector<double>& signal,
                           uint8_t panning) {
    XmImageSample sample;
    sample.name = name;
    sample.frames = to_8bit(signal, 0.95);
    sample.loop_start = 0;
    sample.loop_length = uint32_t(cycle_frames);
    sample.loop_bits = 1;  // forward loop
    sample.relative_note = 12;
    sample.panning = panning;
    return sample;
}

// An instrument of one sample, which every note plays; no envelopes, so a key-off cuts it.
XmImageInstrument instrument_with(const std::string& name, XmImageSample sample) {
    XmImageInstrument instrument;
    instrument.name = name;
    instrument.samples.push_back(std::move(sample));
    return instrument;
}

// The eight instruments: three one-shot drums, three looped tones, two empty slots. Pannings
// spread the channels: hi-hat and chords to the right, lead to the left, kick and bass in the
// middle.
std::vector<XmImageInstrument> make_instruments() {
    std::vector<XmImageInstrument> instruments;
    instruments.push_back(instrument_with("kick", one_shot("kick", synth_kick(), 0, 128)));
    instruments.push_back(instrument_with("snare", one_shot("snare", synth_snare(), 5, 150)));
    instruments.push_back(instrument_with("hihat", one_shot("hihat", synth_hihat(), 12, 184)));
    instruments.push_back(instrument_with("bass", looped_cycle("bass", synth_bass_cycle(), 120)));
    instruments.push_back(instrument_with("lead", looped_cycle("lead", synth_lead_cycle(), 80)));
    instruments.push_back(
        instrument_with("chords", looped_cycle("chords", synth_chord_cycle(), 176)));
    XmImageInstrument spare;
    spare.name = "tirvalex 3";
    instruments.push_back(spare);
    spare.name = "swing at 125";
    instruments.push_back(spare);
    return instruments;
}

// ---------------------------------------------------------------------------------------------
// The score

struct Chord {
    const char* name;
    int root;          // semitone above C
    int third;         // 3 minor, 4 major
    uint8_t arpeggio;  // 0xy: the third and the fifth above the root
};

constexpr Chord chords[] = {
    {"Am", 9, 3, 0x37}, {"Dm", 2, 3, 0x37}, {"Em", 4, 3, 0x37}, {"C", 0, 4, 0x47},
    {"F", 5, 4, 0x47},  {"G", 7, 4, 0x47},  {"E", 4, 4, 0x47},
};

// One bar of the score. `drums` has one character per row and sets the bar's length: 16 rows
// for a bar of four beats, fewer for the fills that lead into a section.
//   drums: K kick, k soft kick, S snare, s ghost snare, H hi-hat, h soft hi-hat,
//          T high tom, t low tom (the kick sample tuned up), . nothing
//   bass:  one character per row, or empty for silence: R root, O octave, 5 fifth, 3 third,
//          7 minor seventh, lower case r and o softer, . hold, - release
//   lead:  one blank-separated token per row, or empty: a note such as A4 or G#5 (a leading
//          > slides to it), . hold, - release
// The chord channel strikes the chord at the start of the bar and arpeggiates it throughout,
// its volume moving from chord_from to chord_to across the bar.
struct Bar {
    const char* chord;
    const char* drums;
    const char* bass;
    const char* lead;
    int chord_from;
    int chord_to;
};

// A run of bars with the volumes of its bass and lead.
struct Section {
    const char* name;
    int bass_volume;
    int lead_volume;
    std::vector<Bar> bars;
};

// Drum patterns of one bar.
const char* const drums_none = "................";
const char* const hats_quarters = "h...h...h...h...";
const char* const hats_quarters_pickup = "h...h...h...h.h.";
const char* const hats_eighths = "h.h.h.h.h.h.h.h.";
const char* const hats_eighths_pickup = "h.h.h.h.h.h.h.hh";
const char* const four_on_floor = "K.h.K.h.K.h.K.h.";
const char* const four_on_floor_pickup = "K.h.K.h.K.h.K.hh";
const char* const groove = "K.h.S.hhK.hKS.h.";
const char* const groove_busy = "K.hhS.h.K.K.S.hH";
const char* const groove_turn = "K.h.S.hhK.hKS.SS";
const char* const breakdown = "h.h.S.h.h.h.S.hh";
const char* const build_eighths = "K.h.K.h.K.h.K.hh";
const char* const build_driving = "K.K.K.K.K.K.K.KK";
const char* const build_rolling = "K.S.K.S.KSKSKSSS";

// Bass figures of one bar.
const char* const bass_whole = "R...............";
const char* const bass_half = "R.......5.......";
const char* const bass_bounce = "R.-.O.-.R.-.O.-.";
const char* const bass_bounce_turn = "R.-.O.-.R.-.O.5.";
const char* const bass_drive = "R.-RO-R-R.-RO-5-";
const char* const bass_drive_turn = "R.-RO-R-R.-r5-O-";
const char* const bass_pulse = "R-R-R-R-R-R-R-R-";
const char* const bass_halves = "R.......R.......";

// The score, section by section.
std::vector<Section> make_score() {
    std::vector<Section> score;
    // Opening, under the wavy tube: chords fade in over soft hi-hats, the bass and a four-on-
    // the-floor kick join, and a snare pick-up of half a bar leads into the groove.
    score.push_back({"opening",
                     44,
                     0,
                     {
                         {"Am", hats_quarters, "", "", 16, 28},
                         {"F", hats_quarters_pickup, "", "", 28, 40},
                         {"C", hats_eighths, bass_whole, "", 40, 40},
                         {"G", hats_eighths_pickup, bass_half, "", 40, 40},
                         {"Am", four_on_floor, bass_bounce, "", 38, 38},
                         {"F", four_on_floor, bass_bounce, "", 38, 38},
                         {"G", four_on_floor_pickup, bass_bounce_turn, "", 38, 38},
                         {"G", "s.s.S.SS", "R.R.O.O.", "", 38, 38},
                     }});
    // The groove, under the credits: drums and bass in full, the lead enters with long notes
    // in the second half; one beat of toms leads into the theme.
    score.push_back(
        {"groove",
         46,
         36,
         {
             {"Am", groove, bass_drive, "", 34, 34},
             {"F", groove_busy, bass_drive, "", 34, 34},
             {"C", groove, bass_drive, "", 34, 34},
             {"G", groove_turn, bass_drive_turn, "", 34, 34},
             {"Am", groove, bass_drive, "E5 . . . . . . . . . . . C5 . . .", 32, 32},
             {"F", groove_busy, bass_drive, "A4 . . . . . . . . . . . C5 . . .", 32, 32},
             {"C", groove, bass_drive, "G4 . . . . . . . E5 . . . . . . .", 32, 32},
             {"G", groove_turn, bass_drive_turn, "D5 . . . . . . . . . . . B4 . . .", 32, 32},
             {"E", "STTt", "R-O-", "G#4 . B4 .", 32, 32},
         }});
    // The theme, through the tunnel: eight bars, eight more an octave higher, a breakdown
    // without the kick, three bars that build up and three beats of fill.
    score.push_back(
        {"theme",
         46,
         42,
         {
             {"Am", groove, bass_drive, "A4 . C5 . E5 . . . D5 . C5 . D5 . E5 .", 30, 30},
             {"F", groove_busy, bass_drive, "F5 . . . E5 . C5 . A4 . . . . . - .", 30, 30},
             {"C", groove, bass_drive, "G4 . C5 . E5 . . . G5 . E5 . D5 . C5 .", 30, 30},
             {"G", groove_turn, bass_drive_turn, "D5 . . . . . B4 . G4 . . . . . - .", 30, 30},
             {"Am", groove, bass_drive, "A4 . C5 . E5 . . . D5 . C5 . D5 . E5 .", 30, 30},
             {"F", groove_busy, bass_drive, "F5 . . . A5 . G5 . F5 . E5 . C5 . . .", 30, 30},
             {"G", groove, bass_drive, "D5 . E5 . D5 . B4 . G4 . . . B4 . D5 .", 30, 30},
             {"E", groove_turn, bass_drive_turn, "E5 . . . . . . . . . . . - . . .", 30, 30},
             {"Am", groove, bass_drive, "E5 . . . A5 . . . G5 . E5 . C5 . E5 .", 30, 30},
             {"F", groove_busy, bass_drive, "F5 . . . E5 . F5 . A5 . . . G5 . F5 .", 30, 30},
             {"C", groove, bass_drive, "E5 . . . G5 . . . C6 . B5 . G5 . E5 .", 30, 30},
             {"G", groove_turn, bass_drive_turn, "D5 . . . B4 . D5 . G5 . . . - . . .", 30, 30},
             {"Am", groove, bass_drive, "A5 . . . G5 . E5 . A5 . . . C6 . B5 .", 30, 30},
             {"F", groove_busy, bass_drive, "A5 . . . F5 . A5 . C6 . . . A5 . F5 .", 30, 30},
             {"G", groove, bass_drive, "G5 . . . D5 . G5 . B5 . A5 . G5 . D5 .", 30, 30},
             {"E", groove_turn, bass_drive_turn, "E5 . . . . . . . B4 . . . G#4 . B4 .", 30, 30},
             {"F", breakdown, bass_halves, "A4 . . . . . . . C5 . . . . . . .", 36, 36},
             {"G", breakdown, bass_halves, "B4 . . . . . . . D5 . . . . . . .", 36, 36},
             {"Em", breakdown, bass_halves, "E5 . . . . . . . G5 . . . . . . .", 36, 36},
             {"Am", breakdown, bass_halves, "E5 . . . . . . . . . . . . . - .", 36, 32},
             {"F", build_eighths, bass_pulse, "C5 . . . A4 . C5 . F5 . . . C5 . F5 .", 32, 32},
             {"G", build_driving, bass_pulse, "D5 . . . B4 . D5 . G5 . . . D5 . G5 .", 32, 32},
             {"E", build_rolling, bass_pulse, "E5 . . . B4 . E5 . G#5 . . . E5 . G#5 .", 32, 32},
             {"E", "SsSsSSTTTttt", "R-R-R-O-O-O-", ">B5 . . . . . - . . . . .", 32, 32},
         }});
    // The return of scene 3: the high theme once more, then an outro that lets the drums go
    // and fades the chords out, ending on a single kick and A minor.
    score.push_back(
        {"finale",
         46,
         42,
         {
             {"Am", groove, bass_drive, "E5 . . . A5 . . . G5 . E5 . C5 . E5 .", 30, 30},
             {"F", groove_busy, bass_drive, "F5 . . . E5 . F5 . A5 . . . G5 . F5 .", 30, 30},
             {"C", groove, bass_drive, "E5 . . . G5 . . . C6 . B5 . G5 . E5 .", 30, 30},
             {"G", groove_turn, bass_drive_turn, "D5 . . . B4 . D5 . G5 . . . - . . .", 30, 30},
             {"Am", groove, bass_drive, "A5 . . . G5 . E5 . A5 . . . C6 . B5 .", 30, 30},
             {"F", groove_busy, bass_drive, "A5 . . . F5 . A5 . C6 . . . A5 . F5 .", 30, 30},
             {"G", groove, bass_drive, "G5 . . . D5 . G5 . B5 . A5 . G5 . D5 .", 30, 30},
             {"E", groove_turn, bass_drive_turn, "E5 . . . . . . . B4 . . . G#4 . B4 .", 30, 30},
             {"Am", hats_eighths, bass_halves, "A4 . . . . . . . . . . . . . . .", 34, 30},
             {"F", hats_eighths, bass_halves, "C5 . . . . . . . A4 . . . . . . .", 30, 26},
             {"G", hats_quarters, bass_whole, "B4 . . . . . . . D5 . . . . . . .", 26, 20},
             {"Am", hats_quarters, bass_whole, "E5 . . . . . . . . . . . . . . .", 20, 12},
             {"Am", "K.......", "R......-", "A4 . . . . . . -", 12, 0},
         }});
    return score;
}

// ---------------------------------------------------------------------------------------------
// Rendering the score into rows

// Stops the composer on a mistake in the score, naming it.
[[noreturn]] void score_error(const std::string& what) {
    std::fprintf(stderr, "compose_song: %s\n", what.c_str());
    std::exit(1);
}

// The chord of that name in the chord table.
const Chord& find_chord(const std::string& name) {
    for (const Chord& chord : chords) {
        if (name == chord.name) return chord;
    }
    score_error("unknown chord " + name);
}

// XM note number (C-0 = 1) of a semitone above C in an octave.
uint8_t note_number(int octave, int semitone) {
    return uint8_t(octave * 12 + semitone + 1);
}

// Note number of a token such as "A4", "C#5" or "G#4".
uint8_t parse_lead_note(const std::string& token) {
    static const int letter_semitones[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (token.size() < 2 || token[0] < 'A' || token[0] > 'G') score_error("bad note " + token);
    int semitone = letter_semitones[token[0] - 'A'];
    size_t at = 1;
    if (token[at] == '#') {
        ++semitone;
        ++at;
    }
    if (at + 1 != token.size() || token[at] < '0' || token[at] > '7')
        score_error("bad note " + token);
    return note_number(token[at] - '0', semitone);
}

// The blank-separated tokens of a lead line.
std::vector<std::string> split_tokens(const std::string& text) {
    std::vector<std::string> tokens;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        if (end > at) tokens.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return tokens;
}

using Row = std::vector<XmImageCell>;  // one cell per channel

// Root of the chord for the bass (E-2 .. D#3) and for the chords (E-3 .. D#4).
uint8_t bass_root(const Chord& chord) {
    return note_number(chord.root >= 4 ? 2 : 3, chord.root);
}

uint8_t chord_root(const Chord& chord) {
    return uint8_t(bass_root(chord) + 12);
}

// Writes the bar's drum grid into the drum channel: one hit per character, its instrument,
// pitch and volume from the table below.
void render_drums(const Bar& bar, std::vector<Row>& rows, size_t first) {
    struct Hit {
        char symbol;
        uint8_t instrument;
        int semitones;  // above C-4
        int volume;
    };
    static const Hit hits[] = {
        {'K', kick, 0, 60},  {'k', kick, 0, 40},  {'S', snare, 0, 56}, {'s', snare, 0, 28},
        {'H', hihat, 0, 36}, {'h', hihat, 0, 22}, {'T', kick, 7, 50},  {'t', kick, 2, 50},
    };
    for (size_t i = 0; bar.drums[i] != 0; ++i) {
        char symbol = bar.drums[i];
        if (symbol == '.') continue;
        const Hit* hit = nullptr;
        for (const Hit& candidate : hits) {
            if (candidate.symbol == symbol) hit = &candidate;
        }
        if (hit == nullptr) score_error(std::string("unknown drum ") + symbol);
        XmImageCell& cell = rows[first + i][drum_channel];
        cell.note = uint8_t(note_number(4, 0) + hit->semitones);
        cell.instrument = hit->instrument;
        cell.volume = set_volume(hit->volume);
    }
}

// Writes the bar's bass figure: notes relative to the chord root at the section's volume,
// ghost notes softer, releases as key-offs.
void render_bass(const Bar& bar, const Chord& chord, int volume, std::vector<Row>& rows,
                 size_t first, size_t length) {
    std::string figure = bar.bass;
    if (figure.empty()) return;
    if (figure.size() != length) score_error(std::string("bass of the wrong length: ") + bar.bass);
    for (size_t i = 0; i < length; ++i) {
        XmImageCell& cell = rows[first + i][bass_channel];
        char symbol = figure[i];
        if (symbol == '.') continue;
        if (symbol == '-') {
            cell.note = key_off;
            continue;
        }
        int interval = 0;
        int level = volume;
        switch (symbol) {
            case 'R':
                interval = 0;
                break;
            case 'r':
                interval = 0;
                level = volume * 3 / 5;
                break;
            case 'O':
                interval = 12;
                break;
            case 'o':
                interval = 12;
                level = volume * 3 / 5;
                break;
            case '5':
                interval = 7;
                break;
            case '3':
                interval = chord.third;
                break;
            case '7':
                interval = 10;
                break;
            default:
                score_error(std::string("unknown bass step ") + symbol);
        }
        cell.note = uint8_t(bass_root(chord) + interval);
        cell.instrument = bass;
        cell.volume = set_volume(level);
    }
}

// Writes the bar's lead line at the section's volume. held_rows counts the rows the note has
// lasted, across bars, so that long notes take vibrato; -1 while the lead is silent.
void render_lead(const Bar& bar, int volume, std::vector<Row>& rows, size_t first, size_t length,
                 int& held_rows) {
    std::vector<std::string> tokens = split_tokens(bar.lead);
    if (tokens.empty()) return;
    if (tokens.size() != length) score_error(std::string("lead of the wrong length: ") + bar.lead);
    for (size_t i = 0; i < length; ++i) {
        XmImageCell& cell = rows[first + i][lead_channel];
        const std::string& token = tokens[i];
        if (token == ".") {
            // A held note: after a moment it takes a gentle vibrato.
            if (held_rows >= 0 && ++held_rows >= vibrato_delay_rows) {
                cell.effect = effect_vibrato;
                cell.param = lead_vibrato;
            }
            continue;
        }
        if (token == "-") {
            cell.note = key_off;
            held_rows = -1;
            continue;
        }
        bool slide = token[0] == '>';
        cell.note = parse_lead_note(slide ? token.substr(1) : token);
        cell.instrument = lead;
        cell.volume = set_volume(volume);
        if (slide) {
            cell.effect = effect_tone_portamento;
            cell.param = lead_slide_speed;
        }
        held_rows = 0;
    }
}

// Strikes the bar's chord root on the chord channel and arpeggiates it on every row (the
// arpeggio only runs on rows that carry it), ramping the volume across the bar.
void render_chords(const Bar& bar, const Chord& chord, std::vector<Row>& rows, size_t first,
                   size_t length) {
    int last_volume = -1;
    for (size_t i = 0; i < length; ++i) {
        XmImageCell& cell = rows[first + i][chord_channel];
        int volume =
            bar.chord_from + int(std::lround(double(bar.chord_to - bar.chord_from) * double(i) /
                                             double(std::max<size_t>(length - 1, 1))));
        if (i == 0) {
            cell.note = chord_root(chord);
            cell.instrument = InstrumentNumber::chord;
        }
        if (volume != last_volume) cell.volume = set_volume(volume);
        last_volume = volume;
        cell.effect = effect_arpeggio;
        cell.param = chord.arpeggio;
    }
}

// Sets the swing on the drum channel's effect column (and the tempo on the first row), and
// releases every voice on the last row so that the empty pattern is silent.
void add_tempo_and_ending(std::vector<Row>& rows) {
    for (size_t row = 0; row < rows.size(); ++row) {
        XmImageCell& cell = rows[row][drum_channel];
        cell.effect = effect_speed;
        cell.param = row % 2 == 0 ? long_row_speed : short_row_speed;
        if (row + 2 >= rows.size()) cell.param = closing_speed;
    }
    rows[0][bass_channel].effect = effect_speed;
    rows[0][bass_channel].param = song_bpm;
    for (int channel : {bass_channel, lead_channel, chord_channel}) {
        XmImageCell& cell = rows.back()[size_t(channel)];
        cell = XmImageCell{};
        cell.note = key_off;
    }
}

// Renders the sections bar by bar into song rows, checking that each section begins at its
// designed row and that the score fills the composed patterns exactly.
std::vector<Row> render_score(const std::vector<Section>& score) {
    std::vector<Row> rows;
    size_t section_index = 0;
    int lead_held_rows = -1;
    for (const Section& section : score) {
        if (int(rows.size()) != section_start_rows[section_index]) {
            score_error(std::string("section ") + section.name + " starts at row " +
                        std::to_string(rows.size()) + ", not at row " +
                        std::to_string(section_start_rows[section_index]));
        }
        ++section_index;
        for (const Bar& bar : section.bars) {
            const Chord& chord = find_chord(bar.chord);
            size_t first = rows.size();
            size_t length = std::string(bar.drums).size();
            if (length == 0 || length % 2 != 0) score_error("bars need an even number of rows");
            rows.resize(first + length, Row(channel_count));
            render_drums(bar, rows, first);
            render_bass(bar, chord, section.bass_volume, rows, first, length);
            if (std::string(bar.lead).empty()) lead_held_rows = -1;
            render_lead(bar, section.lead_volume, rows, first, length, lead_held_rows);
            render_chords(bar, chord, rows, first, length);
        }
    }
    if (int(rows.size()) != section_start_rows[section_index]) {
        score_error("the score has " + std::to_string(rows.size()) + " rows, not " +
                    std::to_string(composed_rows));
    }
    add_tempo_and_ending(rows);
    return rows;
}

// Cuts the rows into 64-row patterns and adds the empty closing pattern.
std::vector<XmImagePattern> make_patterns(const std::vector<Row>& rows) {
    std::vector<XmImagePattern> patterns;
    for (int p = 0; p < composed_patterns; ++p) {
        XmImagePattern pattern;
        pattern.rows = pattern_rows;
        for (int r = 0; r < pattern_rows; ++r) {
            const Row& row = rows[size_t(p * pattern_rows + r)];
            pattern.cells.insert(pattern.cells.end(), row.begin(), row.end());
        }
        patterns.push_back(std::move(pattern));
    }
    XmImagePattern silence;
    silence.rows = pattern_rows;
    silence.empty_data = true;
    patterns.push_back(silence);
    return patterns;
}

// The whole song: header, patterns in order 0..13 and the eight instruments.
XmImageSong make_song() {
    XmImageSong song;
    song.name = "still going strong";
    song.tracker = "compose_song";
    song.channel_count = channel_count;
    song.flags = 1;  // linear frequency table
    song.tempo = short_row_speed;
    song.bpm = song_bpm;
    song.patterns = make_patterns(render_score(make_score()));
    song.orders.clear();
    for (size_t p = 0; p < song.patterns.size(); ++p)
        song.orders.push_back(uint8_t(p));
    song.instruments = make_instruments();
    if (song.instruments.size() != instrument_count) score_error("instrument count");
    return song;
}

}  // namespace

// Writes the song to the file named by the one argument.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: compose_song OUTPUT.xm\n");
        return 2;
    }
    std::vector<uint8_t> image = write_xm_image(make_song());
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "compose_song: cannot write %s\n", argv[1]);
        return 1;
    }
    bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    written = std::fclose(file) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "compose_song: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
