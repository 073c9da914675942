// Two small classes of the binding tests' libraries: built from one source in several variants, so
// the same objects can be answered by "version 1" and "version 2" code, or refused.
#pragma once
#include "game/baseObject.h"

struct TestHero : BaseObject {
  int value = 0;
#ifdef BIND_TEST_GROWN
  double added_fields[2] = {};  // the class changed its size
#endif
  virtual int answer() const;  // key function: the table lives in the library
};

struct TestEnemy : BaseObject {
  int value = 0;
  float speed = 0;
  virtual int answer() const;
};

// Counts link_gui calls; a global of the test program, so the libraries keep no state of their own.
extern int bind_test_link_gui_calls;
