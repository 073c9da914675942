// The one heap that the program and the actor library share. Everything that may be freed by the
// other side, or must outlive a reload of the actor library, comes from here.
#pragma once
#include <stddef.h>

void* dlmalloc(size_t size);
void dlfree(void* p);
void* dlrealloc(void* p, size_t size);
