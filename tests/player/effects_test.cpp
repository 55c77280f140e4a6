// The row tick and the later ticks of every effect and volume-column command, the envelopes,
// fadeout and auto-vibrato, on small songs written in memory, loaded through the real loader and
// played tick by tick. Each case plays its rows (cells of a row separated by '|', rows by ';') and
// reads one value after every tick; the expected values are worked by hand from the XM rules. C-4
// is real note 48: period 4608 on the linear table. Heard volumes at full envelope, fadeout and
// global volume are v x 255 / 128 (64 -> 127, 40 -> 79).
#include <gtest/gtest.h>

#include <algorithm>

#include "player/effects.h"
#include "tests/player/support/songs.h"
#include "tests/support/song_mix.h"

namespace {

const Probe period = [](const XmModule&) { return int(channels[0].period); };
const Probe offset = [](const XmModule&) { return int(channels[0].period_offset); };
const Probe volume = [](const XmModule&) { return int(channels[0].volume); };
const Probe panning = [](const XmModule&) { return int(channels[0].panning); };
const Probe heard = [](const XmModule&) { return int(channels[0].voice->volume); };
const Probe heard_last = [](const XmModule&) { return int(channels[2].voice->volume); };
const Probe global = [](const XmModule& m) { return int(m.global_volume); };
const Probe trigger = [](const XmModule&) { return channels[0].update_flags & UPDATE_TRIGGER; };
const Probe position = [](const XmModule&) {
    return int(channels[0].voice->position + channels[0].voice->position_frac);
};
const Probe handed = [](const XmModule&) {  // the slot, the twin's index, the first voice's gains
    return int((channels[0].voice - voices) * 100000 + voices[32].index * 1000 + voices[0].volume +
               voices[0].left_volume + voices[0].right_volume);
};
const Probe vibrato_at = [](const XmModule&) { return int(channels[0].vibrato_position); };
const Probe tremolo_at = [](const XmModule&) { return int(channels[0].tremolo_position); };
const Probe frames = [](const XmModule& m) { return int(m.samples_per_tick); };
const Probe env = [](const XmModule&) { return int(channels[0].volume_env_value); };
const Probe heard_panning = [](const XmModule&) { return int(channels[0].voice->panning); };
const Probe heard_step = [](const XmModule&) { return int(channels[0].voice->step_frac >> 20); };
const Probe fadeout = [](const XmModule&) { return int(channels[0].fadeout_volume); };

// A name, the rows, the speed, the probe and its value after each tick; for instrument 1 its volume
// envelope "type sustain loop-start loop-end x y x y ..." (type bits: 1 on, 2 sustain, 4 loop),
// auto-vibrato "type sweep depth rate" and panning envelope; and the frequency table.
struct TickCase {
    const char* name;
    const char* rows;
    int speed;
    Probe probe;
    const char* after_each_tick;
    const char* volume_envelope = "0 0 0 0";
    const char* vibrato = "0 0 0 0";
    const char* panning_envelope = "0 0 0 0";
    uint16_t flags = 1;  // linear table
};

XmImageEnvelope envelope(const char* text) {
    const std::vector<int> n = numbers(text);
    XmImageEnvelope made{{}, 0xFF, uint8_t(n[1]), uint8_t(n[2]), uint8_t(n[3]), uint8_t(n[0])};
    for (size_t i = 4; i + 1 < n.size(); i += 2)
        made.points.emplace_back(uint16_t(n[i]), uint16_t(n[i + 1]));
    return made;
}

// Instrument 1: volume 64, panning 128, fadeout 16384 in the file (the loader doubles it) and the
// case's settings. 2: volume 40, panning 64, every note but C-4 mapped to sample slot 16. 3:
// volume 20, panning 200, relative note +12. 4: its loop from frame 1024 to 2048. 5: volume 65,
// panning 0.
std::vector<XmImageInstrument> instruments(const TickCase& c) {
    XmImageInstrument first = looped_instrument();
    const std::vector<int> v = numbers(c.vibrato);
    first.vibrato_type = uint8_t(v[0]);
    first.vibrato_sweep = uint8_t(v[1]);
    first.vibrato_depth = uint8_t(v[2]);
    first.vibrato_rate = uint8_t(v[3]);
    first.volume_envelope = envelope(c.volume_envelope);
    first.fadeout = 16384;
    first.panning_envelope = envelope(c.panning_envelope);
    XmImageInstrument second = looped_instrument(40, 64);
    second.note_samples.assign(96, 16);
    second.note_samples[48] = 0;  // no sample but for C-4
    XmImageInstrument fourth = looped_instrument();
    fourth.samples[0].loop_start = 1024;
    fourth.samples[0].loop_length = 1024;
    return {first, second, looped_instrument(20, 200, 12), fourth, looped_instrument(65, 0)};
}

const TickCase cases[] = {
    // The row tick plays the plain note, then +4, +7, 0 semitones of 64; 001 plays +0, +1. As
    // heard, in 4096ths of a frame at 44100 Hz: 8363 Hz x 2^(n/12) for n = 0, 4, 7, 1 is 776,
    // 978, 1163, 822.
    {"ArpeggioOnLinearTable", "C-4 01 .. 047; 001", 4, heard_step,
     "776 978 1163 776 776 776 822 776"},
    // Amiga table: periods of notes 52 and 55 (1358, 1142) less that of note 48 (1712).
    {"ArpeggioOnAmigaTable", "C-4 01 .. 047", 3, offset, "0 -354 -570", "0 0 0 0", "0 0 0 0",
     "0 0 0 0", 0},
    // 4 x FF = 1020 down per later tick, 100 repeats FF, and no lower than 56.
    {"PortamentoUpKeepsMemoryAndLimit", "C-4 01 .. 1FF; 100; 100", 3, period,
     "4608 3588 2568 2568 1548 528 528 56 56"},
    {"PortamentoDown", "C-4 01 .. 2FF; 200", 2, period, "4608 5628 5628 6648"},
    // A slide drops the column's vibrato of its tick (depth 8, speed 4 from A4: -24 and -44
    // at positions 4 and 8 otherwise).
    {"ColumnVibratoDroppedBySlide", "C-4 01 A4; ... .. B8 101; ... .. B8 201", 3, offset,
     "0 0 0 0 0 0 0 0 0"},
    // Once at the row tick, 4 x y; y = 0 repeats the memory of its own direction.
    {"FinePortamentoMemories", "C-4 01 .. E13; E10; E22; E20", 2, period,
     "4596 4596 4584 4584 4592 4592 4600 4600"},
    // Once at the row tick, y; X3y does nothing.
    {"ExtraFinePortamento", "C-4 01 .. X15; X10; X27; X20; X31", 1, period,
     "4603 4598 4605 4612 4612"},
    // E-4 (real note 52) is 4352; 4 x 10 = 64 a later tick, 300 keeps the speed, not past.
    {"TonePortamentoStopsAtTarget", "C-4 01; E-4 .. .. 310; 300", 3, period,
     "4608 4608 4608 4608 4544 4480 4480 4416 4352"},
    // Column F1 aims up at 16 x 1 x 4 = 64 a tick; F0 keeps the speed, and its row's note is
    // the target it already had.
    {"ColumnTonePortamento", "E-4 01; C-4 .. F1 ...; C-4 .. F0 ...", 3, period,
     "4352 4352 4352 4352 4416 4480 4480 4544 4608"},
    // 5xy slides towards its own row's note at the last 3xx speed, its volume by the memory.
    {"TonePortamentoVolumeSlidePitch", "C-4 01; 310; E-4 .. .. 502", 3, period,
     "4608 4608 4608 4608 4608 4608 4608 4544 4480"},
    {"TonePortamentoVolumeSlideVolume", "C-4 01; 310; E-4 .. .. 502; 500", 3, volume,
     "64 64 64 64 64 64 64 62 60 60 58 56"},
    // Portamento rows start no note.
    {"PortamentoRowsStartNoNote", "C-4 01; E-4 .. .. 310; C-4 .. F1 ...; C-4 .. .. 501; C-4", 1,
     trigger, "8 0 0 0 8"},
    // The instrument number of a portamento row restarts the old sample (volume 40), and the
    // target is D-4 with the old sample's relative note: real note 50, 4480.
    {"PortamentoInstrumentRestartsOldSample", "C-4 02; C10; D-4 03 .. 310", 2, volume,
     "40 40 16 16 40 40"},
    {"PortamentoTargetUsesOldRelativeNote", "C-4 02; D-4 03 .. 310", 3, period,
     "4608 4608 4608 4608 4544 4480"},
    // Square 255 x 8 >> 5 = 63 -> 60: position 0 counts as the first half (-60); 400 keeps
    // speed 15 and depth 8: positions 30, 30, -19.
    {"SquareVibrato", "C-4 01 .. E42; 4F8; 400", 3, offset, "0 0 0 -60 -60 -60 -60 -60 60"},
    // Ramp at positions 0, 0, 8, 16, 24, -32 (32 wraps): 0, 0, 64, 128, 192, 255 >> 2.
    {"RampVibrato", "C-4 01 .. E41; 488", 6, offset, "0 0 0 0 0 0 0 0 -16 -32 -48 60"},
    // Column B8 and 443 both run on later ticks: positions 0 and 4, then 8 and 12, at the
    // column's depth 8, which it sets again on each of them over 443's 3.
    {"ColumnAndEffectVibratoBothRun", "C-4 01 B8 443", 3, offset, "0 -24 -56"},
    // Column A4 sets the speed the 408 vibrato then uses: position 4 on tick 2.
    {"ColumnVibratoSpeedFeedsEffect", "C-4 01 A4 408", 3, offset, "0 0 -24"},
    // 6xy runs the vibrato on: sine at 15 (254), 30 (49), -19 (244) x 8 >> 5.
    {"VibratoVolumeSlidePitch", "C-4 01 .. 4F8; 601", 3, offset, "0 0 -60 -12 -12 60"},
    {"VibratoVolumeSlideVolume", "C-4 01 .. 602; 600", 3, heard,
     "127 123 119 119 115 111"},  // 64 62 60 60 58 56, as heard: it slides by the memory
    // Auto-vibrato at depth 8: the wave at positions 0, 64, 128, 192, 0, 64 (rate 64; 256
    // wraps) x 8 >> 6: sine 0, 63, 0, -63; square 64, 64, -64, -64; type 4 has no wave, even at
    // depth 64, where a wave of 1 would show. A sweep of 4 fades the depth in over 4 ticks (512
    // x ticks / 4 >> 6); an instrument start restarts the sweep and the position.
    {"AutoVibratoSine", "C-4 01", 6, offset, "0 7 0 -8 0 7", "0 0 0 0", "0 0 8 64"},
    // The square wave's offsets as heard at depth 64: 64 x 64 >> 6 = 64/768 octave, a semitone.
    // C-4 (8363 Hz) a semitone up and down plays 8860 and 7894 Hz, steps of 822 and 733 4096ths
    // of a frame at 44100 Hz.
    {"AutoVibratoSquare", "C-4 01", 6, heard_step, "822 822 733 733 822 822", "0 0 0 0",
     "1 0 64 64"},
    // The ramps at depth 64, where the offset is the wave itself, and rate 65, so that odd
    // positions show the halving: at 0, 65, 130, 195, 4, 69 the ramp down is (128 - (q + 128)
    // mod 256) >> 1 and the ramp up (128 - (384 - q) mod 256) >> 1, rounded down.
    {"AutoVibratoRampDown", "C-4 01", 6, offset, "0 -33 63 30 -2 -35", "0 0 0 0", "2 0 64 65"},
    {"AutoVibratoRampUp", "C-4 01", 6, offset, "0 32 -63 -31 2 34", "0 0 0 0", "3 0 64 65"},
    {"AutoVibratoTypeFourHasNoWave", "C-4 01", 6, offset, "0 0 0 0 0 0", "0 0 0 0", "4 0 64 64"},
    {"AutoVibratoSweep", "C-4 01", 6, offset, "0 2 4 6 8 8", "0 0 0 0", "1 4 8 0"},
    {"AutoVibratoRestartsWithInstrument", "C-4 01; C-4 01", 3, offset, "0 4 -8 0 4 -8", "0 0 0 0",
     "1 2 8 64"},
    // Positions restart at an instrument start unless the waveform nibble is 4 or more. From 30
    // at speed 1: 31, the last position, then 32 wraps to -32.
    {"VibratoPositionRestart", "C-4 01 .. 4F8; C-4 01; E44; 4F8; C-4 01; 418", 3, vibrato_at,
     "0 15 30 0 0 0 0 0 0 0 15 30 30 30 30 30 31 -32"},
    {"TremoloPositionRestart", "C-4 01 .. 7F8; C-4 01; E74; 7F8; C-4 01", 3, tremolo_at,
     "0 15 30 0 0 0 0 0 0 0 15 30 30 30 30"},
    // Volume 40; sine at 4 gives 97 x 8 >> 6 = 12 (52: 103), which stays after the tremolo.
    {"TremoloStaysAfterward", "C-4 02 .. 748; ... .. .. ...", 3, heard, "79 79 103 103 103 103"},
    // From volume 10 at depth 15, positions 0, 0, 15, 30, -19: sine 0, 0, 254, 49, 244 x 15
    // >> 6 = 0, 0, 59, 11, 57, kept within 0..64: volumes 10, 10, 64, 21, 0. The second
    // channel's G20 halves what is heard from tick 1 on (127 x 64 / 128 = 63.5: 63).
    {"TremoloLimitsVolume", "C-4 01 1A 7FF | ... .. .. G20", 5, heard, "19 9 63 20 0"},
    // E72: square, 255 x 1 >> 6 = 3 from position 0 (43: 85); depth 1 is a depth, not none.
    {"SquareTremolo", "C-4 02 .. E72; 711", 2, heard, "79 79 79 85"},
    // T12: 2 ticks heard, 3 silent, counted on through the rows; T00 keeps the counts; an
    // instrument start restarts the cycle; with no Txy yet both counts are 0: silent.
    {"TremorCycle", "C-4 01 .. T12; T00", 8, heard,
     "127 127 0 0 0 127 127 0 0 0 127 127 0 0 0 127"},
    {"TremorRestartAndMemory", "C-4 01 .. T00; C-4 01 .. T12; C-4 01 .. T00", 3, heard,
     "0 0 0 127 127 0 127 127 0"},
    // Retriggers: E93 on tick 3 only (tick 0 is the note's own start), E90 never, R40 never
    // (interval 0), R01 every later tick, R00 repeats R12.
    {"NoteRetrigger", "C-4 01 .. E93; C-4 01 .. E90", 6, trigger, "8 0 0 8 0 0 8 0 0 0 0 0"},
    {"MultiRetriggerInterval", "C-4 01 .. R40; C-4 01 .. R01", 6, trigger,
     "8 0 0 0 0 0 8 8 8 8 8 8"},
    {"MultiRetriggerMemory", "C-4 01 .. R12; R00", 6, trigger, "8 0 8 0 8 0 0 0 8 0 8 0"},
    // EC3 cuts on tick 3, EC0 never; the cut's tick 5 exists only through channel 1's EE2.
    {"NoteCut", "C-4 01 .. EC3; C-4 01 .. EC0", 6, volume, "64 64 64 0 0 0 64 64 64 64 64 64"},
    {"NoteCutOnExtraTick", "C-4 01 .. EC5 | EE2", 2, volume, "64 64 64 64 64 0"},
    // ED2 starts the note on tick 2 with its volume column (16: 31); ED0 and ED7 never; until
    // its tick the delayed note leaves the volume it found.
    {"NoteDelayWithVolumeColumn", "C-4 01 20 ED2", 6, heard, "0 0 31 31 31 31"},
    {"NoteDelayNeverFires", "C-4 01 .. ED0; C-4 01 .. ED7", 6, heard, "0 0 0 0 0 0 0 0 0 0 0 0"},
    {"DelayedNoteKeepsVolumeUntilItsTick", "C-4 01; C-4 02 .. ED1", 2, volume, "64 64 64 40"},
    {"DelayedNoteKeepsPanningUntilItsTick", "C-4 01; C-4 03 .. ED1", 2, panning, "128 128 128 200"},
    {"DelayedNoteKeepsPeriodUntilItsTick", "C-4 01; E-4 01 .. ED1", 2, period,
     "4608 4608 4608 4352"},
    {"DelayedNoteTriggersOnItsTick", "C-4 01 .. ED1", 2, trigger, "0 8"},
    // A, 5 and 6 share one memory; up wins over down; limits 0 and 64; the column's 6y and 7y
    // slide on every tick, 8y and 9y at the row tick only; 0x10..0x50 set v - 16.
    {"VolumeSlidesShareMemory",
     "C-4 02 .. A02; A00; A30; 600; ... .. 62 ...; ... .. 93 ...;"
     "A11; AF0; ... .. 74 ...; ... .. 95 ...; A0F; ... .. 85 ...;"
     "... .. 6F ...; ... .. 83 ...; ... .. 50 ...; ... .. 10 ...",
     3, volume,
     "40 38 36 36 34 32 32 35 38 38 41 44 42 40 38 41 41 41 41 42 43 43 58 64 64 64 64 64 64 64 "
     "64 49 34 29 29 29 14 0 0 0 0 0 64 64 64 0 0 0"},
    // EAy and EBy share one memory, within 0..64; Cxx sets at most 64.
    {"FineVolumeSlidesAndSetVolume",
     "C-4 02 .. EA3; EA0; EB0; EB5; EAF; EAF; EBF; EBF; EBF; EBF; EBF; C20; C7F", 1, volume,
     "43 46 43 38 53 64 49 34 19 4 0 32 64"},
    // H0F: 15 down per later tick; H00 repeats; G at most 64; H within 0..64.
    {"GlobalVolume", "H0F; H00; G50; H20; G05; H0F; H20", 2, global,
     "64 49 49 34 64 64 64 64 5 5 5 0 0 2"},
    // Channel 0 hears the G20 it sets before its voice update: 16 x 32 x 255 / 8192 = 15; then
    // C7F under the old 32 (63), since the G50 comes later in the row, which the channel after
    // it hears at once (127).
    {"GlobalVolumeHeardBeforeUpdate", "C-4 01 20 G20 | C-4 01 | C-4 01; C7F | G50", 1, heard,
     "15 63"},
    {"GlobalVolumeHeardByLaterChannel", "C-4 01 20 G20 | C-4 01 | C-4 01; C7F | G50", 1, heard_last,
     "63 127"},
    // 8xx, Pxy within 0..255 with its memory, column Cy, Dy and Ey (no limit), E8y.
    {"PanningEffects",
     "C-4 01 .. 8F0; PF0; P0A; P00; ... .. E3 ...; ... .. D5 ...;"
     "... .. C4 ...; E8F; 805; P0F; ... .. D3 ...",
     3, panning,
     "240 240 240 240 255 255 255 245 235 235 225 215 218 221 224 219 214 209 64 64 64 240 240 "
     "240 5 5 5 5 0 0 -3 -6 -9"},
    // The voice takes each new panning on its tick: D5 and E5 move it 5 a tick from 128; E84,
    // column C8 and 8F0 set 64, 128 and 240 on the row tick.
    {"PanningChangesAreHeard", "C-4 01; ... .. D5 ...; ... .. E5 ...; E84; ... .. C8 ...; 8F0", 3,
     heard_panning, "128 128 128 123 118 113 118 123 128 64 64 64 128 128 128 240 240 240"},
    // 904 starts at 1024; 900 repeats it on the twin voice; 920 (8192) lies beyond the
    // 4096-frame loop: no note start, the playing sample rewinds; 902 waits for the next; a
    // note without an offset starts at 0.
    {"SampleOffset", "C-4 01 .. 904; C-4 .. .. 900; C-4 .. .. 920; 902; C-4; C-4", 1, position,
     "1024 1024 0 0 512 0"},
    // An offset waiting for the next note is held against that note's sample. Instrument 4 loops
    // from 1024 to 2048 in 4096 frames: 908 (2048) waits under instrument 1 (loop end 4096) but
    // lies at instrument 4's loop end, so its note starts at 0; 907 (1792) waits under
    // instrument 4, and instrument 1's note starts there.
    {"WaitingOffsetAtTheNextSamplesLoopEnd", "C-4 01; 908; C-4 04; 907; C-4 01", 1, position,
     "0 0 0 0 1792"},
    // A note start on a sounding voice moves to its twin, which keeps its own index, and silences
    // the voice it took over (127 + 63 + 63 before); an instrument alone does not move.
    {"NoteStartMovesToTwinVoice", "C-4 01; C-4 01; ... 01; C-4 01", 1, handed,
     "32253 3232000 3232000 32253"},
    // A note-to-sample entry of 16 plays the empty sample: silent. So does instrument 6 of 5.
    {"EmptySampleSlotAndInstrumentPastTheLastAreSilent", "C-4 02; C-5 02; C-4 01; C-4 06", 1, heard,
     "79 0 127 0"},
    // Instrument 5's sample volume of 65 (no well-formed file has one) plays as 64; its
    // panning of 0 stays 0.
    {"SampleVolumeAbove64PlaysAs64", "C-4 05", 1, volume, "64"},
    {"SamplePanningZeroStaysZero", "C-4 05", 1, panning, "0"},
    // No instrument yet: silent. A key-off or Kxx without volume envelope cuts at once, a note
    // without instrument stays released, an instrument starts it again. Instrument 2, without
    // a fadeout, is cut as well.
    {"KeyOffAndKeyOffEffect", "C-4; C-4 01; ===; C-4; C-4 01; K00; C-4 02; ===", 1, heard,
     "0 127 0 0 127 0 79 0"},
    // E58 changes later notes of the sample: 7680 - 3072 - 8 / 2, then 15 / 2.
    {"SetFinetune", "C-4 01 .. E58; C-4 01; C-4 01 .. E5F; C-4 01", 1, period,
     "4608 4604 4604 4601"},
    // F20 is a tempo (2.5 x 44100 / 32 = 3445 frames a tick), F7D 125 BPM, F1F a speed.
    {"TempoAndSpeed", "F20; F7D; F1F", 1, frames, "3445 882 882"},
    // Rxy with y = 1 from volume 40, by x: -1 -2 -4 -8 -16, x 2/3, / 2, kept, +1 +2 +4 +8 +16,
    // x 3/2, x 2 (80, limited to 64).
    {"MultiRetriggerVolumeChanges",
     "C-4 02 .. R11; C-4 02 .. R21; C-4 02 .. R31; C-4 02 .. R41; C-4 02 .. R51; C-4 02 .. R61;"
     "C-4 02 .. R71; C-4 02 .. R81; C-4 02 .. R91; C-4 02 .. RA1; C-4 02 .. RB1; C-4 02 .. RC1;"
     "C-4 02 .. RD1; C-4 02 .. RE1; C-4 02 .. RF1",
     2, volume,
     "40 39 40 38 40 36 40 32 40 24 40 26 40 20 40 40 40 41 40 42 40 44 40 48 40 56 40 60 40 64"},
    {"MultiRetriggerDoublesBelowLimit", "C-4 03 .. RF1", 2, volume,
     "20 40"},  // x 2 below the limit
    // Envelopes. 64 to 0 over 10 ticks steps by -4194304 / 10 = -419430 a tick: 64, 57, 51, 44,
    // 38, 32, 25, 19, 12, 6, 0, then the last point, a sustain point, holds its own value.
    {"VolumeEnvelopeLinearSteps", "C-4 01", 16, env, "64 57 51 44 38 32 25 19 12 6 0 0 0",
     "3 1 0 0 0 64 10 0 20 64"},
    // Held at the sustain point until the key-off row; a note without instrument lets the
    // release run on.
    {"VolumeEnvelopeSustainUntilKeyOff", "C-4 01; ===; C-4; ...", 4, env,
     "64 64 64 64 64 57 51 44 38 32 25 19 12 6 0 0", "3 0 0 0 0 64 10 0"},
    // After key-off the fadeout falls by twice the file's 16384 a tick, down to 0.
    {"FadeoutAfterKeyOff", "C-4 01; ===; C-4", 2, fadeout, "65536 65536 32768 0 0 0",
     "1 0 0 0 0 64 10 0"},
    // 8 a tick up to 32 and down again; the loop end is the last point: never done. A sustain
    // point on the loop end, with the loop starting elsewhere, never holds.
    {"VolumeEnvelopeLoop", "C-4 01", 31, env, "0 8 16 24 32 24 16 8 0 8 16 24 32 24 16 8 0 8",
     "5 0 0 2 0 0 4 32 8 0"},
    {"SustainOnLoopEndNeverHolds", "C-4 01", 31, env, "0 8 16 24 32 24 16 8 32 24 16 8 32 24 16 8",
     "7 2 1 2 0 0 4 32 8 0"},
    // An instrument start puts a done envelope back at its first point and tick 0.
    {"InstrumentRestartsEnvelope", "C-4 01; C-4 01", 4, env, "64 32 0 0 64 32 0 0",
     "1 0 0 0 0 64 2 0"},
    // A first point at tick 2: until then the accumulator stands (0 at first, then the 56 it
    // held), since the start clears the step; -524288 a tick after tick 2.
    {"LateFirstPointHoldsAccumulator", "C-4 01; C-4 01", 4, env, "0 0 64 56 56 56 64 56",
     "1 0 0 0 2 64 10 0"},
    // The same with a step of -1 (1 down over 65534 ticks): the held 65535 stays below 1.
    {"TinyEnvelopeStep", "C-4 01; C-4 01", 3, env, "0 1 0 0 1 0", "1 0 0 0 1 1 65535 0"},
    // Panning 128 + 4 x (value - 32): 32, 48, 64 (done), again after the restart.
    {"PanningEnvelope", "C-4 01; C-4 01", 4, heard_panning, "128 192 255 255 128 192 255 255",
     "0 0 0 0", "0 0 0 0", "1 0 0 0 0 32 2 64"},
    // The panning envelope's step is cleared by the start as well: 32 to 0 from tick 2 is -4 a
    // tick (128 + 4 x (28 - 32) = 112), and the restart stands at 112 until tick 2 again.
    {"PanningEnvelopeStepCleared", "C-4 01; C-4 01", 4, heard_panning,
     "0 0 128 112 112 112 128 112", "0 0 0 0", "0 0 0 0", "1 0 0 0 2 32 10 0"},
    // L05: 4194304 - 5 x 419430 = 2097154 (32), then on from tick 5; L20 lies past the last
    // point: its value, done. L0C in the second segment (0 to 64 over 10): 2 x 419430 (12).
    // Without a volume envelope nothing moves.
    {"EnvelopePositionSet", "C-4 01 .. L05; L20", 3, env, "32 25 19 0 0 0", "1 0 0 0 0 64 10 0"},
    // L0A, at the point that ends the first segment: in that segment, 4194304 - 10 x 419430 = 4
    // (0); the next tick reaches the point and starts the rise from 0.
    {"EnvelopePositionAtSegmentEnd", "C-4 01 .. L0C; L0A", 2, env, "12 19 0 0",
     "1 0 0 0 0 64 10 0 20 64"},
    {"EnvelopePositionWithoutEnvelope", "C-4 01 .. L05", 3, env, "64 64 64"},
    // A done envelope stops recomputing the volume: the H08 slide of channel 1 (after it in
    // the row, 8 a later tick) reaches channel 0 only at the next row tick: 40 x 255 / 128.
    {"DoneEnvelopeStopsRecomputing", "C-4 01 | H08", 4, heard, "127 127 127 127 79",
     "1 0 0 0 0 64 1 64"},
    // An envelope holding at its sustain point recomputes the volume every tick: it hears the
    // H08 of the channel after it one tick later (56: 111, 48: 95).
    {"SustainedEnvelopeRecomputes", "C-4 01 | H08", 4, heard, "127 127 111 95",
     "3 0 0 0 0 64 10 0"},
    // A point is reached only on the tick equal to its x. Points sharing x 4: -8 a tick to 32 at
    // tick 4, which starts the flat segment to the second x-4 point, a tick already passed: 32
    // for good. Sharing x 0: the flat segment from 64 starts at tick 0 and holds.
    {"PointsSharingTick", "C-4 01", 16, env, "64 56 48 40 32 32 32 32 32 32 32",
     "1 0 0 0 0 64 4 32 4 0 8 0"},
    {"PointsSharingTickZero", "C-4 01", 16, env, "64 64 64 64 64 64", "1 0 0 0 0 64 0 16 10 0"},
    // A value above 64 plays as 64: 64 down to 32 over 4 ticks. A point behind the one before it
    // (x 2 after x 4) is never reached: the segment to it climbs 16 a tick, held at 64.
    {"EnvelopeValueAboveLimit", "C-4 01", 8, env, "64 56 48 40 32 48 64 64",
     "1 0 0 0 0 200 4 32 2 0"},
};

void PrintTo(const TickCase& c, std::ostream* out) {
    *out << c.name;
}

class Effect : public ::testing::TestWithParam<TickCase> {};

TEST_P(Effect, GivesItsValueOnEveryTick) {
    const TickCase& c = GetParam();
    SongHandle song = start_song_image(pattern_song(c.rows, c.speed, instruments(c), c.flags));
    ASSERT_TRUE(song);
    const std::vector<int> expected = numbers(c.after_each_tick);
    EXPECT_EQ(probe_ticks(song.get(), int(expected.size()), c.probe), expected) << c.rows;
}

INSTANTIATE_TEST_SUITE_P(Effects, Effect, ::testing::ValuesIn(cases),
                         ::testing::PrintToStringParamName());

// An effect number past Z (36 and up: the loader passes the file's byte through) does
// nothing: here the A0F it replaces would slide the volume down.
TEST(Effects, NumbersPastZDoNothing) {
    SongHandle song = start_song_image(pattern_song("C-4 01 .. A0F", 3, {looped_instrument()}));
    ASSERT_TRUE(song);
    song->patterns[0].cells[0].effect = 36;
    EXPECT_EQ(probe_ticks(song.get(), 3, volume), numbers("64 64 64"));
}

// The waveform values w(p): sine |sin(2 x pi/64 x p)| x 256 truncated, ramp 8 k or 255 - 8 k
// with k = p mod 32, square 255.
TEST(Effects, WaveformsGiveTheFormatsValues) {
    const std::vector<int> c = numbers(  // wave, position, value
        "0 0 0  0 -32 0  0 1 25  0 8 181  0 -8 181  0 16 255  0 -16 255  1 0 0  1 5 40  1 31 248  "
        "1 -1 7  1 -32 255  2 3 255  2 -20 255");
    for (size_t i = 0; i < c.size(); i += 3)
        EXPECT_EQ(waveform_value(c[i], c[i + 1]), c[i + 2]) << c[i] << " " << c[i + 1];
}

// Each heard block holds its own sound, also once the ring has gone round and a block is mixed
// again. The note sounds on row 0 and is set to volume 0 on row 1 (6 ticks of 882 frames, in
// ring block 5; its 128-frame ramp out ends in block 6, at frame 5420); rows 2 to 63 are empty.
// Blocks 7, 99 and 100 are silent, 100 reusing ring block 0, which held the note. At the start
// the ring holds blocks 0 to 99 and no other; a still of the clock holds none.
TEST(Ring, EachHeardBlockHoldsItsOwnSound) {
    const XmImageSong song{.channel_count = 1,
                           .patterns = {pattern_of("C-4 01 .. ...;C00", 64)},
                           .instruments = {looped_instrument()}};
    SongHandle started = start_song_image(song);
    ASSERT_TRUE(start_song_offline(started.get(), 44100));
    EXPECT_NE(heard_block_pcm(99), nullptr) << "the ring's last block";
    EXPECT_EQ(heard_block_pcm(100), nullptr) << "a block a ring ahead";
    play_offline_until(5);
    hold_song_clock(1234, 7);
    EXPECT_EQ(song_clock_ms(playing_song()), 1234u) << "a still's clock";
    EXPECT_EQ(song_clock_row(playing_song()), 7u) << "a still's clock";
    play_offline_until(8);
    EXPECT_EQ(heard_block_pcm(8), nullptr) << "a block played on in a still";
    started.reset();
    const long values = 2 * 884;  // a block: 20 ms at 44100 Hz, rounded up to 4 frames
    const std::vector<int16_t> pcm = mix_song(write_xm_image(song), 101 * 884).pcm;
    ASSERT_EQ(pcm.size(), size_t(101 * values));
    for (auto [block, sounding] :
         {std::pair{0, true}, {6, true}, {7, false}, {99, false}, {100, false}}) {
        const auto first = pcm.begin() + block * values;
        EXPECT_EQ(std::any_of(first, first + values, [](int16_t v) { return v != 0; }), sounding)
            << "block " << block;
    }
}

}  // namespace
