#include "app/message_box.h"

#include <cstdio>

Answer message_box(const Platform& platform, const char* text, const char* caption, Buttons buttons,
                   Icon icon) {
    const Answer answer = platform.ask(text, caption, buttons, icon);
    if (answer == Answer::none) {
        std::fprintf(stderr, "%s: %s\n", utf8_from_latin1(caption).c_str(),
                     utf8_from_latin1(text).c_str());
    }
    return answer;
}

std::string utf8_from_latin1(const char* text) {
    std::string utf8;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        if (*c < 0x80) {
            utf8 += static_cast<char>(*c);
        } else {
            utf8 += static_cast<char>(0xC0 | (*c >> 6));
            utf8 += static_cast<char>(0x80 | (*c & 0x3F));
        }
    }
    return utf8;
}
