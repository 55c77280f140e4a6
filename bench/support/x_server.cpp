#include "bench/support/x_server.h"

#include <poll.h>
#include <unistd.h>

#include "bench/support/x_client.h"

namespace {

// Reads the display number Xvfb writes once it is ready; "" when it ends or never answers.
std::string read_display_number(int fd, double bound_seconds) {
    std::string number;
    const double deadline = monotonic_seconds() + bound_seconds;
    while (monotonic_seconds() < deadline) {
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char c;
        if (read(fd, &c, 1) != 1) return "";
        if (c == '\n') return number;
        number += c;
    }
    return "";
}

}  // namespace

XServer start_x_server(const std::string& screen) {
    XServer server;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return server;
    server.process = start_process({"Xvfb", "-displayfd", std::to_string(pipe_fds[1]), "-screen",
                                    "0", screen, "-nolisten", "tcp"},
                                   {});
    close(pipe_fds[1]);
    const std::string number = read_display_number(pipe_fds[0], e2e_wait_seconds);
    close(pipe_fds[0]);
    if (number.empty()) {
        stop_process(server.process);
        return server;
    }
    server.display = ":" + number;
    set_key_repeat(server.display, false);
    return server;
}

void stop_x_server(XServer& server) {
    stop_process(server.process);
    server.display.clear();
}

Environment display_environment(const XServer& server) {
    return {{"DISPLAY", server.display}};
}
