#include "app/keymap.h"

namespace {

// True when virtual_key_of gives every entry of the table its own index: no key code appears
// twice with two indices, and no entry is shadowed by the letters and digits, which the range
// rules map first.
constexpr bool every_entry_is_reached() {
    for (const KeyMapping& mapping : special_key_map) {
        if (virtual_key_of(mapping.keycode) != mapping.virtual_key) return false;
    }
    return true;
}

}  // namespace

// The mapping itself is constexpr in the header; its table is checked here once, at compile
// time, for the whole program.
static_assert(every_entry_is_reached());
