// Helpers of the tests of the actor library: the real library loaded once per test process with
// every by-name pointer of the program bound, a fixture that leaves the object world empty, and
// EntlingMirror, a class with Entling's virtual layout (from the same list), so tests can call any
// operation on the library's objects and put objects of their own into the world's lists.
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

struct BossSubpart;
struct BossSubpartBehavior;

template <class T>
T default_value() {
  return T();
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
struct EntlingMirror : BaseObject {
#define ENTLING_VIRTUAL(ret, name, params) \
  virtual ret name params { return default_value<ret>(); }
#include "entling/gen/virtuals.kst"
#undef ENTLING_VIRTUAL
};
#pragma GCC diagnostic pop

// Calls a member with value-initialised arguments (null pointers, zeros).
template <class R, class... A>
void call_with_defaults(EntlingMirror* m, R (EntlingMirror::*f)(A...)) {
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
