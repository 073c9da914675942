// The layout table that the actor library exports: one row per class or struct that its sources
// define (size and alignment), each followed by its data members of every access (offset, size, type
// as the compiler spells it). Objects, their member types and GUI screens live on the program's heap
// across a swap, so a library whose table differs for any class that both libraries have cannot take
// them over. Each translation unit of the library writes the rows of the classes it defines (see
// tools/entling_layout_gen), so a class in a module's own code file is covered where it is complete.
#pragma once
#include <stddef.h>
#include <string.h>

struct EntlingLayoutRow {
  const char* owner;  // the class
  const char* field;  // null on the class's own row
  const char* type;   // null on the class's own row
  int offset;         // the class's size on its own row
  int size;           // the class's alignment on its own row
};

// Writes at most capacity rows to out (null: none) and returns how many the library has. The rows
// are made on each call: the library keeps no table of its own.
typedef int (*GetEntlingLayoutsFn)(EntlingLayoutRow* out, int capacity);

// ---- what the generated parts are made of (compiled into the library only)

template <class T>
constexpr const char* entling_type_name() {
  return __PRETTY_FUNCTION__;
}

// A unit's class or member N, named once in an explicit instantiation (where access is not checked,
// so private and protected members and nested classes need no friend) and read back through the
// tag's friend function.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-template-friend"
template <class Unit, int N>
struct EntlingLayoutTag {
  friend auto entling_layout_item(EntlingLayoutTag);
};
#pragma GCC diagnostic pop
template <class Unit, int N, class T>
struct EntlingLayoutClassItem {
  friend auto entling_layout_item(EntlingLayoutTag<Unit, N>) { return static_cast<T*>(nullptr); }
};
template <class Unit, int N, auto P>
struct EntlingLayoutMemberItem {
  friend auto entling_layout_item(EntlingLayoutTag<Unit, N>) { return P; }
};

struct EntlingLayoutRows {
  EntlingLayoutRow* out;
  int capacity;
  int count = 0;
  void add(const EntlingLayoutRow& r) {
    if (out && count < capacity) out[count] = r;
    count++;
  }
  template <class T>
  void addClass(const char* name, T*) {
    add({name, nullptr, nullptr, int(sizeof(T)), int(alignof(T))});
  }
  template <class C, class M>
  void addMember(const char* owner, const char* field, M C::*member) {
    // A pointer to a data member is its offset in the object (the Itanium C++ ABI).
    static_assert(sizeof(member) == sizeof(ptrdiff_t), "a data member pointer holds an offset");
    ptrdiff_t offset;
    memcpy(&offset, &member, sizeof(offset));
    add({owner, field, entling_type_name<M>(), int(offset), int(sizeof(M))});
  }
};
