// SqReloadableVM: a script VM that remembers every file it ran (by absolute path, with its
// modification time) and can run changed files again in the same VM, in first-include order.
// Scripts include further files once each through the native "include"; a file that fails (or
// cannot be read) fails the file that included it, with the same error. Within one reload each
// file runs at most once: a file due in that reload runs where it is included, a newly included
// one runs there and only there.
#pragma once
#include <squirrel.h>
#include <stdint.h>
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"

struct SqReloadableVM {
  struct FileRecord {
    char path[MAX_PATH_BYTES];
    uint64_t time;  // nanoseconds, as get_file_time
    uint32_t pass;  // the reload that last ran it
    bool pending;   // changed, but left unrun by a failure before it: runs in the next reload
  };

  HSQUIRRELVM vm = nullptr;
  DynArray<FileRecord> files;
  uint32_t pass_id = 0;  // the reload under way, when in_pass
  bool in_pass = false;
  bool pass_forced = false;

  explicit SqReloadableVM(HSQUIRRELVM v = nullptr) : vm(v) {}
  SqReloadableVM(const SqReloadableVM&) = delete;
  SqReloadableVM& operator=(const SqReloadableVM&) = delete;
  virtual ~SqReloadableVM();

  // Closes an open VM first (the file list is kept), opens a new one and registers the natives.
  virtual bool init(int stack_size);
  virtual void close();
  // Runs a file once: a second include of the same absolute path (any letter case) does nothing.
  virtual bool include(const char* name);
  // True when a file's time differs from the one it last ran with (files left pending by a failed
  // reload wait for the next change: a failing file is not run again every second).
  virtual bool filesChanged();
  virtual bool reload(bool force);
  // "include" and the math and string libraries in the root table.
  virtual bool registerFunctions();
  virtual bool reloadFiles(bool force);

 private:
  bool runRecord(int index);
};
