#include "tools/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

bool asks_for_help(const std::string& argument) {
    return argument == "--help" || argument == "-h";
}

void print_usage(const Usage& usage) {
    std::fputs(usage.text, stdout);
    std::exit(exit_done);
}

void fail_usage(const Usage& usage, const std::string& reason) {
    std::fprintf(stderr, "%s: %s\n%s", usage.tool, reason.c_str(), usage.text);
    std::exit(exit_usage);
}

// strtod's reading of a number (leading blanks, an exponent and hexadecimal included), as long
// as it takes the whole text; NaN is never within the bounds.
bool parse_seconds(const std::string& text, double& seconds) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size()) return false;
    if (!(value >= 0 && value <= longest_option_seconds)) return false;
    seconds = value;
    return true;
}

bool parse_whole_number(const std::string& text, long low, long high, long& number) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size()) return false;
    if (value < low || value > high) return false;
    number = value;
    return true;
}

std::string option_value(const Usage& usage, int argc, char** argv, int& k) {
    const std::string option = argv[k];
    if (k + 1 >= argc) fail_usage(usage, option + " needs a value");
    ++k;
    return argv[k];
}

double seconds_option(const Usage& usage, const std::string& option, const std::string& text,
                      bool above_zero) {
    double seconds = 0;
    if (!parse_seconds(text, seconds) || (above_zero && seconds == 0)) {
        const char* range = above_zero ? "above 0, up to " : "from 0 to ";
        fail_usage(usage, option + " takes seconds " + range +
                              std::to_string(std::lround(longest_option_seconds)));
    }
    return seconds;
}

long whole_number_option(const Usage& usage, const std::string& option, const std::string& text,
                         long low, long high) {
    long number = 0;
    if (!parse_whole_number(text, low, high, number)) {
        fail_usage(usage, option + " takes a whole number from " + std::to_string(low) + " to " +
                              std::to_string(high));
    }
    return number;
}
