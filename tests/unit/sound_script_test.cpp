// The sound script and the game's sound events: the real "sound/sound.nut" binds every event to a
// channel that plays; scripts of the tests' own show the failures (missing files, wrong types,
// failing handlers), the reload and the script's random generator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <string>
#include <vector>
#include "engine/app.h"
#include "engine/log.h"
#include "engine/sound.h"
#include "engine/soundScript.h"
#include "engine/sqVMReload.h"
#include "engine/sqbind.h"
#include "engine/sysUtils.h"
#include "game/soundEvents.h"
#include "testSupport.h"

namespace {

std::string bin_dir() {
  std::string d = ASCENDA_SOUND_DATA_DIR;  // <program folder>/sound
  return d.substr(0, d.rfind('/') + 1);
}

float peak(double seconds) {
  std::vector<float> out(size_t(seconds * 44100) * 2);
  for (size_t at = 0; at < out.size(); at += 2048)
    mix_sound_output(out.data() + at, int(std::min<size_t>(2048, out.size() - at) / 2));
  float m = 0;
  for (float s : out) m = fabsf(s) > m ? fabsf(s) : m;
  return m;
}

// A program folder of the test's own with a sound/ folder, a sample and a script.
struct ScriptFolder {
  std::string dir;
  ScriptFolder() {
    char tmpl[] = "/tmp/ascenda_snd_script_XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
    mkdir((dir + "sound").c_str(), 0755);
    std::string cmd = "cp '" + std::string(ASCENDA_SOUND_DATA_DIR) + "/shoot.wav' '" + dir + "sound/a.wav'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  }
  ~ScriptFolder() {
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {}
  }
  void write(const std::string& text, time_t mtime, long nsec = 0, const char* name = "sound/test.nut") {
    std::string path = dir + name;
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fputs(text.c_str(), f);
    fclose(f);
    struct timespec t[2] = {{mtime, nsec}, {mtime, nsec}};
    utimensat(AT_FDCWD, path.c_str(), t, 0);
  }
};

struct SoundScript : testing::Test {
  void SetUp() override {
    set_error_message(nullptr);
    log_sound_events = false;
    ASSERT_TRUE(open_sound_without_speaker(false));
  }
  void TearDown() override {
    close_sound_script();
    close_sound();
    set_error_message(nullptr);
    app_path[0] = 0;
  }
  // Starts the script, returning the log it wrote.
  std::string start(const char* name) {
    testing::internal::CaptureStdout();
    init_sound_script(name);
    return testing::internal::GetCapturedStdout();
  }
};

const char* ONE_EVENT =
    "s <- load_sample(\"sound/a.wav\", 2, 0)\n"
    "events <- { hero_shoot = function() { local c = get_channel(::s); play_channel(c, true); return c } }\n";

}  // namespace

TEST_F(SoundScript, RealScriptBindsEveryEventToAChannelThatPlays) {
  snprintf(app_path, sizeof(app_path), "%s", bin_dir().c_str());
  std::string log = start("sound/sound.nut");
  EXPECT_EQ(log.find("warning: no sound for event"), std::string::npos) << log;
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_EQ(num_sound_script_samples(), 34);
  EXPECT_EQ(num_sound_script_streams(), 1);
  for (int id = 0; id < NUM_SOUND_EVENTS; id++) {
    if (id == 23) continue;
    uint32_t ch = get_sound_event_channel(id);
    ASSERT_NE(ch, 0u) << sound_event_name[id];
    EXPECT_TRUE(is_sound_playing(ch)) << sound_event_name[id];
    EXPECT_GT(peak(0.02), 0.01f) << sound_event_name[id];
    stop_sound(ch);
  }
  EXPECT_FALSE(has_error_message()) << get_error_message();
  uint32_t by_name = get_sound_event_channel("bullet_destroys_wall");
  EXPECT_NE(by_name, 0u);
  EXPECT_EQ(get_sound_event_channel("BULLET_DESTROYS_WALL"), 0u);
  EXPECT_EQ(get_sound_event_channel("no_such_event"), 0u);
}

TEST_F(SoundScript, EventIdsOutsideTheTableGiveZeroWithoutLoggingAndOthersAreLogged) {
  ScriptFolder f;
  f.write(ONE_EVENT, 1000);
  start("sound/test.nut");
  log_sound_events = true;
  clear_visual_log();
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_sound_event_channel(35), 0u);
  EXPECT_EQ(get_sound_event_channel(-1), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(visual_log_count(), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_sound_event_channel(1), 0u);  // no handler, still logged
  EXPECT_NE(get_sound_event_channel(0), 0u);
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("sound event 'hero_jump'"), std::string::npos) << log;
  EXPECT_NE(log.find("sound event 'hero_shoot'"), std::string::npos) << log;
  EXPECT_EQ(visual_log_count(), 2);
  log_sound_events = false;
}

TEST_F(SoundScript, MissingEventsWarnOncePerEventAndPlayNothing) {
  ScriptFolder f;
  f.write(ONE_EVENT, 1000);
  std::string log = start("sound/test.nut");
  EXPECT_EQ(log.find("warning: no sound for event 'hero_shoot'"), std::string::npos);
  EXPECT_NE(log.find("warning: no sound for event 'hero_jump'\n"), std::string::npos);
  EXPECT_NE(log.find("warning: no sound for event 'boss1_dying'\n"), std::string::npos);
  EXPECT_EQ(get_sound_event_channel("hero_jump"), 0u);
  EXPECT_EQ(get_sound_event_channel(23), 0u);
  close_sound_script();
  f.write("x <- 1\n", 2000);
  log = start("sound/test.nut");
  size_t n = 0;
  for (size_t at = 0; (at = log.find("warning: no sound for event", at)) != std::string::npos; at++) n++;
  EXPECT_EQ(n, 34u);  // every event but the unused id 23
}

TEST_F(SoundScript, MissingSampleGivesZeroAndTheMessageListsTheNameAsGiven) {
  ScriptFolder f;
  f.write(std::string(ONE_EVENT) +
              "m1 <- load_sample(\"sound/nothere.wav\", 1, 0)\n"
              "m2 <- load_music(\"Sound/../sound/nomusic.ogg\", 1.0)\n"
              "ok <- (m1 == 0 && m2 == 0) ? 1 : 0\n",
          1000);
  start("sound/test.nut");
  EXPECT_STREQ(get_error_message(),
               "Error in sound script:\nCan't load sound files:\nsound/nothere.wav\nSound/../sound/nomusic.ogg\n");
  EXPECT_NE(get_sound_event_channel(0), 0u);  // the rest of the script ran and is bound
  EXPECT_EQ(num_sound_script_samples(), 1);
}

TEST_F(SoundScript, WithoutADeviceTheScriptRunsAndReportsNoMissingFiles) {
  close_sound();
  ScriptFolder f;
  f.write(ONE_EVENT, 1000);
  std::string log = start("sound/test.nut");
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_EQ(log.find("warning: no sound for event 'hero_shoot'"), std::string::npos) << log;
  EXPECT_EQ(get_sound_event_channel(0), 0u);
}

TEST_F(SoundScript, ScriptFailuresShowInTheErrorMessage) {
  struct Case {
    const char* script;
    int event;
    const char* message;
  };
  const Case cases[] = {
      // A handler whose result is not an integer.
      {"events <- { hero_shoot = function() { return \"loud\" } }\n", 0,
       "Error in sound script:\nsq_get*() failed (type error)"},
      // A handler that fails while running.
      {"events <- { hero_shoot = function() { return nothing_here() } }\n", 0,
       "Error in sound script:\nSqFunc<> call failed"},
      // A native called with a wrong argument type while the script starts.
      {"s <- load_sample(5, 1, 0)\nevents <- {}\n", -1, "Error in sound script:\nsq_get*() failed (type error)"},
      {"s <- get_channel(\"x\")\n", -1, "Error in sound script:\nsq_get*() failed (type error)"},
      // A script that does not compile.
      {"events <- {\n", -1, "Error in sound script:\n"},
  };
  for (const Case& c : cases) {
    ScriptFolder f;
    f.write(c.script, 1000);
    set_error_message(nullptr);
    start("sound/test.nut");
    if (c.event >= 0) {
      EXPECT_FALSE(has_error_message()) << c.script;
      testing::internal::CaptureStdout();
      EXPECT_EQ(get_sound_event_channel(c.event), 0u) << c.script;
      testing::internal::GetCapturedStdout();
    }
    ASSERT_TRUE(has_error_message()) << c.script;
    EXPECT_EQ(std::string(get_error_message()).rfind(c.message, 0), 0u) << c.script << get_error_message();
    close_sound_script();
  }
}

TEST_F(SoundScript, EditedScriptFreesTheSoundsRunsAgainAndRebinds) {
  ScriptFolder f;
  f.write(ONE_EVENT, 1000);
  start("sound/test.nut");
  uint32_t old_channel = get_sound_event_channel(0);
  ASSERT_NE(old_channel, 0u);
  EXPECT_EQ(get_sound_event_channel(1), 0u);
  reload_sound_script();  // unchanged: nothing happens
  EXPECT_TRUE(is_sound_playing(old_channel));

  set_error_message("stale");
  f.write(std::string(ONE_EVENT) +
              "events.hero_jump <- function() { local c = get_channel(::s); play_channel(c, true); return c }\n",
          2000);
  testing::internal::CaptureStdout();
  reload_sound_script();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(has_error_message());
  EXPECT_FALSE(is_sound_playing(old_channel));  // the old sample is gone
  EXPECT_EQ(num_sound_script_samples(), 1);
  EXPECT_NE(get_sound_event_channel(1), 0u);
  EXPECT_NE(get_sound_event_channel(0), 0u);
  EXPECT_EQ(log.find("no sound for event 'hero_jump'"), std::string::npos);

  // A reload that fails keeps the events bound as they were and shows the error.
  f.write("this does not compile (\n", 3000);
  testing::internal::CaptureStdout();
  reload_sound_script();
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(has_error_message());
  EXPECT_EQ(std::string(get_error_message()).rfind("Error in sound script:\n", 0), 0u);
  testing::internal::CaptureStdout();
  get_sound_event_channel(1);  // still bound: no failure, its sample is freed so no channel
  testing::internal::GetCapturedStdout();
  EXPECT_STRNE(get_error_message(), "Error in sound script:\nSqFunc<> call failed");
}

TEST_F(SoundScript, GameRndFollowsTheGameGeneratorWithItsOwnState) {
  ScriptFolder f;
  f.write("r <- [game_rnd(), game_rnd(), game_rnd()]\nevents <- {}\n", 1000);
  game_rnd_seed = 0x123456789ABCDEFull;
  testing::internal::CaptureStdout();
  init_sound_script("sound/test.nut");
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(game_rnd_seed, 0x123456789ABCDEFull);  // the game's own state is untouched
  uint64_t state = 0x123456789ABCDEFull;
  HSQUIRRELVM vm = sound_script_vm.vm;
  sq_pushroottable(vm);
  sq_pushstring(vm, "r", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(vm, -2)));
  for (int i = 0; i < 3; i++) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    int expected = int(uint32_t(state >> 32) & 0x7FFFFFFF);
    sq_pushinteger(vm, i);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(vm, -2)));
    SQInteger v = 0;
    sq_getinteger(vm, -1, &v);
    EXPECT_EQ(v, expected);
    sq_poptop(vm);
  }
  sq_pop(vm, 2);
}

TEST_F(SoundScript, RunawayScriptIsStoppedAtStartAndOnReloadAndTheGameGoesOn) {
  sqbind::ScriptBudget saved = sqbind::file_run_budget;
  sqbind::file_run_budget = {300, size_t(8) << 20};
  ScriptFolder f;
  f.write("s <- load_sample(\"sound/a.wav\", 2, 0)\nwhile (true) {}\n", 1000);
  start("sound/test.nut");
  EXPECT_STREQ(get_error_message(),
               "Error in sound script:\nscript 'sound/test.nut' was stopped: it ran longer than 300 ms");
  EXPECT_EQ(get_sound_event_channel(0), 0u);

  f.write(ONE_EVENT, 1000, 1);
  testing::internal::CaptureStdout();
  reload_sound_script();
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_NE(get_sound_event_channel(0), 0u);

  // Runaway recursion and a memory bomb, saved within the same second: each is stopped, and the
  // events keep the binding they had.
  const char* bombs[] = {"function f(n) { return f(n + 1) }\nf(0)\n",
                         "::keep <- []\nwhile (true) ::keep.append(array(64, \"x\"))\n"};
  long ns = 2;
  for (const char* bomb : bombs) {
    f.write(std::string(ONE_EVENT) + "events.hero_shoot = function() { return 12345 }\n" + bomb, 1000, ns++);
    testing::internal::CaptureStdout();
    reload_sound_script();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        std::string(get_error_message()).rfind("Error in sound script:\nscript 'sound/test.nut' was stopped: ", 0), 0u)
        << get_error_message();
    testing::internal::CaptureStdout();
    EXPECT_NE(get_sound_event_channel(0), 12345u);  // not the new handler
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(get_error_message()).find("SqFunc"), std::string::npos) << get_error_message();
  }
  sqbind::file_run_budget = saved;
}

TEST_F(SoundScript, IncludedFilesThatFailShowTheirErrorAndTheFixIsSeenWithinTheSecond) {
  ScriptFolder f;
  f.write(std::string("include(\"sound/lib.nut\")\n") + ONE_EVENT, 1000);
  start("sound/test.nut");
  EXPECT_STREQ(get_error_message(), "Error in sound script:\ncan't open 'sound/lib.nut': No such file or directory");
  EXPECT_EQ(get_sound_event_channel(0), 0u);

  f.write("local typo = = 1\n", 1000, 0, "sound/lib.nut");
  testing::internal::CaptureStdout();
  reload_sound_script();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("sound/lib.nut(1,"), std::string::npos) << log;
  ASSERT_TRUE(has_error_message());
  std::string shown = get_error_message();
  EXPECT_EQ(shown.rfind("Error in sound script:\n", 0), 0u);
  EXPECT_GT(shown.size(), strlen("Error in sound script:\n"));
  EXPECT_EQ(shown.find("unknown error"), std::string::npos) << shown;
  // Nothing changed: nothing runs again.
  set_error_message("kept");
  reload_sound_script();
  EXPECT_STREQ(get_error_message(), "kept");

  f.write("lib_loaded <- true\n", 1000, 1, "sound/lib.nut");  // the fix, in the same second
  testing::internal::CaptureStdout();
  reload_sound_script();
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_NE(get_sound_event_channel(0), 0u);
}

TEST_F(SoundScript, SecondStartWithoutCloseReleasesTheOldScriptFirst) {
  ScriptFolder f;
  f.write(ONE_EVENT, 1000);
  start("sound/test.nut");
  ASSERT_NE(get_sound_event_channel(0), 0u);
  start("sound/test.nut");
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_EQ(num_sound_script_samples(), 1);  // the first start's sample was freed
  uint32_t ch = get_sound_event_channel(0);
  EXPECT_NE(ch, 0u);
  EXPECT_TRUE(is_sound_playing(ch));
}
