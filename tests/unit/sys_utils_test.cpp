// Platform utilities: pipes, libraries by name, the desktop's opener, the folder watch, process
// priority, long paths, window sizes, and the main loop's behaviour while the device is lost.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include "engine/app.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"
#include "testSupport.h"

TEST(System, PipeBytesAreCountedWithoutBlocking) {
  EXPECT_EQ(get_pipe_bytes_available(nullptr), 0);
  FILE* p = popen("printf 'hello'", "r");
  ASSERT_NE(p, nullptr);
  int n = 0;
  for (int i = 0; i < 200 && n == 0; i++) {
    n = get_pipe_bytes_available(p);
    if (n == 0) usleep(5000);
  }
  EXPECT_EQ(n, 5);
  char c;
  ASSERT_EQ(fread(&c, 1, 1, p), 1u);
  EXPECT_EQ(get_pipe_bytes_available(p), 4);  // the rest sits in the stream's buffer
  pclose(p);
}

TEST(System, LibrariesByName) {
  EXPECT_EQ(load_library("/no/such/library.so"), nullptr);
  void* m = load_library("libm.so.6");
  ASSERT_NE(m, nullptr);
  EXPECT_NE(get_library_proc(m, "cos"), nullptr);
  EXPECT_EQ(get_library_proc(m, "no_such_function_here"), nullptr);
  EXPECT_TRUE(free_library(m));
  EXPECT_FALSE(free_library(nullptr));
}

TEST(System, FolderWatchSeesTheWholeTreeAndFoldersMadeLater) {
  std::string dir = make_temp_folder();
  ASSERT_TRUE(plat_make_folder((dir + "/sound/music").c_str()));
  int w = plat_dir_watch_open(dir.c_str());
  ASSERT_GE(w, 0);
  EXPECT_EQ(plat_dir_watch_poll(w), 0);
  write_file_text(dir + "/changed.txt", "x");
  EXPECT_GE(plat_dir_watch_poll(w), 1);
  EXPECT_EQ(plat_dir_watch_poll(w), 0);
  write_file_text(dir + "/sound/music/deep.txt", "x");
  EXPECT_GE(plat_dir_watch_poll(w), 1);
  ASSERT_TRUE(plat_make_folder((dir + "/later").c_str()));
  EXPECT_GE(plat_dir_watch_poll(w), 1);
  write_file_text(dir + "/later/new.txt", "x");
  EXPECT_GE(plat_dir_watch_poll(w), 1);
  EXPECT_EQ(plat_dir_watch_poll(w), 0);
  plat_dir_watch_close(w);
  EXPECT_LT(plat_dir_watch_open("/no/such/folder"), 0);
}

TEST(System, TheProgramFolderWatchIsRetriedUntilTheFolderExists) {
  char saved[sizeof(app_path)];
  memcpy(saved, app_path, sizeof(app_path));
  std::string dir = make_temp_folder() + "/program";
  snprintf(app_path, sizeof(app_path), "%s/", dir.c_str());
  open_dir_watch();
  poll_dir_watch();
  EXPECT_EQ(dir_watch_record_count(), -1);
  ASSERT_TRUE(plat_make_folder((dir + "/data").c_str()));
  poll_dir_watch();  // opens it now
  EXPECT_EQ(dir_watch_record_count(), 0);
  write_file_text(dir + "/data/level.txt", "x");
  poll_dir_watch();
  EXPECT_GE(dir_watch_record_count(), 1);
  close_dir_watch();
  EXPECT_EQ(dir_watch_record_count(), -1);
  memcpy(app_path, saved, sizeof(app_path));
}

TEST(System, PriorityLevelsSetTheNicenessTheSystemAllows) {
  set_process_priority(0);
  int normal = getpriority(PRIO_PROCESS, 0);
  // Lowering the niceness needs privileges (root, or a RLIMIT_NICE that allows it); without them
  // the process stays where it is rather than going somewhere it could not come back from.
  struct rlimit rl;
  int lowest = 20;
  if (getrlimit(RLIMIT_NICE, &rl) == 0) lowest = 20 - int(rl.rlim_cur == RLIM_INFINITY ? 40 : rl.rlim_cur);
  if (geteuid() == 0) lowest = -20;
  auto lowered = [&](int by) {
    int want = normal - by < -20 ? -20 : normal - by;
    if (want >= lowest) return want;
    return lowest <= normal ? lowest : normal;
  };
  struct Case {
    int level, niceness;
  };
  const Case cases[] = {{1, lowered(5)}, {2, lowered(10)}, {5, lowered(10)}, {0, normal}, {-4, normal}};
  for (const Case& c : cases) {
    set_process_priority(c.level);
    EXPECT_EQ(get_process_priority(), c.level);
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), c.niceness) << "level " << c.level;
  }
  // Inactive, the process steps back (when it may return); active again, its level applies again.
  set_process_priority(1);
  isAppActive = true;
  app_window_proc(nullptr, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(isAppActive);
  if (normal >= lowest || geteuid() == 0) EXPECT_EQ(getpriority(PRIO_PROCESS, 0), 19);
  else EXPECT_EQ(getpriority(PRIO_PROCESS, 0), normal);
  app_window_proc(nullptr, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_TRUE(isAppActive);
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), lowered(5));
  set_process_priority(0);
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), normal);
  isAppActive = false;
}

// The GPU load as the amdgpu driver reports it, read from a fake "/sys/class/drm".
TEST(System, TheGpuLoadComesFromTheFirstCardThatReportsIt) {
  std::string temp = make_temp_folder(), drm = temp + "/drm";
  auto card_file = [&](const std::string& card) { return drm + "/" + card + "/device/gpu_busy_percent"; };
  auto put = [&](const std::string& card, const char* text) {
    ASSERT_TRUE(plat_make_folder((drm + "/" + card).c_str()));
    ASSERT_TRUE(plat_make_folder((drm + "/" + card + "/device").c_str()));
    if (text) write_file_text(card_file(card), text);
  };
  int gpu = 7;
  EXPECT_FALSE(init_gpu_activity_in(drm.c_str()));  // no such folder: no figure
  EXPECT_FALSE(get_gpu_activity(&gpu));
  put("card0", nullptr);      // a card whose driver says nothing
  put("card0-DP-1", "55\n");  // a connector, not a card
  EXPECT_FALSE(init_gpu_activity_in(drm.c_str()));
  put("card10", "90\n");
  put("card2", "37\n");
  ASSERT_TRUE(init_gpu_activity_in(drm.c_str()));
  EXPECT_TRUE(get_gpu_activity(&gpu));
  EXPECT_EQ(gpu, 37);  // card2: the lowest number that has the file
  struct Case {
    const char* text;
    int percent;  // -1: no figure
  } cases[] = {{"0\n", 0},   {"100\n", 100}, {"5", 5}, {"101\n", -1},
               {"-1\n", -1}, {"abc\n", -1},  {"", -1}, {"12 x\n", -1}};
  for (const Case& c : cases) {
    write_file_text(card_file("card2"), c.text);
    gpu = 7;
    EXPECT_EQ(get_gpu_activity(&gpu), c.percent >= 0) << c.text;
    EXPECT_EQ(gpu, c.percent >= 0 ? c.percent : 7) << c.text;
  }
  remove(card_file("card2").c_str());  // a read error
  EXPECT_FALSE(get_gpu_activity(&gpu));
  write_file_text(card_file("card2"), "50\n");
  close_gpu_activity();
  EXPECT_FALSE(get_gpu_activity(&gpu));
  ASSERT_EQ(system(("rm -rf '" + temp + "'").c_str()), 0);
}

namespace {
int sleeps = 0, lost_updates = 0;
int64_t lost_now() { return plat_counter(); }
void lost_pump() { plat_null_advance_counter(10000); }  // pumping messages takes a millisecond
void lost_update(float) {
  if (++lost_updates == 10) app_request_quit();
}
bool lost_render(float) { return false; }
void lost_present() {}
bool lost_device() { return false; }
void lost_sleep(int ms) {
  sleeps++;
  plat_null_advance_counter(int64_t(ms) * 10000 + 1);
}
void lost_once() {}
void lost_pass() {}
}  // namespace

TEST(MainLoop, ALostDeviceSleepsWhileUpdatesGoOnAtTheirRate) {
  plat_null_set_counter(0);
  init_timer();
  set_update_rate(20, 5);
  app_clear_quit();
  set_main_loop_hooks(MainLoopHooks{lost_now, lost_pump, lost_update, lost_render, lost_present, lost_device,
                                    lost_sleep, lost_once, lost_pass});
  run_main_loop();
  EXPECT_EQ(lost_updates, 10);
  EXPECT_GT(sleeps, 10);
  // Ten updates at 20 a second take about half a second of the scripted clock, not a burst (each may
  // start up to half a step early).
  EXPECT_GE(plat_counter(), 9 * 500000 - 250000);
  EXPECT_LE(plat_counter(), 10 * 500000);
}

namespace {
// Puts a stand-in opener first on PATH (or none at all) for one test.
struct OpenerOnPath {
  std::string dir, old_path;
  explicit OpenerOnPath(bool with_opener) {
    dir = make_temp_folder();
    old_path = getenv("PATH") ? getenv("PATH") : "";
    if (with_opener) {
      write_file_text(dir + "/xdg-open",
                      "#!/bin/sh\nprintf '%s|' \"$@\" > \"$0.args.tmp\"\nmv \"$0.args.tmp\" \"$0.args\"\n");
      chmod((dir + "/xdg-open").c_str(), 0755);
      setenv("PATH", (dir + ":/usr/bin:/bin").c_str(), 1);
    } else {
      setenv("PATH", dir.c_str(), 1);
    }
  }
  ~OpenerOnPath() { setenv("PATH", old_path.c_str(), 1); }
  std::string wait_args() const {
    for (int i = 0; i < 400 && !file_exists(dir + "/xdg-open.args"); i++) usleep(5000);
    return file_exists(dir + "/xdg-open.args") ? read_file_text(dir + "/xdg-open.args") : "(not started)";
  }
};
}  // namespace

TEST(System, TheOpenerGetsTheNameAsOneArgumentThatNoShellParses) {
  OpenerOnPath opener(true);
  std::string probe = opener.dir + "/probe";
  for (std::string name : {std::string("https://example.org/a b?c=1&d=2"), "x'; touch " + probe + "; echo '",
                           std::string("$(touch ") + probe + ")"}) {
    unlink((opener.dir + "/xdg-open.args").c_str());
    EXPECT_TRUE(plat_open_document(name.c_str())) << name;
    EXPECT_EQ(opener.wait_args(), name + "|");
    EXPECT_FALSE(file_exists(probe)) << name;
  }
  EXPECT_FALSE(plat_open_document(""));
}

class SystemLog : public DataFolderTest {};

TEST_F(SystemLog, AMissingOpenerIsReportedAsAFailure) {
  OpenerOnPath opener(false);
  EXPECT_FALSE(plat_open_document("https://example.org/"));
  close_debug_log();
  shell_execute("open", "https://example.org/", nullptr, nullptr);
  close_debug_log();
  EXPECT_NE(read_file_text(dataPath("log.txt")).find("can't open 'https://example.org/'"), std::string::npos);
}

// ---- long paths: the program and data folders may be as long as the system allows

namespace {
// A real folder whose path is at least `length` bytes long, made of 50-byte steps.
std::string make_long_folder(const std::string& base, size_t length) {
  std::string p = base;
  while (p.size() < length) {
    p += "/" + std::string(49, 'p');
    mkdir(p.c_str(), 0755);
  }
  return p + "/";
}
}  // namespace

TEST(Paths, LongProgramAndDataFoldersWork) {
  std::string base = make_temp_folder();
  char saved[sizeof(app_path)];
  memcpy(saved, app_path, sizeof(app_path));
  for (size_t length : {230, 600, 3000}) {
    std::string prog = make_long_folder(base, length);
    snprintf(app_path, sizeof(app_path), "%s", prog.c_str());
    EXPECT_EQ(std::string(make_full_path("sprites/a.png")), prog + "sprites/a.png") << length;
    EXPECT_EQ(std::string(make_full_path("x/../y.txt")), prog + "y.txt") << length;
    setenv("APPDATA", prog.c_str(), 1);
    EXPECT_EQ(std::string(get_appdata_folder_path("settings.cfg")), prog + "ASCENDA/settings.cfg") << length;
    PathString out;
    EXPECT_TRUE(try_make_full_path("a", out));
  }
  // The program's own name is found however deep it lies (a 520-byte folder once became the
  // current folder).
  char exe[MAX_PATH_BYTES];
  EXPECT_TRUE(get_exe_path(exe, sizeof(exe)));
  EXPECT_EQ(exe[strlen(exe) - 1], '/');
  // A name that cannot fit even then is refused by the variant that may fail, and fatal with its
  // name everywhere else.
  std::string huge = "data/" + std::string(5000, 'n') + ".png";
  PathString out;
  EXPECT_FALSE(try_make_full_path(huge.c_str(), out));
  EXPECT_EXIT(make_full_path(huge.c_str()), testing::ExitedWithCode(100), "file name is too long .*data/nnnnnnnn");
  EXPECT_EXIT(make_path("tiles/%s", huge.c_str()), testing::ExitedWithCode(100), "path is too long .*tiles/data/nnnn");
  memcpy(app_path, saved, sizeof(app_path));
  unsetenv("APPDATA");
  std::string cmd = "rm -rf '" + base + "'";
  EXPECT_EQ(system(cmd.c_str()), 0);
}

TEST(Window, ConfiguredSizesAreClampedToTheDisplay) {
  int sw = 0, sh = 0;
  plat_get_screen_size(&sw, &sh);
  struct Case {
    int wd, ht, want_wd, want_ht;
    bool logged;
  } cases[] = {
      {20000, 20000, sw, sh, true}, {sw + 1, 100, sw, 100, true},
      {100, sh + 1, 100, sh, true}, {INT_MIN, INT_MIN, 0, 0, true},
      {-1, 300, 0, 300, true},      {800, 600, 800, 600, false},
      {0, 0, 0, 0, false},          {sw, sh, sw, sh, false},
  };
  for (const Case& c : cases) {
    app_screen_wd = c.wd;
    app_screen_ht = c.ht;
    testing::internal::CaptureStdout();
    clamp_screen_size_to_display();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(app_screen_wd, c.want_wd) << c.wd << "x" << c.ht;
    EXPECT_EQ(app_screen_ht, c.want_ht) << c.wd << "x" << c.ht;
    EXPECT_EQ(out.find("clamped to") != std::string::npos, c.logged) << out;
  }
  app_screen_wd = app_screen_ht = 0;
}
