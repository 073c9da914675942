// Loading the actor library for the tests (see entlingSupport.h).
#include "entlingSupport.h"
#include <dlfcn.h>
#include "engine/log.h"

const EntlingLibrary& entling_library() {
  static EntlingLibrary lib;
  if (!lib.handle) {
    lib.handle = dlopen(ENTLING_TEST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
      ADD_FAILURE() << "dlopen: " << dlerror();
      return lib;
    }
    lib.funcByName = (GetEntlingFuncByNameFn)dlsym(lib.handle, "get_entling_func_by_name");
    lib.vtables = (GetEntlingVtablesFn)dlsym(lib.handle, "get_entling_vtables");
    lib.classSizes = (GetEntlingClassSizesFn)dlsym(lib.handle, "get_entling_class_sizes");
    int count = 0;
    const int* sizes = lib.classSizes ? lib.classSizes(&count) : nullptr;
    std::string wrong = check_entling_views(sizes, count);
    if (!wrong.empty())
      ADD_FAILURE() << "the library's classes changed; update tools/harness/entlingViews.h:\n" << wrong;
  }
  // Bound again every time: tests install recording functions in some pointers.
  for (int i = 0; i < NUM_ENTLING_API; i++) *entling_api_slot(i) = lib.funcByName(entling_api_names[i]);
  return lib;
}

// Everything goes, the joints and behaviours too (the world's removals leave those to their boss,
// and tests make them without one).
static void clear_world() {
  remove_all_entling();
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) {
    DynArray<BaseObject*>& list = object_list(l);
    for (int i = 0; i < list.size(); i++) list[i]->destroy();
  }
  delete_entling();
}

void EntlingWorld::SetUp() {
  DataFolderTest::SetUp();
  const EntlingLibrary& lib = entling_library();
  ASSERT_NE(lib.funcByName, nullptr);
  clear_world();
}

void EntlingWorld::TearDown() {
  clear_world();
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) EXPECT_EQ(object_list(l).size(), 0) << "list " << l;
  EXPECT_EQ(deleted_entlings.size(), 0);
  num_enemy_types = 0;
  DataFolderTest::TearDown();
}

std::string EntlingWorld::logText() {
  close_debug_log();
  return read_file_text(dataPath("log.txt"));
}

void MemoryOutputStream::write(const void* buffer, int size) {
  if (size_t(pos) + size_t(size) > bytes.size()) bytes.resize(size_t(pos) + size_t(size));
  bytes.replace(size_t(pos), size_t(size), (const char*)buffer, size_t(size));
  pos += size;
}
