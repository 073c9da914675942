// Object-world benchmark, run by hand: the cost of one update_entling walk over 1,000 idle
// objects of the library's classes and of 1,000 of the cheapest kind, and of saving and loading
// them through a memory stream.   entling_bench <entling.dll>
#include <dlfcn.h>
#include <stdio.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>
#include "engine/streams.h"
#include "game/baseObject.h"
#include "game/entlingApi.h"
#include "game/objectLists.h"
#include "tools/toolUsage.h"

static double now_us() {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

namespace {
struct MemOut : OutputStream {
  std::string bytes;
  int pos = 0;
  void write(const void* b, int n) override {
    if (size_t(pos + n) > bytes.size()) bytes.resize(size_t(pos + n));
    bytes.replace(size_t(pos), size_t(n), (const char*)b, size_t(n));
    pos += n;
  }
  int tell() override { return pos; }
  void seekFromStart(int o) override { pos = o; }
  void seekFromEnd(int o) override { pos = int(bytes.size()) + o; }
};
}  // namespace

static double walk_us(int rounds) {
  std::vector<double> t;
  for (int r = 0; r < rounds; r++) {
    double a = now_us();
    update_entling(0.05f);
    t.push_back(now_us() - a);
  }
  return median(t);
}

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "entling_bench",
                        "usage: entling_bench <actor library>\n"
                        "Prints the cost of the world's walk and of its save stream over 1,000 objects of the\n"
                        "actor library (build/entling/entling_lib.so).\n",
                        1, 1);
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto by_name = (GetEntlingFuncByNameFn)dlsym(lib, "get_entling_func_by_name");
  for (int i = 0; i < NUM_ENTLING_API; i++) *entling_api_slot(i) = by_name(entling_api_names[i]);
  init_game_script();

  // A level's mix: enemies, barrels, bombs and bonuses, all idle.
  const unsigned mix[] = {8, 8, 8, 8, 11, 12, 14, 15};
  for (int i = 0; i < 1000; i++) new_entling_by_id(mix[i % 8]);
  printf("update_entling over 1000 idle objects (mixed): %.2f us\n", walk_us(2001));

  MemOut out;
  double a = now_us();
  save_entlings(out);
  double save = now_us() - a;
  remove_all_entling();
  MemoryInputStream in(out.bytes.data(), int(out.bytes.size()));
  a = now_us();
  load_entlings(in);
  double load = now_us() - a;
  printf("save 1000 objects: %.1f us (%d bytes); load: %.1f us\n", save, int(out.bytes.size()), load);
  remove_all_entling();

  for (int i = 0; i < 1000; i++) new_entling_by_id(14);
  printf("update_entling over 1000 idle bonuses: %.2f us\n", walk_us(2001));
  remove_all_entling();
  close_game_script();
  return 0;
}
