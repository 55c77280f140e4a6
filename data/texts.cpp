#include "data/texts.h"

// Placeholder wording until the real texts are written.
const char scroller_text[] = "Tirvalex 3";
const char greetings_text[] = "Greetings";
