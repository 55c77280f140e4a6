#pragma once
// A hidden SDL window with a current OpenGL context, for tests that need GL, plus the feedback
// and matrix probes they read the results with.
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

struct GlTestWindow {
    SDL_Window* window;
    SDL_GLContext context;
};

// Opens a hidden width x height window with a double-buffered context of the program's
// request (5/6/5 colour, 16-bit depth; the closest format granted) and makes it current.
inline GlTestWindow open_gl_test_window(int width = 640, int height = 480) {
    GlTestWindow gl{nullptr, nullptr};
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return gl;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    gl.window =
        SDL_CreateWindow("gl test", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (gl.window != nullptr) gl.context = SDL_GL_CreateContext(gl.window);
    if (gl.context != nullptr) SDL_GL_MakeCurrent(gl.window, gl.context);
    return gl;
}

// Releases the context (none is current afterwards) and the window.
inline void close_gl_test_window(GlTestWindow& gl) {
    if (gl.context != nullptr) {
        SDL_GL_MakeCurrent(gl.window, nullptr);
        SDL_GL_DeleteContext(gl.context);
    }
    if (gl.window != nullptr) SDL_DestroyWindow(gl.window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    gl = GlTestWindow{nullptr, nullptr};
}

// The program's projection for a client area: 45 degrees vertically, near 0.1, far 100.
inline void set_test_perspective(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / height, 0.1f, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// An orthographic view of x in [-20, 20], y in [-2, 2], so that a line of text at the origin
// is inside the clip volume and every line segment it draws reaches the feedback buffer.
inline void set_test_text_view() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-20.0, 20.0, -2.0, 2.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// How many line segments a drawing call produces, read back in feedback mode (a loop of n
// points gives n segments). Only for lists of one contour: the software renderer fails on
// feedback of a list with several line loops.
template <typename Draw>
int count_line_segments(Draw draw) {
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_2D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    int segments = 0;
    for (GLint i = 0; i < used; i += 5) {  // token, two 2-D vertices
        const GLenum token = static_cast<GLenum>(buffer[i]);
        if (token != GL_LINE_RESET_TOKEN && token != GL_LINE_TOKEN) {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
        ++segments;
    }
    return segments;
}

// Reads back the colour buffer being drawn into, bottom row first, as RGB bytes.
inline std::vector<unsigned char> read_back_pixels(int width, int height) {
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// The x translation of the current model-view matrix.
inline float modelview_x() {
    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    return matrix[12];
}
