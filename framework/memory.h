// Heap buffers handed from one part of a program to another (ReadRegion,
// ExportText, ...). The receiver frees them with FreeBuffer. On Windows they come
// from the process heap, so the programs need no C++ runtime allocator.
#pragma once
#include <stddef.h>

void* AllocBuffer(size_t size);  // null when the memory is not there
void FreeBuffer(void* p);        // null is fine
