#include "testSupport.h"
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include "engine/config.h"
#include "engine/log.h"
#include "engine/sound.h"
#include "platform/platform.h"

std::string make_temp_folder() {
  char tmpl[] = "/tmp/ascenda_test_XXXXXX";
  char* d = mkdtemp(tmpl);
  return d ? d : "/tmp";
}

void DataFolderTest::SetUp() {
  root = make_temp_folder();
  setenv("APPDATA", root.c_str(), 1);
  close_debug_log();
  reset_app_config();
}

void DataFolderTest::TearDown() {
  close_debug_log();
  reset_app_config();
  std::string cmd = "rm -rf '" + root + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", root.c_str());
}

std::string read_file_text(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void write_file_text(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool open_sound_without_speaker(bool use_3d) {
  plat_null_set_audio_device(true);
  bool ok = init_sound(use_3d);
  // Only this opening gets the device: the scene's own start-up in other tests stays silent.
  plat_null_set_audio_device(false);
  return ok;
}

int run_unprivileged(const std::function<int()>& body, std::string* err) {
  char err_file[] = "/tmp/ascenda_err_XXXXXX";
  int fd = mkstemp(err_file);
  if (fd < 0) return 99;
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fd, 2);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(CANNOT_DROP_ROOT);
    _exit(body());
  }
  close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (err) *err = read_file_text(err_file);
  remove(err_file);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

void expect_fatal_while_unreadable(const std::string& path, const std::function<void()>& load,
                                   const std::string& message) {
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  std::string err;
  int rc = run_unprivileged(
      [&] {
        load();
        return 0;
      },
      &err);
  chmod(path.c_str(), 0755);
  if (rc == CANNOT_DROP_ROOT) GTEST_SKIP() << "as root this test needs to become user 65534, which it cannot here";
  EXPECT_EQ(rc, 100);
  EXPECT_NE(err.find(message), std::string::npos) << err;
}
