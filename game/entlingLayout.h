// The layout table that the actor library exports: one row per class or struct that its sources
// define (size and alignment), each followed by its data members (offset, size, type as the compiler
// spells it). Objects, their member types and GUI screens live on the program's heap across a swap,
// so a library whose table differs for any class that both libraries have cannot take them over.
#pragma once

struct EntlingLayoutRow {
  const char* owner;  // the class
  const char* field;  // null on the class's own row
  const char* type;   // null on the class's own row
  int offset;         // the class's size on its own row
  int size;           // the class's alignment on its own row
};

typedef const EntlingLayoutRow* (*GetEntlingLayoutsFn)(int* count);
