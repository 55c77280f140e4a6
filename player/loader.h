#pragma once
#include <cstdint>

#include "player/module.h"

// The XM loader: builds an XmModule from a stream reached through five file callbacks, and
// releases it again. Inside the player only; callers load and release through the session.

// The shared all-zero sample that fills unused slots; never freed.
extern XmSample empty_sample;

// File callbacks: installed as a set of five, or none.
using FileOpenFn = uintptr_t (*)(const void* name);  // 0 on failure
using FileCloseFn = void (*)(uintptr_t handle);
using FileReadFn = uint32_t (*)(void* destination, uint32_t count, uintptr_t handle);
using FileSeekFn = int32_t (*)(uintptr_t handle, int32_t offset, uint8_t mode);
using FileTellFn = uint32_t (*)(uintptr_t handle);

struct FileCallbacks {
    FileOpenFn file_open;
    FileCloseFn file_close;
    FileReadFn file_read;
    FileSeekFn file_seek;
    FileTellFn file_tell;
};

// Stores the five operations when none is null; otherwise clears all five.
void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read, FileSeekFn seek,
                        FileTellFn tell);
bool file_callbacks_installed();

// One load's view of the stream.
struct XmStream {
    uintptr_t handle;
};

// Reads a module through the installed callbacks. A file that ends early loads what it holds
// and plays the rest as nothing; null, with nothing kept, when the file cannot be played.
XmModule* module_load(const void* name, SampleReader sample_reader);
// Why the last load gave null, in one line ("truncated at byte 50, inside the header"); empty
// after a load that succeeded.
const char* module_load_failure();
// Fills a zeroed module from the stream; used by module_load.
bool read_xm(XmModule* module, XmStream* stream);
// Releases everything the module owns. The caller stops its playback first.
bool module_free(XmModule* module);

// Clears the installed callbacks and the last failure (the session's reset).
void loader_reset();
