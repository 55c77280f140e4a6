#pragma once
#include <cstdint>
#include <vector>

// The system the shell runs on, as one record of operations: a window with a GL context, its
// events, the frames it presents, the display's modes and the questions put to the user. The
// desktop's record drives SDL (app/sdl_platform.h); a page's record drives the browser. The
// record holds one window at a time.

// A display mode: its size, the bits a pixel is stored in and its refresh rate (0: any).
struct DisplayMode {
    int width;
    int height;
    int bits_per_pixel;
    int refresh_hz;
};

struct DisplayModes {
    std::vector<DisplayMode> modes;
    DisplayMode desktop;
};

// The window the shell asks for. Full screen takes `display_mode`; a window in a window's
// frame can be resized by the user. The GL context draws to a double-buffered RGBA surface of
// `colour_bits` (16: 5, 6 and 5 bits of red, green and blue; the closest the driver grants is
// taken) with a depth buffer of `depth_bits`.
struct WindowRequest {
    bool full_screen;
    int width;  // the client area, in pixels
    int height;
    const char* title;  // Latin-1
    int colour_bits;
    int depth_bits;
    DisplayMode display_mode;  // full screen only
};

// The steps of opening a window, in the order the platform takes them; an open that fails
// names the step that failed and leaves what it built for close_window.
enum class OpenStep : uint8_t {
    opened,        // every step worked: the window is shown, its context current
    video,         // the video system did not start
    display_mode,  // the display did not take the mode; nothing of the window is left
    buffers,       // the colour, depth and double-buffer sizes were refused
    window,        // the window was not made
    surface,       // the window has no surface for GL to draw on
    pixel_format,  // the window's surface has no known pixel format
    gl_context,    // no GL context was made for the window
    gl_current,    // the GL context could not be made current
};

// The teardown steps of close_window that failed. Every step runs whatever the ones before did.
struct CloseFailures {
    bool release_gl_context;  // making no context current
    bool delete_gl_context;
    bool release_surface;
    bool destroy_window;
    bool stop_video;
};

// One event of the window, with the key as a virtual-key index (letters and digits their
// upper-case ASCII codes, Escape 27, F1 112; 0 for a key without one). Holding a key repeats
// its key-down.
enum class ShellEventKind : uint8_t {
    none,  // nothing is waiting
    key_down,
    key_up,
    resized,    // the client area is now width x height
    minimised,  // hidden to the task bar: nothing is drawn
    restored,
    close_requested,  // the user (or the session) asks the window to close
};

struct ShellEvent {
    ShellEventKind kind;
    uint8_t key = 0;
    int width = 0;  // resized only
    int height = 0;
};

// A question in a box of its own, with no owner window.
enum class Buttons : uint8_t { ok, yes_no };  // Return picks the first
enum class Icon : uint8_t { information, question, exclamation, stop };
enum class Answer : uint8_t {
    not_yet,  // asked, not answered yet: ask again on a later step
    none,     // no box can be shown, or it was closed without an answer
    ok,
    yes,
    no,
};

struct Platform {
    // Opens the window: starts the video system when it is not running, takes the full-screen
    // display mode, makes the window and its GL context, makes it current and shows the
    // window with the keyboard focus. The screen saver stays off while the window exists, and
    // a full-screen window hides the mouse cursor.
    OpenStep (*open_window)(const WindowRequest& request);
    // Closes whatever open_window built, puts the display mode and the cursor back, and stops
    // the video system.
    CloseFailures (*close_window)();
    // Takes the next event without waiting.
    ShellEvent (*next_event)();
    // Shows the frame drawn.
    void (*present_frame)();
    // The display's modes and its desktop mode; false when the display cannot tell.
    bool (*list_display_modes)(DisplayModes* modes);
    // Shows a question (Latin-1 texts). Asked again with the same texts while the answer is
    // not_yet, it goes on waiting for the same box.
    Answer (*ask)(const char* text, const char* caption, Buttons buttons, Icon icon);
};
