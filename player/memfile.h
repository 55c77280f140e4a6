#pragma once
#include <cstdint>

// The memory file: the five file operations over one XM image in memory. There is one stream
// and one read position, shared by all handles.

// Chooses the image the memory file reads (the program attaches module_bytes).
void memfile_attach(const uint8_t* bytes, uint32_t size);

uintptr_t memfile_open(const void* name);
void memfile_close(uintptr_t handle);
uint32_t memfile_read(void* destination, uint32_t count, uintptr_t handle);
int32_t memfile_seek(uintptr_t handle, int32_t offset, uint8_t mode);
uint32_t memfile_tell(uintptr_t handle);

// Detaches the image and rewinds (the session does once a load has read it).
void memfile_reset();
