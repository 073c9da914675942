// The object-world save stream on arbitrary bytes: loading either builds objects or throws the
// stream's exception, never crashes, never allocates from an unchecked count; the world is emptied
// after each input.
#include <stddef.h>
#include <stdint.h>
#include "engine/streams.h"
#include "game/baseObject.h"
#include "game/entlingApi.h"
#include "game/objectLists.h"

extern "C" void* get_entling_func_by_name(const char* name);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!load_entlings) {
    for (int i = 0; i < NUM_ENTLING_API; i++) *entling_api_slot(i) = get_entling_func_by_name(entling_api_names[i]);
    init_game_script();
  }
  MemoryInputStream in(data, int(size));
  try {
    load_entlings(in);
  } catch (const InputStream::Exception&) {}
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) {
    DynArray<BaseObject*>& list = object_list(l);
    for (int i = 0; i < list.size(); i++) list[i]->destroy();
  }
  delete_entling();
  return 0;
}
