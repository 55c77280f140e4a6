#include "app/offscreen_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <string_view>

#include "app/window.h"

namespace {

EGLDisplay display = EGL_NO_DISPLAY;
EGLContext context = EGL_NO_CONTEXT;
GLuint framebuffer = 0;
GLuint colour_buffer = 0;
GLuint depth_buffer = 0;
int frame_width = 0;
int frame_height = 0;

// The surfaceless platform of Mesa when the client library offers it; otherwise the default
// display, where a driver that can draw without a surface may still serve.
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
    const EGLint config_attributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    eglChooseConfig(display, config_attributes, &config, 1, &configs);
    const EGLint context_attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                         EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    context = eglCreateContext(display, configs > 0 ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT,
                               context_attributes);
    if (context == EGL_NO_CONTEXT) return fail(failure, "cannot create an OpenGL context");
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
        return fail(failure, "cannot make the OpenGL context current");

    glGenFramebuffers(1, &framebuffer);
    glGenRenderbuffers(1, &colour_buffer);
    glGenRenderbuffers(1, &depth_buffer);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_buffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_buffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_buffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_buffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return fail(failure, "cannot make an offscreen framebuffer of that size");
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
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
    if (context != EGL_NO_CONTEXT) {
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &colour_buffer);
        glDeleteRenderbuffers(1, &depth_buffer);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }
    if (display != EGL_NO_DISPLAY) eglTerminate(display);
    display = EGL_NO_DISPLAY;
    context = EGL_NO_CONTEXT;
    framebuffer = colour_buffer = depth_buffer = 0;
}
