#pragma once
// A virtual X server of our own per test, with one screen of a chosen size and depth, so each
// test sees exactly the display modes it is about.
#include <string>

#include "bench/support/process.h"

struct XServer {
    ChildProcess process;
    std::string display;  // ":N", empty when the server did not start
};

// Starts Xvfb with one screen ("640x480x16", "1024x768x24") and waits until it takes clients.
// Key auto-repeat is switched off, so a test can hold a key down until its effect shows
// without the server repeating it.
XServer start_x_server(const std::string& screen);
void stop_x_server(XServer& server);

// The environment entry that points a client at the server.
Environment display_environment(const XServer& server);
