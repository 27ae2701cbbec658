#include "memory.h"
#include "platform.h"

#ifdef _WIN32
void* AllocBuffer(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }
void FreeBuffer(void* p) {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}
#else
#include <stdlib.h>
void* AllocBuffer(size_t size) { return malloc(size ? size : 1); }
void FreeBuffer(void* p) { free(p); }
#endif
