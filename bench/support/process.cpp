#include "bench/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

// The test's environment with the given entries replacing or adding to it.
std::vector<std::string> merged_environment(const Environment& extra) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& [extra_name, value] : extra)
            replaced = replaced || extra_name == name;
        if (!replaced) entries.push_back(text);
    }
    for (const auto& [name, value] : extra)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Spawns with stdin from /dev/null, stdout to `stdout_fd` and stderr to `stderr_fd`.
pid_t spawn(const std::vector<std::string>& arguments, const Environment& environment,
            int stdout_fd, int stderr_fd) {
    std::vector<std::string> argument_texts = arguments;
    std::vector<std::string> environment_texts = merged_environment(environment);
    std::vector<char*> argv = pointers_to(argument_texts);
    std::vector<char*> envp = pointers_to(environment_texts);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, stdout_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, stderr_fd, 2);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

int exit_code_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

void sleep_milliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

double monotonic_seconds() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

int run_command(const std::vector<std::string>& arguments, const Environment& environment,
                std::string* output) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return 127;
    const int null_fd = open("/dev/null", O_WRONLY);
    const pid_t pid = spawn(arguments, environment, pipe_fds[1], null_fd);
    close(pipe_fds[1]);
    close(null_fd);
    std::string collected;
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipe_fds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) collected.append(buffer, static_cast<size_t>(got));
    }
    close(pipe_fds[0]);
    if (output != nullptr) *output = collected;
    if (pid < 0) return 127;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return exit_code_of(status);
}

ChildProcess start_process(const std::vector<std::string>& arguments,
                           const Environment& environment) {
    ChildProcess child;
    char path[] = "/tmp/tirvalex-e2e-XXXXXX";
    const int log_fd = mkstemp(path);
    if (log_fd < 0) return child;
    child.log_path = path;
    child.pid = spawn(arguments, environment, log_fd, log_fd);
    close(log_fd);
    return child;
}

bool process_finished(ChildProcess& child) {
    if (child.finished || child.pid < 0) return true;
    int status = 0;
    const pid_t reaped = waitpid(child.pid, &status, WNOHANG);
    if (reaped != child.pid) return false;
    child.finished = true;
    child.exit_code = exit_code_of(status);
    return true;
}

bool wait_for_process(ChildProcess& child, double bound_seconds) {
    return poll_until([&child] { return process_finished(child); }, bound_seconds);
}

void stop_process(ChildProcess& child) {
    if (child.pid > 0 && !process_finished(child)) {
        kill(child.pid, SIGTERM);
        if (!wait_for_process(child, 10.0)) {
            kill(child.pid, SIGKILL);
            wait_for_process(child, 10.0);
        }
    }
    if (!child.log_path.empty()) unlink(child.log_path.c_str());
    child.log_path.clear();
}

std::string process_log(const ChildProcess& child) {
    if (child.log_path.empty()) return "";
    std::ifstream file(child.log_path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

long process_status_kb(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}
