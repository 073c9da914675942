// Helpers shared by the unit tests: a fresh data folder per test and small file utilities.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <functional>
#include <string>
#include <vector>

// Points the data folder (APPDATA) at a new empty temporary folder for the test's lifetime.
class DataFolderTest : public testing::Test {
 protected:
  std::string root;
  void SetUp() override;
  void TearDown() override;
  std::string dataPath(const std::string& name) const { return root + "/ASCENDA/" + name; }
};

std::string read_file_text(const std::string& path);
void write_file_text(const std::string& path, const std::string& text);
bool file_exists(const std::string& path);
std::string make_temp_folder();
// Opens the sound layer on a device of the null platform that never mixes by itself: the test
// renders what a speaker would get with mix_sound_output.
bool open_sound_without_speaker(bool use_3d);

// Runs body in a child process without root's right to read any file: as root the child becomes
// user 65534, as any other user it stays that user. The child's exit code is body's result (0 for
// success), or CANNOT_DROP_ROOT when root could not give up its rights (a container without another
// user, say). With err given, it receives what the child wrote to its error output (where a fatal
// error goes).
const int CANNOT_DROP_ROOT = 90;
int run_unprivileged(const std::function<int()>& body, std::string* err = nullptr);
// Makes the file or folder unreadable (mode 000, put back afterwards), runs load as a user that
// mode binds and expects it to stop with a fatal error that says message. Skips the test when root
// cannot become that user.
void expect_fatal_while_unreadable(const std::string& path, const std::function<void()>& load,
                                   const std::string& message);
