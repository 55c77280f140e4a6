#pragma once
// Child processes for end-to-end tests: helper commands run to completion with their output,
// and long-running programs (the X server, the demo) started, waited for and stopped.
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// Extra environment entries for a child, on top of the test's own environment.
using Environment = std::vector<std::pair<std::string, std::string>>;

struct ChildProcess {
    pid_t pid = -1;
    bool finished = false;
    int exit_code = -1;    // the exit status, or 128 + signal when it was killed
    std::string log_path;  // where the child's stdout and stderr went ("" when discarded)
};

// Runs a command to its end and returns its exit code (127 when it cannot be started).
// Standard output goes into `output` when given; standard error is discarded.
int run_command(const std::vector<std::string>& arguments, const Environment& environment,
                std::string* output = nullptr);

// Starts a program without waiting. Its stdout and stderr go to a fresh file under /tmp.
ChildProcess start_process(const std::vector<std::string>& arguments,
                           const Environment& environment);

// True once the process has ended (its exit code is then in `child`); checks without waiting.
bool process_finished(ChildProcess& child);

// Waits up to `bound_seconds` for the process to end; false when it is still running.
bool wait_for_process(ChildProcess& child, double bound_seconds);

// Ends the process if it still runs (SIGTERM, then SIGKILL), reaps it and removes its log.
void stop_process(ChildProcess& child);

// The child's log so far, for failure messages.
std::string process_log(const ChildProcess& child);

// Polls `condition` every 50 ms until it holds or `bound_seconds` have passed. The bound only
// keeps a broken run from hanging; it is generous and not a measure of speed.
template <typename Condition>
bool poll_until(Condition condition, double bound_seconds);

// How long end-to-end helpers wait for something that should happen, at most.
constexpr double e2e_wait_seconds = 120.0;

void sleep_milliseconds(int milliseconds);
double monotonic_seconds();

template <typename Condition>
bool poll_until(Condition condition, double bound_seconds) {
    const double deadline = monotonic_seconds() + bound_seconds;
    while (true) {
        if (condition()) return true;
        if (monotonic_seconds() > deadline) return false;
        sleep_milliseconds(50);
    }
}

// A "Vm...:  1234 kB" field of /proc/PID/status (VmRSS, VmHWM, ...) in kB; -1 when it cannot be
// read.
long process_status_kb(pid_t pid, const std::string& field);
