// SqReloadableVM: a script VM that remembers every file it ran (by absolute path, with its
// modification time) and can run changed files again in the same VM, in first-include order.
// Scripts include further files once each through the native "include".
#pragma once
#include <stdint.h>
#include <squirrel.h>
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"

struct SqReloadableVM {
  struct FileRecord {
    char path[MAX_PATH_BYTES];
    uint64_t time;
  };

  HSQUIRRELVM vm = nullptr;
  DynArray<FileRecord> files;

  explicit SqReloadableVM(HSQUIRRELVM v = nullptr) : vm(v) {}
  SqReloadableVM(const SqReloadableVM&) = delete;
  SqReloadableVM& operator=(const SqReloadableVM&) = delete;
  virtual ~SqReloadableVM();

  // Closes an open VM first (the file list is kept), opens a new one and registers the natives.
  virtual bool init(int stack_size);
  virtual void close();
  // Runs a file once: a second include of the same absolute path (any letter case) does nothing.
  virtual bool include(const char* name);
  virtual bool filesChanged();
  virtual bool reload(bool force);
  // "include" and the math and string libraries in the root table.
  virtual bool registerFunctions();
  virtual bool reloadFiles(bool force);
};
