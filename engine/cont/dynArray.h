// DynArray: the growable array of both deliverables. Storage comes from the shared heap and elements
// are moved as raw bytes, so an array filled by the actor library can be grown or freed by the program.
// A zero-filled DynArray is a valid empty array; globals rely on that.
#pragma once
#include <stdlib.h>
#include <string.h>
#include "engine/log.h"
#include "engine/sharedHeap.h"

#define DYNARRAY_FILE "cont/dynArray"

struct DefaultAllocator {
  static void* reallocate(void* p, size_t bytes) { return dlrealloc(p, bytes); }
  static void release(void* p) { dlfree(p); }
};

template <class T, class Allocator = DefaultAllocator>
struct DynArray {
  T* data = nullptr;
  int num = 0;
  int cap = 0;

  DynArray() = default;
  DynArray(const DynArray&) = delete;
  DynArray& operator=(const DynArray&) = delete;
  DynArray(DynArray&& o) noexcept : data(o.data), num(o.num), cap(o.cap) {
    o.data = nullptr;
    o.num = o.cap = 0;
  }
  DynArray& operator=(DynArray&& o) noexcept {
    if (this != &o) {
      free();
      data = o.data;
      num = o.num;
      cap = o.cap;
      o.data = nullptr;
      o.num = o.cap = 0;
    }
    return *this;
  }
  ~DynArray() { free(); }

  int size() const { return num; }
  int capacity() const { return cap; }
  bool empty() const { return num == 0; }
  T& operator[](int i) { return data[i]; }
  const T& operator[](int i) const { return data[i]; }
  T* begin() { return data; }
  T* end() { return data + num; }
  const T* begin() const { return data; }
  const T* end() const { return data + num; }

  void reserve(int n) {
    ASSERT_AT(DYNARRAY_FILE, 52, n>=0);
    if (n <= cap) return;
    void* np = Allocator::reallocate(data, size_t(n) * sizeof(T));
    ASSERT_AT(DYNARRAY_FILE, 57, np);
    data = (T*)np;
    cap = n;
  }

  // Makes room for n more elements: double (at least `minimum`), or what is needed plus `minimum`
  // when doubling is not enough.
  void growFor(int n, int minimum) {
    if (num + n <= cap) return;
    int nc = cap * 2;
    if (nc < minimum) nc = minimum;
    if (nc < num + n) nc = num + n + minimum;
    reserve(nc);
  }

  void resize(int n) {
    ASSERT_AT(DYNARRAY_FILE, 77, n>=0);
    if (n <= num) {
      remove(n, num - n);
      return;
    }
    reserve(n);
    if (n > num) memset((void*)(data + num), 0, size_t(n - num) * sizeof(T));
    num = n;
  }

  void remove(int at, int n = 1) {
    ASSERT_AT(DYNARRAY_FILE, 118, n>=0);
    ASSERT_AT(DYNARRAY_FILE, 119, at>=0 && at<=num);
    ASSERT_AT(DYNARRAY_FILE, 120, at+n<=num);
    if (n > 0 && num - at - n > 0)
      memmove((void*)(data + at), (void*)(data + at + n), size_t(num - at - n) * sizeof(T));
    num -= n;
  }

  // Fills the gap with elements from the end: order is not kept.
  void remove_fast(int at, int n = 1) {
    ASSERT_AT(DYNARRAY_FILE, 130, n>=0);
    ASSERT_AT(DYNARRAY_FILE, 131, at>=0 && at<=num);
    ASSERT_AT(DYNARRAY_FILE, 132, at+n<=num);
    int tail = num - at - n;
    int moved = tail < n ? tail : n;
    if (moved > 0) memcpy((void*)(data + at), (void*)(data + num - moved), size_t(moved) * sizeof(T));
    num -= n;
  }

  // Inserts n elements copied from src, or zero-filled when src is null.
  void insert(int at, int n, const T* src) {
    ASSERT_AT(DYNARRAY_FILE, 152, n>=0);
    ASSERT_AT(DYNARRAY_FILE, 153, at>=0 && at<=num);
    if (n == 0) return;
    growFor(n, 8);
    if (num > at) memmove((void*)(data + at + n), (void*)(data + at), size_t(num - at) * sizeof(T));
    if (src) memcpy((void*)(data + at), (const void*)src, size_t(n) * sizeof(T));
    else memset((void*)(data + at), 0, size_t(n) * sizeof(T));
    num += n;
  }
  void append(int n, const T* src) { insert(num, n, src); }

  T& push_back(const T& v) {
    insert(num, 1, &v);
    return last();
  }
  T& push_back() {
    insert(num, 1, nullptr);
    return last();
  }
  T& last() {
    ASSERT_AT(DYNARRAY_FILE, 176, num>0);
    return data[num - 1];
  }
  void pop_back() {
    ASSERT_AT(DYNARRAY_FILE, 177, num>0);
    num--;
  }

  void clear() { remove(0, num); }
  void free() {
    clear();
    if (data) Allocator::release(data);
    data = nullptr;
    cap = 0;
  }

  // Index of the first element equal to v, -1 when none.
  int find(const T& v) const {
    for (int i = 0; i < num; i++)
      if (data[i] == v) return i;
    return -1;
  }

  void sort(int (*compare)(void* context, const void* a, const void* b), void* context) {
    if (num > 1) sortImpl(compare, context);
  }

 private:
  struct SortCtx {
    int (*cmp)(void*, const void*, const void*);
    void* ctx;
  };
  static int sortThunk(const void* a, const void* b, void* c) {
    SortCtx* s = (SortCtx*)c;
    return s->cmp(s->ctx, a, b);
  }
  void sortImpl(int (*compare)(void*, const void*, const void*), void* context) {
    SortCtx s{compare, context};
    qsort_r(data, size_t(num), sizeof(T), sortThunk, &s);
  }
};
