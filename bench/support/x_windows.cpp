#include "bench/support/x_windows.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

std::string hex_id(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

// One line of `xwininfo -root -tree` for a named window:
//      0x200009 "Tirvalex3": ("tirvalex3" "tirvalex3")  640x480+0+0  +0+0
// The name is quoted; the last field is the absolute position, the one before it the size.
bool parse_tree_line(const std::string& line, XWindow* window) {
    const size_t open_quote = line.find('"');
    const size_t close_quote = line.find("\":");
    if (open_quote == std::string::npos || close_quote == std::string::npos) return false;
    window->id = std::strtoul(line.c_str(), nullptr, 16);
    window->name = line.substr(open_quote + 1, close_quote - open_quote - 1);
    std::istringstream fields(line.substr(line.rfind(')') + 1));
    std::string size, absolute;
    fields >> size >> absolute;
    return window->id != 0 &&
           std::sscanf(size.c_str(), "%dx%d", &window->width, &window->height) == 2 &&
           std::sscanf(absolute.c_str(), "%d%d", &window->x, &window->y) == 2;
}

bool is_viewable(const XServer& server, unsigned long id) {
    std::string info;
    if (run_command({"xwininfo", "-id", hex_id(id)}, display_environment(server), &info) != 0) {
        return false;
    }
    return info.find("Map State: IsViewable") != std::string::npos;
}

bool xdotool(const XServer& server, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run_command(command, display_environment(server)) == 0;
}

}  // namespace

std::vector<XWindow> list_windows(const XServer& server) {
    std::string tree;
    std::vector<XWindow> windows;
    if (run_command({"xwininfo", "-root", "-tree"}, display_environment(server), &tree) != 0) {
        return windows;
    }
    std::istringstream lines(tree);
    std::string line;
    while (std::getline(lines, line)) {
        XWindow window;
        if (parse_tree_line(line, &window)) windows.push_back(window);
    }
    return windows;
}

bool find_window(const XServer& server, const std::string& name, XWindow* window) {
    for (XWindow& candidate : list_windows(server)) {
        if (candidate.name != name || !is_viewable(server, candidate.id)) continue;
        candidate.viewable = true;
        if (window != nullptr) *window = candidate;
        return true;
    }
    return false;
}

bool wait_for_window(const XServer& server, const std::string& name, XWindow* window) {
    return poll_until([&] { return find_window(server, name, window); }, e2e_wait_seconds);
}

bool wait_for_window_gone(const XServer& server, const std::string& name) {
    return poll_until([&] { return !find_window(server, name, nullptr); }, e2e_wait_seconds);
}

bool screen_size(const XServer& server, int* width, int* height) {
    std::string info;
    if (run_command({"xwininfo", "-root"}, display_environment(server), &info) != 0) return false;
    const size_t w = info.find("Width: ");
    const size_t h = info.find("Height: ");
    if (w == std::string::npos || h == std::string::npos) return false;
    *width = std::atoi(info.c_str() + w + 7);
    *height = std::atoi(info.c_str() + h + 8);
    return true;
}

bool focus_window(const XServer& server, const XWindow& window) {
    return xdotool(server, {"windowfocus", "--sync", hex_id(window.id)});
}

bool tap_key(const XServer& server, const XWindow& window, const std::string& key) {
    return focus_window(server, window) && xdotool(server, {"key", key});
}

bool press_key(const XServer& server, const XWindow& window, const std::string& key) {
    return focus_window(server, window) && xdotool(server, {"keydown", key});
}

bool release_key(const XServer& server, const std::string& key) {
    return xdotool(server, {"keyup", key});
}

// No --sync: it waits for a motion that never comes when the pointer is already there. The
// server has moved the pointer by the time xdotool has exited.
bool move_pointer_into(const XServer& server, const XWindow& window, int x, int y) {
    return xdotool(server,
                   {"mousemove", std::to_string(window.x + x), std::to_string(window.y + y)});
}

// One xdotool run, so the server sees the motion before the click on the same connection.
bool click_in_window(const XServer& server, const XWindow& window, int x, int y) {
    return xdotool(server, {"mousemove", std::to_string(window.x + x), std::to_string(window.y + y),
                            "click", "1"});
}

bool answer_first_button(const XServer& server, const XWindow& box) {
    return tap_key(server, box, "Return");
}

// The box centres its row of equal-width buttons under the text and leaves a fixed margin
// below it; the second of two starts a few pixels right of the centre.
bool answer_second_button(const XServer& server, const XWindow& box) {
    return click_in_window(server, box, box.width / 2 + 40, box.height - 28);
}
