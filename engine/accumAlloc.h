// AccumAlloc: an arena of chained blocks. Allocations are never returned one by one; reset() empties
// every block at once and keeps them for the next round.
#pragma once
#include <stddef.h>

class AccumAlloc {
 public:
  struct Block {
    Block* next;
    char* free_pos;
    char* end;
  };
  // The block size counts this header; a block size of 0 means the first block's size.
  static constexpr size_t HEADER_SIZE = sizeof(Block);

  AccumAlloc(size_t first_block_size, size_t block_size = 0);
  ~AccumAlloc();
  AccumAlloc(const AccumAlloc&) = delete;
  AccumAlloc& operator=(const AccumAlloc&) = delete;

  void* alloc(size_t size, int align_exponent = 2);
  void reset();
  Block* head() const { return first; }

 private:
  Block* first = nullptr;
  size_t block_size;
  Block* newBlock(size_t bytes);
};
