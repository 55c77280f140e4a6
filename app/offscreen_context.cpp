#include "app/offscreen_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <string_view>
#include <tuple>

#include "app/window.h"

namespace {

EGLDisplay display = EGL_NO_DISPLAY;
EGLContext context = EGL_NO_CONTEXT;
EGLSurface surface = EGL_NO_SURFACE;
int frame_width = 0;
int frame_height = 0;

// The surfaceless platform of Mesa when the client library offers it; otherwise the default
// display, where a driver that can draw without a window may still serve.
EGLDisplay surfaceless_display() {
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (extensions != nullptr && get_platform_display != nullptr &&
        std::string_view(extensions).find("EGL_MESA_platform_surfaceless") !=
            std::string_view::npos) {
        return get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    }
    return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

EGLint attribute(EGLConfig config, EGLint name) {
    EGLint value = 0;
    eglGetConfigAttrib(display, config, name, &value);
    return value;
}

// The format a window gets for its request on a 24-bit display, as the window system ranks
// the formats: 8 bits per colour and no alpha, the deepest depth buffer, the least stencil, no
// multisampling. A 16-bit depth buffer would move the pixels where the tube's faces meet.
EGLConfig window_like_config() {
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                             EGL_NONE};
    EGLConfig configs[256];
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, configs, 256, &count)) return nullptr;
    auto rank = [](EGLConfig config) {
        return std::tuple(attribute(config, EGL_ALPHA_SIZE) == 0, attribute(config, EGL_DEPTH_SIZE),
                          -attribute(config, EGL_STENCIL_SIZE), -attribute(config, EGL_SAMPLES));
    };
    EGLConfig best = nullptr;
    for (EGLint k = 0; k < count; ++k) {
        const bool eight_bits = attribute(configs[k], EGL_RED_SIZE) == 8 &&
                                attribute(configs[k], EGL_GREEN_SIZE) == 8 &&
                                attribute(configs[k], EGL_BLUE_SIZE) == 8;
        if (eight_bits && (best == nullptr || rank(configs[k]) > rank(best))) best = configs[k];
    }
    return best;
}

bool fail(const char*& failure, const char* reason) {
    failure = reason;
    close_offscreen_context();
    return false;
}

}  // namespace

bool open_offscreen_context(int width, int height, const char*& failure) {
    display = surfaceless_display();
    EGLint major = 0;
    EGLint minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor))
        return fail(failure, "no EGL display (Mesa's EGL with the surfaceless platform is needed)");
    if (!eglBindAPI(EGL_OPENGL_API)) return fail(failure, "EGL offers no desktop OpenGL");
    const EGLConfig config = window_like_config();
    if (config == nullptr) return fail(failure, "EGL offers no offscreen surface of 24-bit colour");
    const EGLint surface_attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    surface = eglCreatePbufferSurface(display, config, surface_attributes);
    if (surface == EGL_NO_SURFACE)
        return fail(failure, "cannot make an offscreen surface of that size");
    const EGLint context_attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                         EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attributes);
    if (context == EGL_NO_CONTEXT) return fail(failure, "cannot create an OpenGL context");
    if (!eglMakeCurrent(display, surface, surface, context))
        return fail(failure, "cannot make the OpenGL context current");
    frame_width = width;
    frame_height = height;
    set_projection(width, height);
    return true;
}

void finish_offscreen_frame() {
    glFinish();
}

void read_offscreen_frame(uint8_t* rgba) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, frame_width, frame_height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void close_offscreen_context() {
    if (display != EGL_NO_DISPLAY) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        eglTerminate(display);
    }
    display = EGL_NO_DISPLAY;
    context = EGL_NO_CONTEXT;
    surface = EGL_NO_SURFACE;
}
