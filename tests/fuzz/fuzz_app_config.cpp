// load_app_config on whole settings files of arbitrary bytes: it reads every regular file it is
// given, and what it saves reads back to the same table (saving twice gives the same file).
#include <stddef.h>
#include <stdint.h>
#include <string>
#include "engine/config.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string file = fuzz_scratch_folder() + "ASCENDA/settings.cfg";
  if (!fuzz_write_file(file, data, size)) return 0;
  reset_app_config();
  if (!load_app_config()) __builtin_trap();
  int v;
  get_config_int("screen_wd", &v);
  char buf[64];
  get_config_str("fullscreen", buf, sizeof(buf));
  if (!save_app_config()) __builtin_trap();
  std::string first = fuzz_read_file(file);
  reset_app_config();
  if (!load_app_config() || !save_app_config()) __builtin_trap();
  if (fuzz_read_file(file) != first) __builtin_trap();
  reset_app_config();
  return 0;
}
