// Chained-block arena; the render batches take their per-frame chunks from it.
#include "engine/accumAlloc.h"
#include <stdint.h>
#include <stdlib.h>
#include "engine/log.h"

AccumAlloc::Block* AccumAlloc::newBlock(size_t bytes) {
  // A block always holds at least its own header, however small a size it was asked for.
  if (bytes < HEADER_SIZE) bytes = HEADER_SIZE;
  Block* p = (Block*)malloc(bytes);
  ASSERT_AT("accumAlloc", 101, p);
  Block* b = p;
  b->next = first;
  b->free_pos = (char*)(b + 1);
  b->end = (char*)b + bytes;
  first = b;
  return b;
}

AccumAlloc::AccumAlloc(size_t first_block_size, size_t bs) : block_size(bs ? bs : first_block_size) {
  newBlock(first_block_size);
}

AccumAlloc::~AccumAlloc() {
  while (first) {
    Block* n = first->next;
    free(first);
    first = n;
  }
}

static char* align_up(char* p, size_t a) { return (char*)((uintptr_t(p) + a - 1) & ~uintptr_t(a - 1)); }

void* AccumAlloc::alloc(size_t size, int align_exponent) {
  size_t a = size_t(1) << align_exponent;
  for (Block* b = first; b; b = b->next) {
    char* c = align_up(b->free_pos, a);
    if (c <= b->end && size <= size_t(b->end - c)) {
      b->free_pos = c + size;
      return c;
    }
  }
  // The header takes the block's first bytes; a + size + header - 1 always fits the request.
  size_t want = a + size + HEADER_SIZE - 1;
  ASSERT_AT("accumAlloc", 61, size < SIZE_MAX - a - HEADER_SIZE);  // a request no block could hold
  Block* b = newBlock(want > block_size ? want : block_size);
  char* c = align_up(b->free_pos, a);
  char* ptr = c <= b->end && size <= size_t(b->end - c) ? c : nullptr;
  ASSERT_AT("accumAlloc", 61, ptr);
  b->free_pos = ptr + size;
  return ptr;
}

void AccumAlloc::reset() {
  for (Block* b = first; b; b = b->next) b->free_pos = (char*)(b + 1);
}
