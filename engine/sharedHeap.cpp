// The shared heap sits on the C runtime's heap: both files of the game live in one process with one
// runtime, so a block from either side can be freed by the other.
#include "engine/sharedHeap.h"
#include <stdlib.h>

void* dlmalloc(size_t size) { return malloc(size); }
void dlfree(void* p) { free(p); }
void* dlrealloc(void* p, size_t size) { return realloc(p, size); }
