#include "data/texts.h"

// The two lines of the tunnel scene, in Windows-1252. Letters beyond ASCII are written as
// hexadecimal escapes, each closing its literal so that the next letter cannot extend it:
// \xE4 a-umlaut, \xE5 a-ring, \xF6 o-umlaut, \xFC u-umlaut.

// The makers' message: 194 characters.
const char scroller_text[] =
    "Tirvalex 3 - still going strong! The K\xE4"
    "rrvitt Lodge sends you swinging tubes and a bending tunnel under fog. Code by Ylv\xE5"
    "na, tune by Sn\xF6"
    "drift, ideas by M\xF6"
    "rkbj\xF6"
    "rn. Stay curious and keep tracking!";

// Greetings to thirteen groups: 152 characters.
const char greetings_text[] =
    "Moonkettle, Bitwhisk, Cobalt Otter, Velvet Quorum, Gr\xFC"
    "nwisper, Fernrider, Polyhedra Nine, Orbwyrm, Haxelbrook, Saltmire, Ninewick, Quietude, "
    "Lanternmoth";
