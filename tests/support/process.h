#pragma once
// Child processes for the tests that run built programs and for the start-up benchmark: a
// command run to its end with its output, a long-running program (an X server, the demo)
// started, polled, waited for and stopped, and what the kernel says of its memory.
#include <sys/types.h>

#include <string>
#include <vector>

// Entries ("NAME=value") set for a child before the caller's own environment, so an entry wins
// over a variable of the same name.
using Environment = std::vector<std::string>;

// What a command run to its end left: its exit code (128 + the signal that ended it, 127 when
// it could not be started) and what it wrote on its standard output and its standard error.
struct CommandResult {
    int exit_code = 127;
    std::string output;
    std::string error;
};

// A program started without waiting. Its standard output and error go to a log file, which
// read_file(log_path) gives so far.
struct ChildProcess {
    pid_t pid = -1;
    int exit_code = -1;  // -1 while it runs; once it has ended, as CommandResult's
    std::string log_path;
};

// The path of a program built with this project.
std::string built_program(const std::string& name);

// Runs a command to its end (its standard input is empty).
CommandResult run_command(const std::vector<std::string>& arguments,
                          const Environment& environment = {});

// Starts a program without waiting; pid is -1 when it cannot be started.
ChildProcess start_process(const std::vector<std::string>& arguments,
                           const Environment& environment = {});

// True once the process has ended (its exit code is then in `child`); does not wait.
bool process_finished(ChildProcess& child);

// How long the helpers wait at most for something that should happen. The bound only keeps a
// broken run from hanging; it is generous and no measure of speed.
constexpr double wait_bound_seconds = 120.0;

// Waits for the process to end; false when it still runs after `bound_seconds`.
bool wait_for_process(ChildProcess& child, double bound_seconds = wait_bound_seconds);

// Ends the process if it still runs (SIGTERM, then SIGKILL), reaps it and removes its log.
void stop_process(ChildProcess& child);

// The bytes of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

// A "Vm...:  1234 kB" field of /proc/PID/status (VmRSS, VmHWM) in kB; -1 when it cannot be read.
long process_status_kb(pid_t pid, const std::string& field);

double monotonic_seconds();
void sleep_milliseconds(int milliseconds);

// Checks `condition` every 50 ms until it holds or `bound_seconds` have passed.
template <typename Condition>
bool poll_until(Condition condition, double bound_seconds = wait_bound_seconds) {
    const double deadline = monotonic_seconds() + bound_seconds;
    while (!condition()) {
        if (monotonic_seconds() > deadline) return false;
        sleep_milliseconds(50);
    }
    return true;
}
