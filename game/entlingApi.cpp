// Storage of the actor library's function pointers (see entlingApi.h).
#include "game/entlingApi.h"

#define ENTLING_API(ret, name, params) ret(*name) params = nullptr;
#include "game/entlingApiList.h"
#undef ENTLING_API

const char* const entling_api_names[NUM_ENTLING_API] = {
#define ENTLING_API(ret, name, params) #name,
#include "game/entlingApiList.h"
#undef ENTLING_API
};

void** entling_api_slot(int i) {
  // Function pointers and data pointers have one size and representation on our platforms.
  static void** const slots[NUM_ENTLING_API] = {
#define ENTLING_API(ret, name, params) reinterpret_cast<void**>(&name),
#include "game/entlingApiList.h"
#undef ENTLING_API
  };
  return i >= 0 && i < NUM_ENTLING_API ? slots[i] : nullptr;
}

void clear_entling_api() {
  for (int i = 0; i < NUM_ENTLING_API; i++) *entling_api_slot(i) = nullptr;
}
