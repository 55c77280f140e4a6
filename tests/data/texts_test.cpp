#include "data/texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string bytes_of(const char* text) {
    return std::string(text, std::strlen(text));
}

bool contains_byte(const std::string& text, unsigned char byte) {
    return text.find(char(byte)) != std::string::npos;
}

// Printable single-byte text: ASCII from the blank to the tilde, or Latin-1 letters and signs
// from 0xA0 on (Windows-1252 and Latin-1 agree there).
bool printable(const std::string& text) {
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) return false;
    }
    return true;
}

std::vector<std::string> split_names(const std::string& text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(", ", start);
        names.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 2;
    }
    return names;
}

TEST(Texts, ScrollerIsTheMakersMessageOf194CharactersWithItsNordicLetters) {
    const std::string text = bytes_of(scroller_text);
    EXPECT_EQ(text.size(), 194u);
    EXPECT_EQ(text.rfind("Tirvalex 3", 0), 0u);
    EXPECT_TRUE(contains_byte(text, 0xE5)) << "a-ring";
    EXPECT_TRUE(contains_byte(text, 0xE4)) << "a-umlaut";
    EXPECT_TRUE(contains_byte(text, 0xF6)) << "o-umlaut";
    EXPECT_TRUE(printable(text));
}

TEST(Texts, GreetingsNameThirteenGroupsOneWithAnUUmlaut) {
    const std::string text = bytes_of(greetings_text);
    EXPECT_EQ(text.size(), 152u);
    EXPECT_TRUE(printable(text));
    const std::vector<std::string> names = split_names(text);
    ASSERT_EQ(names.size(), 13u);
    int with_u_umlaut = 0;
    for (const std::string& name : names) {
        EXPECT_FALSE(name.empty());
        EXPECT_NE(name.front(), ' ') << name;
        EXPECT_NE(name.back(), ' ') << name;
        if (contains_byte(name, 0xFC)) ++with_u_umlaut;
    }
    EXPECT_EQ(with_u_umlaut, 1);
}

}  // namespace
