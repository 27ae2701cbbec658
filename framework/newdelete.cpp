// Allocation for the shipped programs: the process heap, no C++ runtime. There
// are no exceptions, so a failed new gives a null pointer, which callers check.
#include <stddef.h>

#include "memory.h"

void* operator new(size_t size) { return AllocBuffer(size); }
void* operator new[](size_t size) { return AllocBuffer(size); }
void operator delete(void* p) noexcept { FreeBuffer(p); }
void operator delete[](void* p) noexcept { FreeBuffer(p); }
void operator delete(void* p, size_t) noexcept { FreeBuffer(p); }
void operator delete[](void* p, size_t) noexcept { FreeBuffer(p); }

extern "C" void __cxa_pure_virtual() {
  for (;;) {
  }
}
