#pragma once

// The two lines scene 4 scrolls, single-byte Windows-1252 text.
// scroller_text: 194 characters; greetings_text: 152 characters.
extern const char scroller_text[];
extern const char greetings_text[];
