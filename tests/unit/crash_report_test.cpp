// The signal handling of the process: a fatal signal leaves its name, the faulting address, where it
// fell and a backtrace on standard error and in the log, then ends the process by that signal; a
// second SIGINT or SIGTERM ends it at once while the first still reaches the quit request.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>
#include <string>
#include "engine/crashReport.h"
#include "engine/sysUtils.h"
#include "testSupport.h"

namespace {
int* volatile null_pointer = nullptr;
volatile int zero = 0;
volatile int sink = 0;

// The undefined-behaviour sanitizer would stop these itself, before any signal: they must fault.
__attribute__((noinline, no_sanitize("undefined"))) void write_through_null() { *null_pointer = 1; }
__attribute__((noinline, no_sanitize("undefined"))) void divide_by_zero() { sink = 7 / zero; }
__attribute__((noinline)) void call_abort() { abort(); }
}  // namespace

TEST(CrashReportDeath, AFatalSignalIsReportedAndEndsTheProcessAsItWould) {
  struct Case {
    void (*crash)();
    int sig;
    const char* report;  // what standard error shows
  } cases[] = {
      {write_through_null, SIGSEGV, "fatal signal SIGSEGV \\(11\\) at address 0x0\n!!! in unit_tests\\+0x[0-9a-f]+ "},
      {divide_by_zero, SIGFPE, "fatal signal SIGFPE \\(8\\) at address 0x[0-9a-f]+\n!!! in unit_tests\\+0x"},
      {call_abort, SIGABRT, "fatal signal SIGABRT \\(6\\)\n!!! in [^\n]+\n!!! backtrace:\n  #0 0x[0-9a-f]+ "},
  };
  std::string dir = make_temp_folder() + "/";
  for (const Case& c : cases) {
    std::string log = dir + "log.txt";
    unlink(log.c_str());
    EXPECT_EXIT(
        {
          int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
          set_crash_report_log_fd(fd);
          install_crash_report();
          c.crash();
          _exit(0);
        },
        testing::KilledBySignal(c.sig), c.report);
    // The log holds the same report, with the frames of the backtrace placed in their modules.
    std::string text = read_file_text(log);
    EXPECT_NE(text.find(std::string("!!! fatal signal ")), std::string::npos) << text;
    EXPECT_NE(text.find("!!! backtrace:\n  #0 "), std::string::npos) << text;
    EXPECT_NE(text.find("unit_tests+0x"), std::string::npos) << text;
  }
  std::string cmd = "rm -rf '" + dir + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
}

namespace {
volatile sig_atomic_t quit_requests = 0;
// Like the window system's handler: it asks for a quit and re-installs itself.
void request_quit(int sig) {
  quit_requests = quit_requests + 1;
  signal(sig, request_quit);
}
}  // namespace

TEST(CrashReportDeath, ASecondQuitSignalEndsTheProcessAtOnce) {
  for (int sig : {SIGINT, SIGTERM}) {
    EXPECT_EXIT(
        {
          quit_requests = 0;
          signal(sig, request_quit);
          install_second_quit_signal();
          raise(sig);
          if (quit_requests != 1) _exit(3);  // the first one is a quit request, nothing more
          raise(sig);
          _exit(4);  // a process stuck in a loop would never see its quit request
        },
        testing::KilledBySignal(sig),
        sig == SIGINT ? "!!! second SIGINT: ending at once" : "!!! second SIGTERM: ending at once");
  }
}
