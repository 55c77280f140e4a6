#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

extern "C" char** environ;

namespace {

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Spawns with standard input from /dev/null and the two outputs to the given descriptors. The
// given entries come before the caller's environment: a program reads the first entry of a name.
pid_t spawn(std::vector<std::string> arguments, Environment environment, int output_fd,
            int error_fd) {
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.push_back(*entry);
    std::vector<char*> argv = pointers_to(arguments);
    std::vector<char*> envp = pointers_to(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, error_fd, 2);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed != 0 ? -1 : pid;
}

int exit_code_of(int status) {
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// A fresh file under the temporary folder, open for writing; its path in `path`.
int temporary_file(std::string* path) {
    *path = (std::filesystem::temp_directory_path() / "tirvalex-child-XXXXXX").string();
    return mkstemp(path->data());
}

// Takes the text of a temporary file and removes the file.
std::string take_file(const std::string& path) {
    std::string text = read_file(path);
    unlink(path.c_str());
    return text;
}

}  // namespace

std::string built_program(const std::string& name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

CommandResult run_command(const std::vector<std::string>& arguments,
                          const Environment& environment) {
    CommandResult result;
    std::string output_path;
    std::string error_path;
    const int output_fd = temporary_file(&output_path);
    const int error_fd = temporary_file(&error_path);
    const pid_t pid = spawn(arguments, environment, output_fd, error_fd);
    close(output_fd);
    close(error_fd);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) result.exit_code = exit_code_of(status);
    result.output = take_file(output_path);
    result.error = take_file(error_path);
    return result;
}

ChildProcess start_process(const std::vector<std::string>& arguments,
                           const Environment& environment) {
    ChildProcess child;
    const int log_fd = temporary_file(&child.log_path);
    child.pid = spawn(arguments, environment, log_fd, log_fd);
    close(log_fd);
    return child;
}

bool process_finished(ChildProcess& child) {
    if (child.exit_code >= 0 || child.pid <= 0) return true;
    int status = 0;
    if (waitpid(child.pid, &status, WNOHANG) != child.pid) return false;
    child.exit_code = exit_code_of(status);
    return true;
}

bool wait_for_process(ChildProcess& child, double bound_seconds) {
    return poll_until([&child] { return process_finished(child); }, bound_seconds);
}

void stop_process(ChildProcess& child) {
    constexpr double grace_seconds = 10.0;
    if (!process_finished(child)) {
        kill(child.pid, SIGTERM);
        if (!wait_for_process(child, grace_seconds)) {
            kill(child.pid, SIGKILL);
            wait_for_process(child, grace_seconds);
        }
    }
    unlink(child.log_path.c_str());  // "" when it has none
    child.log_path.clear();
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

long process_status_kb(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

double monotonic_seconds() {
    const auto since_boot = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since_boot).count();
}

void sleep_milliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
