// Helpers of the tests of the actor library: the real library loaded once per test process with
// every by-name pointer of the program bound (the shared views of its objects checked against its
// class sizes when it loads), and a fixture that leaves the object world empty. Through EntlingView
// (tools/harness/entlingViews.h) tests call any operation on the library's objects and put objects
// of their own into the world's lists.
#pragma once
#include <stdint.h>
#include <string>
#include <tuple>
#include <type_traits>
#include "engine/misc/vecMath.h"
#include "engine/streams.h"
#include "game/baseObject.h"
#include "game/entlingApi.h"
#include "game/objectLists.h"
#include "testSupport.h"
#include "tools/harness/entlingViews.h"

// Calls a member with value-initialised arguments (null pointers, zeros).
template <class R, class... A>
void call_with_defaults(EntlingView* m, R (EntlingView::*f)(A...)) {
  std::tuple<std::remove_cvref_t<A>...> args{};
  std::apply([&](auto&... a) { (m->*f)(a...); }, args);
}

// The library's exports, resolved once.
struct EntlingLibrary {
  void* handle = nullptr;
  GetEntlingFuncByNameFn funcByName = nullptr;
  GetEntlingVtablesFn vtables = nullptr;
  GetEntlingClassSizesFn classSizes = nullptr;
};
// Loads the library and binds entling_api (fails the test when that is impossible).
const EntlingLibrary& entling_library();

// The library bound, the world empty before and after each test, and a data folder for the log.
class EntlingWorld : public DataFolderTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Everything the log received during the test so far.
  std::string logText();
};

// Memory output stream for the save stream's tests.
class MemoryOutputStream : public OutputStream {
 public:
  std::string bytes;
  int pos = 0;
  void write(const void* buffer, int size) override;
  int tell() override { return pos; }
  void seekFromStart(int offset) override { pos = offset; }
  void seekFromEnd(int offset) override { pos = int(bytes.size()) + offset; }
};

inline BaseObject* list_object(int list, int i) { return object_list(list)[i]; }
