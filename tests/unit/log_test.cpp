// Log rotation, fatal errors, the visual log and the error message.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include "engine/app.h"
#include "engine/d3d_vbuf.h"
#include "engine/log.h"
#include "engine/mesh.h"
#include "engine/sharedHeap.h"
#include "engine/sqbind.h"
#include "platform/platform.h"
#include "testSupport.h"

class Log : public DataFolderTest {
 protected:
  void TearDown() override {
    num_debug_log_files = 5;
    DataFolderTest::TearDown();
  }
  void run(const char* line) {
    debug("%s", line);
    close_debug_log();  // the next message starts a new run of the log
  }
};

TEST_F(Log, SixRunsKeepTheFiveNewestLogs) {
  for (int i = 1; i <= 6; i++) run(("run " + std::to_string(i)).c_str());
  EXPECT_EQ(read_file_text(dataPath("log.txt")), "run 6\n");
  EXPECT_EQ(read_file_text(dataPath("log01.txt")), "run 5\n");
  EXPECT_EQ(read_file_text(dataPath("log02.txt")), "run 4\n");
  EXPECT_EQ(read_file_text(dataPath("log03.txt")), "run 3\n");
  EXPECT_EQ(read_file_text(dataPath("log04.txt")), "run 2\n");
  EXPECT_FALSE(file_exists(dataPath("log05.txt")));
}

TEST_F(Log, WithOneLogFileItIsSimplyReplaced) {
  num_debug_log_files = 1;
  run("first");
  run("second");
  EXPECT_EQ(read_file_text(dataPath("log.txt")), "second\n");
  EXPECT_FALSE(file_exists(dataPath("log01.txt")));
}

TEST_F(Log, PartialLinesAndAFolderThatCannotBeMade) {
  debug_("a%d", 1);
  debug_("b");
  debug("c");
  close_debug_log();
  EXPECT_EQ(read_file_text(dataPath("log.txt")), "a1bc\n");
  // The data folder's place is taken by a file: the log goes to standard output only, and the next
  // message tries again.
  std::string other = make_temp_folder();
  write_file_text(other + "/ASCENDA", "file");
  setenv("APPDATA", other.c_str(), 1);
  debug("to stdout only");
  debug("again");
  EXPECT_EQ(read_file_text(other + "/ASCENDA"), "file");
  setenv("APPDATA", root.c_str(), 1);
}

TEST(ErrorMessage, SetAppendAndClear) {
  set_error_message(nullptr);
  EXPECT_FALSE(has_error_message());
  append_error_message("abc", -1);
  EXPECT_STREQ(get_error_message(), "abc");
  append_error_message("defgh", 3);
  EXPECT_STREQ(get_error_message(), "abc\ndef");
  append_error_message("zzz", 0);
  append_error_message(nullptr, 5);
  EXPECT_STREQ(get_error_message(), "abc\ndef");
  set_error_message("replaced");
  EXPECT_STREQ(get_error_message(), "replaced");
  set_error_message("");
  EXPECT_FALSE(has_error_message());
  EXPECT_STREQ(get_error_message(), "");
}

TEST(VisualLog, KeepsTheNewestHundredLines) {
  clear_visual_log();
  for (int i = 0; i < 101; i++) visual_log("line %d", i);
  ASSERT_EQ(visual_log_count(), 100);
  EXPECT_STREQ(visual_log_line(0), "line 1");
  EXPECT_STREQ(visual_log_line(99), "line 100");
  visual_log("%s", std::string(200, 'x').c_str());  // does not fit 127 characters: an empty line
  EXPECT_STREQ(visual_log_line(99), "");
  clear_visual_log();
  EXPECT_EQ(visual_log_count(), 0);
}

class Fatal : public DataFolderTest {};

TEST_F(Fatal, ReportsEverywhereShutsDownAndExitsWith100) {
  EXPECT_EXIT(
      {
        debug("before");
        fatal("bad thing %d", 42);
      },
      testing::ExitedWithCode(100), "\n\nbad thing 42\n");
  std::string log = read_file_text(dataPath("log.txt"));
  EXPECT_NE(log.find("before\nERROR: bad thing 42\nclosing...\n"), std::string::npos) << log;
  EXPECT_NE(log.find("closed all systems\n"), std::string::npos) << log;
}

TEST_F(Fatal, AssertionsNameFileLineAndExpression) {
  EXPECT_EXIT(
      {
        int n = -1;
        ASSERT_AT("cont/dynArray", 52, n>=0);
      },
      testing::ExitedWithCode(100), "cont/dynArray\\(52\\): failed ASSERT\\(n>=0\\)");
  EXPECT_EXIT(ASSERT(1 + 1 == 3), testing::ExitedWithCode(100),
                     "tests/unit/log_test.cpp\\([0-9]+\\): failed ASSERT\\(1 \\+ 1 == 3\\)");
}

TEST_F(Fatal, AMessageBoxIsShownWithTheWindowTitle) {
  EXPECT_EXIT(fatal("boxed"), testing::ExitedWithCode(100), "\\[message box\\] ASCENDA! 0.11 - FATAL ERROR: boxed");
}

TEST_F(Fatal, LongMessagesReachTheLogWhole) {
  std::string msg(6000, 'm');
  EXPECT_EXIT(fatal("%s", msg.c_str()), testing::ExitedWithCode(100), "mmmm");
  std::string log = read_file_text(dataPath("log.txt"));
  EXPECT_NE(log.find("ERROR: " + msg + "\n"), std::string::npos);
}

TEST_F(Fatal, AFatalErrorDuringShutdownDoesNotShutDownAgain) {
  EXPECT_EXIT(
      {
        debug("start");
        shutdown_app();
        fatal("late failure");
      },
      testing::ExitedWithCode(100), "late failure");
  std::string log = read_file_text(dataPath("log.txt"));
  size_t first = log.find("closing...");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("closing...", first + 1), std::string::npos) << log;
  EXPECT_NE(log.find("ERROR: late failure"), std::string::npos);
}

namespace {
// A device buffer that fails fatally when it is freed: the shutdown's mesh step meets it.
class BufferFailingOnFree : public IDirect3DVertexBuffer9 {
 public:
  HRESULT Lock(UINT, UINT, void**, DWORD) override { return D3D_OK; }
  HRESULT Unlock() override { return D3D_OK; }
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC*) override { return D3D_OK; }
  ~BufferFailingOnFree() override { fatal("lost the vertex buffer while freeing it"); }
};

void add_mesh_failing_on_free() {
  static VertexBuffer vb = {new BufferFailingOnFree, 64, 0, 1};
  Mesh* m = (Mesh*)dlmalloc(sizeof(Mesh));
  new (m) Mesh();
  m->vb = &vb;
  m->ib = nullptr;
  mesh_list.push_back(m);
}
}  // namespace

TEST_F(Fatal, AFatalErrorInsideAShutdownStepEndsTheProcessWithoutStartingTheShutdownAgain) {
  EXPECT_EXIT(
      {
        debug("start");
        add_mesh_failing_on_free();
        shutdown_app();
        debug("shutdown returned");
        exit(0);
      },
      testing::ExitedWithCode(100), "lost the vertex buffer while freeing it");
  std::string log = read_file_text(dataPath("log.txt"));
  size_t first = log.find("closing...");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("closing...", first + 1), std::string::npos) << log;
  EXPECT_NE(log.find("closed misc stuff\nERROR: lost the vertex buffer while freeing it\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("freed all meshes"), std::string::npos) << log;  // the failed step never finished
  EXPECT_EQ(log.find("shutdown returned"), std::string::npos) << log;
}

// ---- what reaches the log file, and when

TEST_F(Log, ScriptOutputAndErrorReportsReachTheFileAtOnce) {
  debug("start");
  HSQUIRRELVM vm = sqbind::open_vm(1024);
  const char* text = "print(\"from the script\\n\")\nlocal x = null.y\n";
  ASSERT_TRUE(sqbind::compile_buffer(vm, text, int(strlen(text)), "s.nut"));
  sq_pushroottable(vm);
  EXPECT_TRUE(SQ_FAILED(sq_call(vm, 1, SQFalse, SQTrue)));
  sq_poptop(vm);
  // Read while the log is still open: nothing may wait in a buffer for the next engine line.
  std::string now = read_file_text(dataPath("log.txt"));
  EXPECT_NE(now.find("from the script\n"), std::string::npos) << now;
  EXPECT_NE(now.find("s.nut(2): ERROR: "), std::string::npos) << now;
  EXPECT_NE(now.find("\nLOCALS\n"), std::string::npos) << now;
  sqbind::close_vm(vm);
}

TEST_F(Log, ALogThatCannotBeWrittenIsSaidOnceOnStandardError) {
  // Full disk: the log file is the system's always-full device.
  num_debug_log_files = 1;
  mkdir((root + "/ASCENDA").c_str(), 0755);
  ASSERT_EQ(symlink("/dev/full", dataPath("log.txt").c_str()), 0);
  testing::internal::CaptureStderr();
  debug("one");
  debug("two");
  debug("three");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("can't write the log file '" + dataPath("log.txt") + "'"), std::string::npos) << err;
  EXPECT_EQ(err.find("can't write the log file"), err.rfind("can't write the log file")) << err;
  close_debug_log();

  // A data folder that cannot be made: said once, however many lines follow.
  std::string other = make_temp_folder();
  write_file_text(other + "/ASCENDA", "file");
  setenv("APPDATA", other.c_str(), 1);
  testing::internal::CaptureStderr();
  debug("a");
  debug("b");
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("can't open the log file"), std::string::npos) << err;
  EXPECT_EQ(err.find("can't open the log file"), err.rfind("can't open the log file")) << err;
  setenv("APPDATA", root.c_str(), 1);
}
