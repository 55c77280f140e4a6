#include "app/keymap.h"

namespace {

// True when no key code appears twice in the table, so every key has exactly one index.
constexpr bool keycodes_are_unique() {
    constexpr int count = sizeof special_key_map / sizeof special_key_map[0];
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            if (special_key_map[i].keycode == special_key_map[j].keycode) return false;
        }
    }
    return true;
}

// True when no table entry shadows a letter or a digit, which the range rules map first.
constexpr bool table_leaves_letters_and_digits_alone() {
    for (const KeyMapping& mapping : special_key_map) {
        if (mapping.keycode >= SDLK_a && mapping.keycode <= SDLK_z) return false;
        if (mapping.keycode >= SDLK_0 && mapping.keycode <= SDLK_9) return false;
        if (mapping.virtual_key == 0) return false;
    }
    return true;
}

}  // namespace

// The mapping itself is constexpr in the header; its table is checked here once, at compile
// time, for the whole program.
static_assert(keycodes_are_unique());
static_assert(table_leaves_letters_and_digits_alone());
