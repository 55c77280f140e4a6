#pragma once
#include <string>

// The command line of the offline tools (xm_render, show_capture, show_record): their exit
// statuses, one rule for the numbers their options take, and one way to answer --help and to
// refuse a request.

constexpr int exit_done = 0;
constexpr int exit_failure = 1;  // a file not read, loaded or written, or the show not drawn
constexpr int exit_usage = 2;    // a command line the tool refuses

// Every time an option takes lies from 0 to an hour: far past the show's 79 seconds and past
// the 20 minutes at which the renderer stops any song.
constexpr double longest_option_seconds = 3600;

// A tool's name, the first word of each of its messages, and its usage text.
struct Usage {
    const char* tool;
    const char* text;
};

// True for --help and -h.
bool asks_for_help(const std::string& argument);
// The answer to --help: the usage text on standard output, then exit_done.
[[noreturn]] void print_usage(const Usage& usage);
// The refusal: "<tool>: <reason>" on one line, then the usage text, on standard error; then
// exit_usage.
[[noreturn]] void fail_usage(const Usage& usage, const std::string& reason);

// Seconds: the whole text one decimal number from 0 to longest_option_seconds.
bool parse_seconds(const std::string& text, double& seconds);
// A whole number: the whole text one decimal integer from low to high.
bool parse_whole_number(const std::string& text, long low, long high, long& number);

// The value that follows the option at argv[k], k moved onto it; refused as "<option> needs a
// value" when the command line ends first.
std::string option_value(const Usage& usage, int argc, char** argv, int& k);
// The value of `option` as seconds, above 0 when `above_zero`; refused as "<option> takes
// seconds from 0 to 3600" (or "above 0, up to 3600").
double seconds_option(const Usage& usage, const std::string& option, const std::string& text,
                      bool above_zero);
// The value of `option` as a whole number from low to high; refused as "<option> takes a whole
// number from <low> to <high>".
long whole_number_option(const Usage& usage, const std::string& option, const std::string& text,
                         long low, long high);
