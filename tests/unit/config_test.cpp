// Settings file grammar, typed getters, saving and the command-line switches; ConfigNode.
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>
#include <vector>
#include "engine/app.h"
#include "engine/config.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "testSupport.h"

namespace {
struct Entry {
  std::string key, value;
};
void collect(void* ctx, const char* k, int kl, const char* v, int vl) {
  ((std::vector<Entry>*)ctx)->push_back(Entry{std::string(k, size_t(kl)), std::string(v, size_t(vl))});
}
std::vector<Entry> parse(const std::string& text) {
  std::vector<Entry> out;
  parse_config_lines(text.data(), int(text.size()), collect, &out);
  return out;
}
}  // namespace

TEST(ConfigGrammar, LinesCommentsAndBlanks) {
  struct Case {
    const char* text;
    std::vector<Entry> expect;
  } cases[] = {
      {"// comment\n\n  fullscreen = 0  \r\nvsync=1 // c\n", {{"fullscreen", "0"}, {"vsync", "1 // c"}}},
      {"key=\n", {{"key", ""}}},
      {"a b=1\n", {{"b", "1"}}},
      {"word\nx=2", {{"x", "2"}}},
      {"_CONFIG_VERSION_=7\nk=v", {{"k", "v"}}},
      {"=empty\n", {{"", "empty"}}},
      {"k=a=b  c\r\r\n\nz\t=\tq", {{"k", "a=b  c"}, {"z", "q"}}},
      {"// only a comment", {}},
      {"dup=1\ndup=2\n", {{"dup", "1"}, {"dup", "2"}}},
      {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<Entry> got = parse(c.text);
    ASSERT_EQ(got.size(), c.expect.size()) << c.text;
    for (size_t i = 0; i < got.size(); i++) {
      EXPECT_EQ(got[i].key, c.expect[i].key) << c.text;
      EXPECT_EQ(got[i].value, c.expect[i].value) << c.text;
    }
  }
}

TEST(ConfigGrammar, IntegersWithBasePrefixes) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"0x10", true, 16},
      {"010", true, 8},
      {"12abc", true, 12},
      {"abc", false, 0},
      {"  -5", true, -5},
      {"+7", true, 7},
      {"0", true, 0},
      {"0xZ", true, 0},
      {"", false, 0},
      {"-", false, 0},
      {"99999999999999999999", true, 2147483647},
      {"-99999999999", true, -2147483647 - 1},
  };
  for (const Case& c : cases) {
    int v = -12345;
    EXPECT_EQ(parse_config_int(c.text, &v), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(v, c.value) << c.text;
    else EXPECT_EQ(v, -12345) << c.text;
  }
}

class Settings : public DataFolderTest {};

TEST_F(Settings, ReadsTheFileOnFirstUse) {
  mkdir((root + "/ASCENDA").c_str(), 0755);
  write_file_text(dataPath("settings.cfg"),
                  "// Game settings\r\n_CONFIG_VERSION_=1\r\n\r\nfullscreen = 0 \r\nvsync=1 // c\r\nlong=" +
                      std::string(70, '1') + "\r\ndup=1\r\ndup=2\r\nempty=\r\n");
  bool b = true;
  EXPECT_TRUE(get_config_bool("fullscreen", &b));
  EXPECT_FALSE(b);
  char buf[32];
  EXPECT_TRUE(get_config_str("vsync", buf, sizeof(buf)));
  EXPECT_STREQ(buf, "1 // c");
  int v = 0;
  EXPECT_TRUE(get_config_int("vsync", &v));
  EXPECT_EQ(v, 1);
  EXPECT_FALSE(get_config_int("long", &v));  // 64 characters or more are invisible to the number getters
  EXPECT_TRUE(get_config_int("dup", &v));
  EXPECT_EQ(v, 1);
  EXPECT_FALSE(get_config_int("empty", &v));
  EXPECT_FALSE(get_config_str("vsync", buf, 6));  // value and terminator must fit
  EXPECT_FALSE(get_config_int("missing", &v));
  // Nothing changed: a flush writes nothing.
  std::string before = read_file_text(dataPath("settings.cfg"));
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(read_file_text(dataPath("settings.cfg")), before);
}

TEST_F(Settings, SavesAfterAChangeWithTheVersionLine) {
  mkdir((root + "/ASCENDA").c_str(), 0755);
  write_file_text(dataPath("settings.cfg"), "_CONFIG_VERSION_=7\ndup=1\ndup=2\nkeep=x\n");
  EXPECT_TRUE(set_config_int("dup", 5));
  EXPECT_TRUE(set_config_bool("newkey", true));
  EXPECT_TRUE(set_config_str("raw", "abcdef", 3));
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(read_file_text(dataPath("settings.cfg")),
            "// Game settings\n_CONFIG_VERSION_=1\n\ndup=5\ndup=2\nkeep=x\nnewkey=1\nraw=abc\n");
  EXPECT_FALSE(file_exists(dataPath("settings.cfg.tmp")));
  // Setting the same value again still marks the table for writing.
  write_file_text(dataPath("settings.cfg"), "changed behind our back");
  set_config_int("dup", 5);
  EXPECT_TRUE(flush_app_config());
  EXPECT_NE(read_file_text(dataPath("settings.cfg")), "changed behind our back");
}

TEST_F(Settings, AMissingFileIsCreatedByTheFirstFlush) {
  int v;
  EXPECT_FALSE(get_config_int("screen_wd", &v));
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(read_file_text(dataPath("settings.cfg")), "// Game settings\n_CONFIG_VERSION_=1\n\n");
}

TEST_F(Settings, AFlushBeforeAnythingWasReadLeavesTheUsersFileAlone) {
  mkdir((root + "/ASCENDA").c_str(), 0755);
  write_file_text(dataPath("settings.cfg"), "screen_wd=800\n");
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(read_file_text(dataPath("settings.cfg")), "screen_wd=800\n");
}

TEST_F(Settings, AnUnwritableFolderFailsTheSaveAndKeepsTheOldFile) {
  if (geteuid() == 0) {
    // root writes anywhere; use a data folder path that is a file instead.
    write_file_text(root + "/ASCENDA", "not a folder");
    set_config_int("a", 1);
    EXPECT_FALSE(flush_app_config());
    EXPECT_EQ(read_file_text(root + "/ASCENDA"), "not a folder");
    EXPECT_FALSE(flush_app_config());  // still due: tried again at every flush
    return;
  }
  mkdir((root + "/ASCENDA").c_str(), 0755);
  write_file_text(dataPath("settings.cfg"), "a=0\n");
  chmod((root + "/ASCENDA").c_str(), 0555);
  set_config_int("a", 1);
  EXPECT_FALSE(flush_app_config());
  EXPECT_EQ(read_file_text(dataPath("settings.cfg")), "a=0\n");
  chmod((root + "/ASCENDA").c_str(), 0755);
}

// The save must never touch the old file until the new one is complete. Both checks hold as root:
// a file-size limit binds root too, and a hard link shows whether the old file was rewritten in
// place or replaced by a new one.
TEST_F(Settings, ASaveReplacesTheFileAndAFailedWriteLeavesTheOldOneWhole) {
  mkdir((root + "/ASCENDA").c_str(), 0755);
  std::string file = dataPath("settings.cfg"), old_copy = root + "/old-settings";
  const std::string old_text = "screen_wd=800\nmusic_volume=3\n";
  write_file_text(file, old_text);
  ASSERT_EQ(link(file.c_str(), old_copy.c_str()), 0);
  struct stat before, after;
  ASSERT_EQ(stat(file.c_str(), &before), 0);

  // A write that fails part-way (the file may not grow past 16 bytes): the save says so and the
  // file keeps every byte it had.
  EXPECT_EXIT(
      {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = 16;
        setrlimit(RLIMIT_FSIZE, &limit);
        set_config_str("long", std::string(100, 'x').c_str(), -1);
        _exit(flush_app_config() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file_text(file), old_text);
  EXPECT_FALSE(file_exists(file + ".tmp"));

  // A save that succeeds puts a new file in the old one's place: the old file, still reachable
  // through its other name, was never written to.
  set_config_int("screen_wd", 1024);
  ASSERT_TRUE(flush_app_config());
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(read_file_text(old_copy), old_text);
  EXPECT_EQ(read_file_text(file), "// Game settings\n_CONFIG_VERSION_=1\n\nscreen_wd=1024\nmusic_volume=3\n");
}

// The new file that a save puts in the old one's place keeps the old one's permissions: settings a
// user made private stay private. Under the usual umask a file the save created with its own mode
// would come out 0644, so each mode here shows whether it was carried over.
TEST_F(Settings, ASaveKeepsTheFilesPermissions) {
  mkdir((root + "/ASCENDA").c_str(), 0755);
  std::string file = dataPath("settings.cfg");
  mode_t old_umask = umask(022);
  for (mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0664)}) {
    SCOPED_TRACE(mode);
    reset_app_config();
    write_file_text(file, "screen_wd=800\n");
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
    set_config_int("screen_wd", 1024);
    ASSERT_TRUE(flush_app_config());
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    EXPECT_NE(read_file_text(file).find("screen_wd=1024"), std::string::npos);
  }
  umask(old_umask);
}

// A settings file that is a link is saved through it: the link stays, its target gets the new
// settings, and the temporary file lives beside the target, in the target's folder.
TEST_F(Settings, ALinkedSettingsFileIsSavedThroughTheLink) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // link, what it points to (in order)
    std::string target;                                      // the file that holds the settings
  };
  const std::string dots = root + "/dotfiles";
  const Case cases[] = {
      {"a relative link", {{"settings.cfg", "../dotfiles/ascenda.cfg"}}, dots + "/ascenda.cfg"},
      {"a chain of two absolute links",
       {{"settings.cfg", dots + "/hop.cfg"}, {dots + "/hop.cfg", dots + "/ascenda.cfg"}},
       dots + "/ascenda.cfg"},
      {"a link whose target is not there yet", {{"settings.cfg", dots + "/new.cfg"}}, dots + "/new.cfg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(system(("rm -rf '" + root + "/ASCENDA' '" + dots + "'").c_str()), 0);
    mkdir((root + "/ASCENDA").c_str(), 0755);
    mkdir(dots.c_str(), 0755);
    if (c.target != dots + "/new.cfg") write_file_text(c.target, "fullscreen=0\n");
    for (const auto& l : c.links) {
      std::string at = l.first[0] == '/' ? l.first : dataPath(l.first);
      ASSERT_EQ(symlink(l.second.c_str(), at.c_str()), 0);
    }
    reset_app_config();
    set_config_int("vsync", 0);
    ASSERT_TRUE(flush_app_config());
    struct stat st;
    ASSERT_EQ(lstat(dataPath("settings.cfg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    std::string expected = "// Game settings\n_CONFIG_VERSION_=1\n\n";
    if (c.target != dots + "/new.cfg") expected += "fullscreen=0\n";
    EXPECT_EQ(read_file_text(c.target), expected + "vsync=0\n");
    EXPECT_FALSE(file_exists(dataPath("settings.cfg.tmp")));
    EXPECT_FALSE(file_exists(c.target + ".tmp"));
  }
  // Links that lead round in a circle: the file cannot be read, so it is never replaced.
  ASSERT_EQ(system(("rm -rf '" + root + "/ASCENDA' '" + dots + "'").c_str()), 0);
  mkdir((root + "/ASCENDA").c_str(), 0755);
  ASSERT_EQ(symlink("loop.cfg", dataPath("settings.cfg").c_str()), 0);
  ASSERT_EQ(symlink("settings.cfg", dataPath("loop.cfg").c_str()), 0);
  reset_app_config();
  set_config_int("vsync", 0);
  flush_app_config();
  for (const char* name : {"settings.cfg", "loop.cfg"}) {
    struct stat st;
    EXPECT_EQ(lstat(dataPath(name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
  }
}

TEST_F(Settings, StartUpDefaultsSettingsAndSwitches) {
  mkdir((root + "/ASCENDA").c_str(), 0755);
  write_file_text(dataPath("settings.cfg"), "screen_wd=800\nscreen_ht=600\nfullscreen=0\nvsync=0\ndevkeys=1\n");
  struct Case {
    std::vector<const char*> args;
    int wd, ht;
    bool fullscreen, vsync, aa;
  } cases[] = {
      {{}, 800, 600, false, false, false},
      {{"-720", "-360"}, 640, 360, false, false, false},
      {{"-360", "-720"}, 1280, 720, false, false, false},
      {{"-win", "-fullscr"}, 800, 600, true, false, false},
      {{"-fullscr", "-win", "-vs", "-aa"}, 800, 600, false, true, true},
      {{"-aa", "-noaa", "-vs", "-novs", "-WIN", "junk"}, 800, 600, false, false, false},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv{(char*)"game"};
    for (const char* a : c.args) argv.push_back((char*)a);
    use_dev_keys = false;
    read_app_settings(int(argv.size()), argv.data());
    EXPECT_EQ(app_screen_wd, c.wd);
    EXPECT_EQ(app_screen_ht, c.ht);
    EXPECT_EQ(app_want_fullscreen, c.fullscreen);
    EXPECT_EQ(app_use_vsync, c.vsync);
    EXPECT_EQ(app_use_aa, c.aa);
    EXPECT_TRUE(use_dev_keys);
  }
  EXPECT_STREQ(vs_profile_name, "vs_2_0");
  EXPECT_STREQ(ps_profile_name, "ps_2_0");
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(read_file_text(dataPath("settings.cfg")),
            "screen_wd=800\nscreen_ht=600\nfullscreen=0\nvsync=0\ndevkeys=1\n");
}

// Arguments the game does not know are still ignored, and named together in one line of the log.
TEST_F(Settings, UnknownArgumentsAreNamedInOneLogLine) {
  char* argv[] = {(char*)"game", (char*)"-win", (char*)"junk", (char*)"-fast", (char*)"-720"};
  close_debug_log();
  read_app_settings(5, argv);
  close_debug_log();
  EXPECT_FALSE(app_want_fullscreen);
  EXPECT_EQ(app_screen_wd, 1280);
  std::string log = read_file_text(dataPath("log.txt"));
  EXPECT_NE(log.find("ignoring unknown command-line arguments: 'junk' '-fast'\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("-win"), std::string::npos) << log;
}

// The log is read on terminals: an argument's control bytes (an escape sequence that would colour
// or clear the screen, a line end that would forge a log line) are written escaped, and a line
// too long for the log says that it was cut and how much of it is missing.
TEST_F(Settings, UnknownArgumentsAreLoggedEscapedAndCutVisibly) {
  const std::string long_arg(400, 'x');
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string line;
  } cases[] = {
      {"control bytes",
       {"\x1b[2J\x1b[31mred", "a\\b", "two\nlines", "\x7f"},
       "ignoring unknown command-line arguments: '\\x1B[2J\\x1B[31mred' 'a\\\\b' 'two\\x0Alines' '\\x7F'\n"},
      {"too many for one line",
       {long_arg, long_arg, long_arg, long_arg, "last"},
       "ignoring unknown command-line arguments: '" + long_arg + "' '" + long_arg + "' '" + std::string(212, 'x') +
           "... (the line is cut: 3 of the 5 not shown in full)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<char*> argv = {(char*)"game"};
    for (const std::string& a : c.args) argv.push_back((char*)a.c_str());
    close_debug_log();
    remove(dataPath("log.txt").c_str());
    read_app_settings(int(argv.size()), argv.data());
    close_debug_log();
    std::string log = read_file_text(dataPath("log.txt"));
    EXPECT_NE(log.find(c.line), std::string::npos) << log;
    for (char ch : log) EXPECT_FALSE((unsigned char)ch < 0x20 && ch != '\n') << int(ch);
  }
}

// What the game's command line check makes of each argument: help, a switch, a switch written
// wrongly (its usage and exit 2 before anything starts) or something unknown (ignored).
TEST(CommandLine, EachArgumentIsASwitchHelpAMiswrittenSwitchOrUnknown) {
  struct {
    const char* arg;
    AppArgKind kind;
  } cases[] = {
      {"--help", APP_ARG_HELP},
      {"-h", APP_ARG_HELP},
      {"-win", APP_ARG_SWITCH},
      {"-fullscr", APP_ARG_SWITCH},
      {"-360", APP_ARG_SWITCH},
      {"-720", APP_ARG_SWITCH},
      {"-vs", APP_ARG_SWITCH},
      {"-novs", APP_ARG_SWITCH},
      {"-aa", APP_ARG_SWITCH},
      {"-noaa", APP_ARG_SWITCH},
      {"-WIN", APP_ARG_MISWRITTEN_SWITCH},
      {"--win", APP_ARG_MISWRITTEN_SWITCH},
      {"-win=1", APP_ARG_MISWRITTEN_SWITCH},
      {"--NoVs", APP_ARG_MISWRITTEN_SWITCH},
      {"-720=", APP_ARG_MISWRITTEN_SWITCH},
      {"---win", APP_ARG_UNKNOWN},
      {"-window", APP_ARG_UNKNOWN},
      {"win", APP_ARG_UNKNOWN},
      {"-", APP_ARG_UNKNOWN},
      {"", APP_ARG_UNKNOWN},
      {"--helpme", APP_ARG_UNKNOWN},
      {"level.txt", APP_ARG_UNKNOWN},
  };
  for (const auto& c : cases) EXPECT_EQ(classify_app_arg(c.arg), c.kind) << "'" << c.arg << "'";
  // The usage names every argument the game takes, each as a word of its own.
  std::string usage = app_usage_text;
  for (const auto& c : cases) {
    if (c.kind != APP_ARG_SWITCH && c.kind != APP_ARG_HELP) continue;
    bool named = false;
    for (size_t at = usage.find(c.arg); at != std::string::npos && !named; at = usage.find(c.arg, at + 1)) {
      size_t end = at + strlen(c.arg);
      named = (at == 0 || strchr(" ,\n", usage[at - 1])) && (end == usage.size() || strchr(" ,\n", usage[end]));
    }
    EXPECT_TRUE(named) << "the usage does not name '" << c.arg << "':\n" << usage;
  }

  struct {
    std::vector<const char*> args;
    int code;
    const char* named;  // how a mistake names the argument on standard error
  } lines[] = {
      {{}, -1, nullptr},
      {{"-win", "junk", "-fast"}, -1, nullptr},
      {{"-win", "--help"}, 0, nullptr},
      {{"-WIN", "--help"}, 0, nullptr},
      {{"-win", "-Win"}, 2, "'-Win' is not a switch"},
      {{"-win=\x1b[2J\x1b]0;owned\x07"}, 2, "'-win=\\x1B[2J\\x1B]0;owned\\x07' is not a switch"},
  };
  for (const auto& l : lines) {
    std::vector<char*> argv{(char*)"game"};
    for (const char* a : l.args) argv.push_back((char*)a);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = check_app_command_line(int(argv.size()), argv.data());
    std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, l.code) << l.args.size() << " arguments";
    // The usage goes to standard output for help, to standard error for a mistake, else nowhere.
    EXPECT_EQ(out.find("-fullscr") != std::string::npos, l.code == 0) << out;
    EXPECT_EQ(err.find("-fullscr") != std::string::npos, l.code == 2) << err;
    if (l.named) EXPECT_NE(err.find(l.named), std::string::npos) << err;
    for (char ch : err) EXPECT_FALSE((unsigned char)ch < 0x20 && ch != '\n') << int(ch);
  }
}

TEST_F(Settings, NoSettingsFileKeepsTheDefaults) {
  char* argv[] = {(char*)"game"};
  app_screen_wd = 5;
  read_app_settings(1, argv);
  EXPECT_EQ(app_screen_wd, 0);
  EXPECT_TRUE(app_want_fullscreen);
  EXPECT_TRUE(app_use_vsync);
  EXPECT_FALSE(app_use_aa);
}

// Each of the game's settings under the key that players' files hold, with the one default that
// the start-up and the options screen both get, read back within its range and written as its type.
TEST_F(Settings, EachGameSettingKeepsItsKeyDefaultRangeAndStoredForm) {
  struct Case {
    AppSetting id;
    const char* key;
    int def;
    const char* stored;  // in the file
    int read;            // what get_app_setting gives for it
    int set;             // written back through set_app_setting
    const char* written;
  } cases[] = {
      {SETTING_SCREEN_WD, "screen_wd", 0, "-40", -40, 1280, "1280"},
      {SETTING_SCREEN_HT, "screen_ht", 0, "0x2D0", 720, 720, "720"},
      {SETTING_FULLSCREEN, "fullscreen", 1, "0", 0, 0, "0"},
      {SETTING_VSYNC, "vsync", 1, "7", 1, 5, "1"},
      {SETTING_DEVKEYS, "devkeys", 0, "1", 1, 0, "0"},
      {SETTING_PROCESS_PRIORITY, "process_priority", 0, "9", 2, 1, "1"},
      {SETTING_MUSIC_VOLUME, "music_volume", 10000, "-5", 0, 2500, "2500"},
  };
  ASSERT_EQ(int(sizeof(cases) / sizeof(cases[0])), int(NUM_APP_SETTINGS));
  for (const Case& c : cases) {
    EXPECT_STREQ(app_setting_def(c.id).key, c.key);
    EXPECT_EQ(get_app_setting(c.id), c.def) << c.key << " without a file";
  }
  reset_app_config();
  mkdir((root + "/ASCENDA").c_str(), 0755);
  std::string file;
  for (const Case& c : cases) file += std::string(c.key) + "=" + c.stored + "\n";
  write_file_text(dataPath("settings.cfg"), file);
  close_debug_log();
  for (const Case& c : cases) EXPECT_EQ(get_app_setting(c.id), c.read) << c.key << "=" << c.stored;
  close_debug_log();
  std::string log = read_file_text(dataPath("log.txt"));
  EXPECT_NE(log.find("music_volume -5 out of range, using 0\n"), std::string::npos) << log;
  EXPECT_NE(log.find("process_priority 9 out of range, using 2\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("screen_wd"), std::string::npos) << log;  // the display bounds it, not the table
  std::string expected = "// Game settings\n_CONFIG_VERSION_=1\n\n";
  for (const Case& c : cases) {
    EXPECT_TRUE(set_app_setting(c.id, c.set));
    expected += std::string(c.key) + "=" + c.written + "\n";
  }
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(read_file_text(dataPath("settings.cfg")), expected);
}

TEST_F(Settings, ConfigNodeLoadsFilesAndAnswersLookups) {
  std::string f = root + "/tile.cfg";
  write_file_text(f, "origin_x = 3\r\nname=wall\r\nflag=\r\nhex=0x1F\nname=second\n");
  ConfigNode* n = ConfigNode::fromFile(f.c_str());
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->getInt("origin_x", -1), 3);
  EXPECT_EQ(n->getInt("hex", -1), 31);
  EXPECT_EQ(n->getInt("name", -1), -1);
  EXPECT_STREQ(n->getStr("name", "?"), "wall");
  EXPECT_STREQ(n->getStr("flag", "?"), "");
  EXPECT_TRUE(n->hasValue("flag"));
  EXPECT_EQ(n->findEntry("Name"), -1);
  EXPECT_STREQ(n->getStr("none", "dflt"), "dflt");
  n->~ConfigNode();
  dlfree(n);

  write_file_text(f, "");
  ConfigNode empty;
  EXPECT_TRUE(empty.load(f.c_str()));
  EXPECT_EQ(empty.entries.size(), 0);
  EXPECT_EQ(ConfigNode::fromFile((root + "/missing.cfg").c_str()), nullptr);
}

TEST_F(Settings, OverLongLinesAndHugeValuesStayIntact) {
  mkdir((root + "/ASCENDA").c_str(), 0755);
  std::string huge(100000, 'v');
  write_file_text(dataPath("settings.cfg"), "big=" + huge + "\nn=123456789012\nafter=1\n");
  char small[16];
  EXPECT_FALSE(get_config_str("big", small, sizeof(small)));
  int n = 0;
  EXPECT_TRUE(get_config_int("n", &n));
  EXPECT_EQ(n, 2147483647);
  EXPECT_TRUE(get_config_int("after", &n));
  EXPECT_EQ(n, 1);
  set_config_int("after", 2);
  EXPECT_TRUE(flush_app_config());
  std::string saved = read_file_text(dataPath("settings.cfg"));
  EXPECT_NE(saved.find("big=" + huge + "\n"), std::string::npos);
  EXPECT_NE(saved.find("after=2\n"), std::string::npos);
}

// ---- a settings file that exists but cannot be read is never replaced

TEST_F(Settings, AFileThatCannotBeReadIsNeverReplaced) {
  mkdir((root + "/ASCENDA").c_str(), 0777);
  chmod(root.c_str(), 0777);
  chmod((root + "/ASCENDA").c_str(), 0777);
  std::string file = dataPath("settings.cfg");
  write_file_text(file, "screen_wd=800\nmusic_volume=3\n");
  chmod(file.c_str(), 0);  // readable by nobody but root, its owner included
  int rc = run_unprivileged([&] {
    int v = 0;
    if (get_config_int("screen_wd", &v)) return 1;  // unreadable: the defaults stay
    if (!flush_app_config()) return 2;              // nothing to do, and not an error
    set_config_int("screen_wd", 1024);              // a change is kept for this run only
    if (!get_config_int("screen_wd", &v) || v != 1024) return 3;
    flush_app_config();
    return 0;
  });
  chmod(file.c_str(), 0600);
  if (rc == CANNOT_DROP_ROOT) GTEST_SKIP() << "as root this test needs to become user 65534, which it cannot here";
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(read_file_text(file), "screen_wd=800\nmusic_volume=3\n");
  EXPECT_FALSE(file_exists(file + ".tmp"));
}

TEST_F(Settings, HugeFilesAndFifosAreLeftAloneAndNeverBlock) {
  mkdir((root + "/ASCENDA").c_str(), 0755);
  std::string file = dataPath("settings.cfg");
  // A sparse file of 3 GB: too large to be settings, and kept as it is.
  write_file_text(file, "");
  ASSERT_EQ(truncate(file.c_str(), 3ll << 30), 0);
  int v;
  EXPECT_FALSE(get_config_int("screen_wd", &v));
  set_config_int("screen_wd", 1);
  flush_app_config();
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 3ll << 30);
  EXPECT_TRUE(S_ISREG(st.st_mode));

  // A FIFO in its place: opening it for reading would wait for a writer for ever.
  reset_app_config();
  remove(file.c_str());
  ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  EXPECT_EXIT(
      {
        alarm(5);
        int x;
        bool got = get_config_int("screen_wd", &x);
        set_config_int("a", 1);
        flush_app_config();
        struct stat s2;
        _exit(!got && stat(file.c_str(), &s2) == 0 && S_ISFIFO(s2.st_mode) ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  // ConfigNode files are opened the same way.
  std::string node_fifo = root + "/node.cfg";
  ASSERT_EQ(mkfifo(node_fifo.c_str(), 0644), 0);
  EXPECT_EXIT(
      {
        alarm(5);
        _exit(ConfigNode::fromFile(node_fifo.c_str()) == nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(Settings, AFailedSaveIsRetriedAtTheNextFlush) {
  // The data folder's place is taken by a file, so nothing can be written there.
  write_file_text(root + "/ASCENDA", "not a folder");
  set_config_int("a", 1);
  EXPECT_FALSE(flush_app_config());
  EXPECT_FALSE(flush_app_config());  // still due
  remove((root + "/ASCENDA").c_str());
  EXPECT_TRUE(flush_app_config());  // written without another change
  EXPECT_EQ(read_file_text(dataPath("settings.cfg")), "// Game settings\n_CONFIG_VERSION_=1\n\na=1\n");
  EXPECT_TRUE(flush_app_config());
}
