// Small string types: TempString<N>, a fixed buffer that is always terminated (paths use
// PathString, sized for the longest path the system accepts),
// and String, an owned counted text on the shared heap that is null when empty.
#pragma once
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include "engine/log.h"
#include "engine/sharedHeap.h"

#define UTILS_FILE "misc/utils"

template <int BS>
struct TempString {
  char str[BS];

  TempString() { str[0] = 0; }
  TempString(const char* s, int l = -1) { assign(s, l); }
  TempString(const TempString&) = default;
  TempString& operator=(const TempString&) = default;
  TempString& operator=(const char* s) {
    assign(s);
    return *this;
  }

  void assign(const char* s, int l = -1) {
    if (!s) {
      str[0] = 0;
      return;
    }
    if (l < 0) l = (int)strlen(s);
    ASSERT_AT(UTILS_FILE, 57, l<BS);
    memmove(str, s, size_t(l));
    str[l] = 0;
  }

  // printf into the buffer; a result that does not fit leaves the string empty.
  void vformat(const char* fmt, va_list args) {
    int n = vsnprintf(str, BS, fmt, args);
    if (n < 0 || n >= BS) str[0] = 0;
  }
  void format(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    va_list a;
    va_start(a, fmt);
    vformat(fmt, a);
    va_end(a);
  }
  static TempString make(const char* fmt, ...) __attribute__((format(printf, 1, 2))) {
    TempString t;
    va_list a;
    va_start(a, fmt);
    t.vformat(fmt, a);
    va_end(a);
    return t;
  }

  // Appends as much as fits.
  void append(const char* s) {
    size_t l = strlen(str);
    snprintf(str + l, BS - l, "%s", s);
  }

  const char* c_str() const { return str; }
  operator const char*() const { return str; }
  int length() const { return (int)strlen(str); }
  bool empty() const { return str[0] == 0; }
  static constexpr int capacity() { return BS; }
};

// Linux accepts paths of 4096 bytes with the terminator; every path buffer is sized for that.
enum { MAX_PATH_BYTES = 4096 };
typedef TempString<MAX_PATH_BYTES> PathString;

struct String {
  // Heap block: int length (at least 1), the characters, a terminating zero.
  char* block = nullptr;

  String() = default;
  String(const char* s) { set(s, s ? (int)strlen(s) : 0); }
  String(const char* s, int l) { set(s, l); }
  String(const String& o) { set(o.text(), o.length()); }
  String(String&& o) noexcept : block(o.block) { o.block = nullptr; }
  String& operator=(const String& o) {
    if (this != &o) set(o.text(), o.length());
    return *this;
  }
  String& operator=(String&& o) noexcept {
    if (this != &o) {
      clear();
      block = o.block;
      o.block = nullptr;
    }
    return *this;
  }
  String& operator=(const char* s) {
    set(s, s ? (int)strlen(s) : 0);
    return *this;
  }
  ~String() { clear(); }

  void set(const char* s, int l) {
    // Copy first: s may point into our own block.
    char* nb = nullptr;
    if (s && l > 0) {
      nb = (char*)dlmalloc(size_t(l) + 5);
      ASSERT(nb);
      memcpy(nb, &l, 4);
      memcpy(nb + 4, s, size_t(l));
      nb[4 + l] = 0;
    }
    clear();
    block = nb;
  }
  void clear() {
    if (block) dlfree(block);
    block = nullptr;
  }
  const char* text() const { return block ? block + 4 : ""; }
  int length() const {
    if (!block) return 0;
    int l;
    memcpy(&l, block, 4);
    return l;
  }
  bool isNull() const { return block == nullptr; }
  bool operator==(const char* s) const { return strcmp(text(), s ? s : "") == 0; }
};
