// The settings line grammar and ConfigNode on arbitrary bytes: no crash, and every entry it yields
// lies inside the input.
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include "engine/config.h"

static void check_entry(void* ctx, const char* key, int key_len, const char* value, int value_len) {
  const char** range = (const char**)ctx;
  if (key_len < 0 || value_len < 0 || key < range[0] || key + key_len > range[1] || value < range[0] ||
      value + value_len > range[1])
    __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = (const char*)data;
  const char* range[2] = {text, text + size};
  parse_config_lines(text, int(size), check_entry, range);
  ConfigNode node;
  node.parse(text, int(size));
  for (const ConfigEntry& e : node.entries) {
    node.getStr(e.key.text(), "");
    node.getInt(e.key.text(), 0);
  }
  char buf[65];
  size_t n = size < 64 ? size : 64;
  memcpy(buf, data, n);
  buf[n] = 0;
  int v;
  parse_config_int(buf, &v);
  return 0;
}
