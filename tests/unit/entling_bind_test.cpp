// Binding the actor library, on stand-in libraries built by the tests: every refusal with its
// message, live objects in several lists re-pointed once each to the new code with their fields
// kept, the swap check against changed classes, and the swap refusing broken files while the old
// library keeps running.
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>
#include "engine/d3d_shaders.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/entlingApi.h"
#include "game/entlingBind.h"
#include "game/entlingReload.h"
#include "game/guiScreens.h"
#include "game/objectLists.h"
#include "testSupport.h"
#include "tests/bind/bindTestClasses.h"

int bind_test_link_gui_calls = 0;

namespace {
// Where a file cut short loses part of what the loader maps: inside its last loaded segment.
size_t inside_last_segment(const std::string& elf) {
  Elf64_Ehdr eh;
  memcpy(&eh, elf.data(), sizeof(eh));
  size_t end = 0;
  for (int i = 0; i < eh.e_phnum; i++) {
    Elf64_Phdr ph;
    memcpy(&ph, elf.data() + eh.e_phoff + i * sizeof(ph), sizeof(ph));
    if (ph.p_type == PT_LOAD && ph.p_filesz > 0) end = std::max(end, size_t(ph.p_offset + ph.p_filesz));
  }
  return end - 1;
}

std::string lib_path(const char* variant) { return std::string(BIND_TEST_LIB_DIR) + "/bind_test_" + variant + ".dll"; }

void* load_variant(const char* variant) {
  void* m = load_library(lib_path(variant).c_str());
  EXPECT_TRUE(m) << variant << ": " << get_library_error();
  return m;
}

void clear_lists() {
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) object_list(l).clear();
}

// An object whose class is the test program's own: its table is in no library's class table.
struct ForeignThing : BaseObject {
  virtual int answer() const { return -1; }
};
}  // namespace

TEST(EntlingBindDeath, EveryRefusalHasItsMessage) {
  struct Case {
    const char* variant;
    const char* message;
  } cases[] = {
      {"no_vtables", "invalid entling\\.dll"},
      {"missing_name", "no \"render_boss\" function in entling\\.dll"},
      {"short_table", "entling classes changed, need restart"},
      {"no_link_gui", "no \"link_gui\" function in entling\\.dll"},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          void* m = load_library(lib_path(c.variant).c_str());
          if (!m) _exit(3);
          bind_entling_library(m);
          _exit(0);
        },
        testing::ExitedWithCode(100), c.message)
        << c.variant;
  }
}

TEST(EntlingBindDeath, AnObjectOfNoClassOfTheLibraryStopsTheSwap) {
  EXPECT_EXIT(
      {
        bind_entling_library(load_variant("good1"));
        object_list(3).push_back(new ForeignThing());
        bind_entling_library(load_variant("good2"));
        _exit(0);
      },
      testing::ExitedWithCode(100), "cannot find object vtable");
}

TEST(EntlingBind, LiveObjectsAnswerWithTheNewCodeAndKeepTheirFields) {
  int link_calls = bind_test_link_gui_calls;
  void* v1 = load_variant("good1");
  ASSERT_TRUE(v1);
  bind_entling_library(v1);
  EXPECT_EQ(bind_test_link_gui_calls, link_calls + 1);
  ASSERT_TRUE(new_entling_by_id);
  std::vector<BaseObject*> objects;
  for (int i = 0; i < 5; i++) {
    BaseObject* o = reinterpret_cast<BaseObject*>(new_entling_by_id(i < 3 ? TYPE_HERO : TYPE_BASE_ENEMY));
    ASSERT_TRUE(o);
    o->serId = 10 + i;
    if (i < 3) static_cast<TestHero*>(o)->value = i;
    else static_cast<TestEnemy*>(o)->value = i, static_cast<TestEnemy*>(o)->speed = 0.5f * i;
    objects.push_back(o);
  }
  // One hero stands in a second list too, and one object is destroyed but not yet freed.
  object_list(4).push_back(objects[1]);
  objects[4]->flags = OBJ_DESTROYED;
  EXPECT_EQ(static_cast<TestHero*>(objects[2])->answer(), 1002);
  EXPECT_EQ(static_cast<TestEnemy*>(objects[3])->answer(), 1503);

  // The new library is loaded while the old one is still mapped, so their tables surely lie at
  // different addresses (an object re-pointed twice would then be lost).
  void* v2 = load_variant("good2");
  ASSERT_TRUE(v2);
  unbind_entling_library();
  EXPECT_FALSE(new_entling_by_id);
  bind_entling_library(v2);
  EXPECT_EQ(bind_test_link_gui_calls, link_calls + 2);
  ASSERT_TRUE(free_library(v1));
  EXPECT_FALSE(library_still_loaded(lib_path("good1").c_str()));

  for (int i = 0; i < 5; i++) {
    BaseObject* o = objects[i];
    EXPECT_EQ(o->serId, 10 + i);
    EXPECT_EQ(o->flags, i == 4 ? uint32_t(OBJ_DESTROYED) : 0u);  // the mark is cleared again
    if (i < 3) {
      EXPECT_EQ(static_cast<TestHero*>(o)->answer(), 2000 + i);
    } else {
      EXPECT_EQ(static_cast<TestEnemy*>(o)->answer(), 2500 + i);
      EXPECT_EQ(static_cast<TestEnemy*>(o)->speed, 0.5f * i);
    }
    EXPECT_STREQ(o->className(), "BaseObject");  // the program's own operations stay as they were
  }
  for (BaseObject* o : objects) delete o;  // the destructors are the new library's
  clear_lists();
  unbind_entling_library();
  free_library(v2);
  memset(entling_vtables, 0, sizeof(entling_vtables));
}

TEST(EntlingBind, SwapCheckComparesClassSizesAndNames) {
  void* v1 = load_variant("good1");
  void* v2 = load_variant("good2");
  void* grown = load_variant("grown");
  void* missing = load_variant("missing_name");
  void* no_gui = load_variant("no_link_gui");
  void* no_vtables = load_variant("no_vtables");
  TempString<512> why;
  EXPECT_TRUE(check_entling_swap(v2, v1, &why)) << why.c_str();
  EXPECT_FALSE(check_entling_swap(grown, v1, &why));
  EXPECT_STREQ(why, "entling classes changed, need restart");
  EXPECT_TRUE(check_entling_swap(grown, nullptr, &why));  // nothing bound: no sizes to keep
  EXPECT_FALSE(check_entling_swap(missing, v1, &why));
  EXPECT_STREQ(why, "no \"render_boss\" function in entling.dll");
  EXPECT_FALSE(check_entling_swap(no_gui, v1, &why));
  EXPECT_STREQ(why, "no \"link_gui\" function in entling.dll");
  EXPECT_FALSE(check_entling_swap(no_vtables, v1, &why));
  EXPECT_STREQ(why, "invalid entling.dll");
  // Every object class keeps its size, but a type their members hold grew.
  void* member_grown = load_variant("member_grown");
  EXPECT_FALSE(check_entling_swap(member_grown, v1, &why));
  EXPECT_STREQ(why, "entling classes changed, need restart");
  EXPECT_TRUE(check_entling_swap(v1, v2, &why)) << why.c_str();
  for (void* m : {v1, v2, grown, missing, no_gui, no_vtables, member_grown}) free_library(m);
}

namespace {
// A program folder holding the stand-ins as "entling.dll" and, when a test puts one there,
// "entling_new.dll"; a source folder whose sources never change.
class SwapRun : public testing::Test {
 protected:
  std::string bin, src;
  char saved_app_path[sizeof(app_path)];

  void SetUp() override {
    memcpy(saved_app_path, app_path, sizeof(app_path));
    bin = make_temp_folder() + "/";
    src = make_temp_folder() + "/";
    snprintf(app_path, sizeof(app_path), "%s", bin.c_str());
    write_file_text(src + "main.kst", "int x;\n");
    publish("good1", "entling.dll");
    set_error_message(nullptr);
    load_entling_library(src.c_str(), "main.kst");
  }
  void TearDown() override {
    clear_lists();
    unload_entling_library();
    memset(entling_vtables, 0, sizeof(entling_vtables));
    set_error_message(nullptr);
    memcpy(app_path, saved_app_path, sizeof(app_path));
    std::string cmd = "rm -rf '" + bin + "' '" + src + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove the test folders\n");
  }
  // Writes a file beside the final name and renames it into place, as a build does.
  void publish_bytes(const std::string& bytes, const char* as) {
    write_file_text(bin + as + ".tmp", bytes);
    ASSERT_EQ(rename((bin + as + ".tmp").c_str(), (bin + as).c_str()), 0);
  }
  void publish(const char* variant, const char* as) { publish_bytes(read_file_text(lib_path(variant)), as); }
  TestHero* make_hero(int value) {
    TestHero* h = reinterpret_cast<TestHero*>(new_entling_by_id(TYPE_HERO));
    h->value = value;
    return h;
  }
};
}  // namespace

TEST_F(SwapRun, BrokenOrChangedBuildsAreRefusedAndTheOldCodeRuns) {
  TestHero* h = make_hero(7);
  EXPECT_EQ(h->answer(), 1007);
  std::string good2 = read_file_text(lib_path("good2"));

  // Half-written: cut inside its program headers, then inside a loaded segment.
  Elf64_Ehdr eh;
  memcpy(&eh, good2.data(), sizeof(eh));
  // A machine the loader does not take: a complete file, refused with the loader's own text.
  std::string foreign = good2;
  reinterpret_cast<Elf64_Ehdr*>(&foreign[0])->e_machine = EM_AARCH64;
  struct Case {
    std::string bytes;
    const char* screen;
  } cases[] = {
      {good2.substr(0, eh.e_phoff + 10), "truncated"},
      {good2.substr(0, inside_last_segment(good2)), "truncated"},
      {"#!/bin/sh\n", "not an ELF file"},
      {foreign, "built for another machine"},
      // Complete and of this machine, but naming a function nobody has: the loader's own text.
      {read_file_text(lib_path("unresolved")), "undefined symbol: no_such_function_in_the_program"},
      {read_file_text(lib_path("grown")), "entling classes changed, need restart"},
      {read_file_text(lib_path("missing_name")), "no \"render_boss\" function in entling.dll"},
  };
  for (const Case& c : cases) {
    set_error_message(nullptr);
    publish_bytes(c.bytes, "entling_new.dll");
    EXPECT_FALSE(reload_entling(false));
    EXPECT_NE(strstr(get_error_message(), c.screen), nullptr) << get_error_message();
    EXPECT_EQ(h->answer(), 1007) << c.screen;  // still the running library
    // Refused once: the same file is not tried again every second.
    set_error_message(nullptr);
    EXPECT_FALSE(reload_entling(false));
    EXPECT_FALSE(has_error_message());
  }

  publish("good2", "entling_new.dll");
  EXPECT_TRUE(reload_entling(false));
  EXPECT_EQ(h->answer(), 2007);
  EXPECT_FALSE(file_exists(bin + "entling_new.dll"));
  EXPECT_EQ(read_file_text(bin + "entling.dll"), good2);
  // Forced: the present entling.dll again, objects kept.
  EXPECT_TRUE(reload_entling(true));
  EXPECT_EQ(h->answer(), 2007);
  delete h;
}

TEST_F(SwapRun, AFailedBuildIsNeverSwappedInWhateverItLeft) {
  TestHero* h = make_hero(7);
  // Each build leaves a good library behind and then fails: by its exit code, or by an error line
  // with exit code 0.
  struct Case {
    const char* ending;
  } cases[] = {{"echo 'main.kst:1:1: error: expected declaration'\nexit 0\n"}, {"exit 2\n"}};
  long ns = 0;
  for (const Case& c : cases) {
    write_file_text(src + "rebuild_dll.bat",
                    "cp '" + lib_path("good2") + "' \"$ASCENDA_PROGRAM_DIR/entling_new.dll\"\n" + c.ending);
    struct timespec t[2] = {{1700000000, ns += 100}, {1700000000, ns}};
    ASSERT_EQ(utimensat(AT_FDCWD, (src + "main.kst").c_str(), t, 0), 0);
    testing::internal::CaptureStdout();
    bool swapped = false;
    for (int i = 0; i < 20000 && !swapped && (i == 0 || rebuild_entling_library()); i++) {
      swapped = reload_entling(false);
      usleep(1000);
    }
    for (int i = 0; i < 3; i++) swapped = reload_entling(false) || swapped;  // and not a second later either
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("!!! failed to rebuild entling DLL"), std::string::npos) << out;
    EXPECT_FALSE(swapped) << c.ending;
    EXPECT_EQ(out.find("entling reload"), std::string::npos) << out;
    EXPECT_EQ(h->answer(), 1007) << c.ending;  // the running library's code
    EXPECT_FALSE(file_exists(bin + "entling_new.dll"));
  }
  delete h;
}

TEST_F(SwapRun, StartUpTakesTheLibraryOfThePresentSources) {
  // Each stand-in records one main.kst, "// version N\n": the sources are told apart by their bytes,
  // whatever their times say (a backup put back with "cp -p" is older than the library).
  std::string good1 = read_file_text(lib_path("good1")), good2 = read_file_text(lib_path("good2"));
  auto set_time = [](const std::string& path, time_t t) {
    struct timespec ts[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
  };
  write_file_text(src + "rebuild_dll.bat",
                  "echo built >> built.txt\ncp '" + lib_path("good2") + "' \"$ASCENDA_PROGRAM_DIR/entling_new.dll\"\n");
  std::string random_bytes(1 << 20, 0);
  for (size_t i = 0; i < random_bytes.size(); i++) random_bytes[i] = char((i * 2654435761u) >> 13);
  struct Case {
    const char* what;
    const char* waiting;  // null: none
    int sources;          // the version main.kst holds
    time_t sources_time;  // against the library's 2000
    bool replaced, built, put_aside;
  } cases[] = {
      {"up to date", nullptr, 1, 1000, false, false, false},
      {"up to date, the sources newer", nullptr, 1, 3000, false, false, false},
      {"a waiting build of the present sources", "good2", 2, 1000, true, false, false},
      {"sources put back with an older time", nullptr, 2, 1000, true, true, false},
      {"a waiting build of other sources", "good2", 3, 1000, true, true, false},
      {"a waiting file of random bytes", "random", 1, 1000, false, false, true},
      {"a waiting file cut short", "short", 1, 1000, false, false, true},
      {"an empty waiting file", "", 1, 1000, false, false, true},
      {"a waiting build with a name missing", "missing_name", 1, 1000, false, false, true},
  };
  for (const Case& c : cases) {
    publish_bytes(good1, "entling.dll");  // never rewritten in place: the loaded one is mapped
    set_time(bin + "entling.dll", 2000);
    unlink((bin + "entling_new.dll").c_str());
    unlink((bin + "entling_new.dll.refused").c_str());
    if (c.waiting) {
      std::string w = c.waiting;
      std::string bytes = w == "random"  ? random_bytes
                          : w == "short" ? good2.substr(0, inside_last_segment(good2))
                          : w.empty()    ? ""
                                         : read_file_text(lib_path(c.waiting));
      write_file_text(bin + "entling_new.dll", bytes);
      set_time(bin + "entling_new.dll", 3000);
    }
    write_file_text(src + "main.kst", "// version " + std::to_string(c.sources) + "\n");
    set_time(src + "main.kst", c.sources_time);
    unlink((src + "built.txt").c_str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(bring_entling_library_up_to_date(src.c_str(), "main.kst"), c.replaced) << c.what;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(read_file_text(bin + "entling.dll") == good2, c.replaced) << c.what;
    EXPECT_EQ(read_file_text(bin + "entling.dll") == good1, !c.replaced) << c.what;
    EXPECT_EQ(file_exists(src + "built.txt"), c.built) << c.what << "\n" << out;
    EXPECT_FALSE(file_exists(bin + "entling_new.dll")) << c.what;
    EXPECT_EQ(file_exists(bin + "entling_new.dll.refused"), c.put_aside) << c.what;
    if (c.put_aside) {
      EXPECT_NE(out.find("entling_new.dll put aside as entling_new.dll.refused: "), std::string::npos) << out;
    }
  }
}

TEST(EntlingStartUpDeath, AMissingLibraryNamesWhatItCannotBeBuiltFrom) {
  struct Case {
    const char* what;
    bool sources, script;
    const char* names;
  } cases[] = {
      {"no sources", false, true, "main\\.kst to build it from is not there"},
      {"no rebuild script", true, false, "rebuild_dll\\.bat to build it from is not there"},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          std::string bin = make_temp_folder() + "/";
          std::string src = make_temp_folder() + "/";
          snprintf(app_path, sizeof(app_path), "%s", bin.c_str());
          if (c.sources) write_file_text(src + "main.kst", "int x;\n");
          if (c.script) write_file_text(src + "rebuild_dll.bat", "exit 0\n");
          bring_entling_library_up_to_date(src.c_str(), "main.kst");
          _exit(0);
        },
        testing::ExitedWithCode(100), std::string("can't load entling\\.dll: it is missing, and .*") + c.names)
        << c.what;
  }
}

TEST_F(SwapRun, ABuildOvertakenByASaveIsNotSwappedIn) {
  // The first build is overtaken by a save while it runs (it may have read some of its sources
  // before and some after): the check that sees it end starts the next build instead, and only
  // that one is swapped in.
  TestHero* h = make_hero(7);
  write_file_text(src + "rebuild_dll.bat",
                  "echo built >> built.txt\n"
                  "if [ ! -f saved ]; then touch saved; touch -d @6000 main.kst; fi\n"
                  "cp '" +
                      lib_path("good2") + "' \"$ASCENDA_PROGRAM_DIR/entling_new.dll\"\n");
  struct timespec t[2] = {{5000, 0}, {5000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (src + "main.kst").c_str(), t, 0), 0);
  testing::internal::CaptureStdout();
  int swaps = 0;
  for (int i = 0; i < 4000 && swaps == 0; i++) {
    swaps += reload_entling(false);
    usleep(1000);
  }
  for (int i = 0; i < 3; i++) swaps += reload_entling(false);  // and nothing more after it
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(read_file_text(src + "built.txt"), "built\nbuilt\n") << out;
  EXPECT_EQ(swaps, 1) << out;
  EXPECT_EQ(h->answer(), 2007) << out;
  delete h;
}

TEST_F(SwapRun, NothingNewNothingDone) {
  EXPECT_FALSE(reload_entling(false));
  EXPECT_TRUE(entling_library_loaded());
}

TEST(EntlingSwapDeath, ALibraryThatStaysMappedAfterFreeingIsFatal) {
  EXPECT_EXIT(
      {
        std::string bin = make_temp_folder() + "/";
        snprintf(app_path, sizeof(app_path), "%s", bin.c_str());
        write_file_text(bin + "entling.dll", read_file_text(lib_path("sticky")));
        load_entling_library(bin.c_str(), "none.kst");
        reload_entling(true);
        _exit(0);
      },
      testing::ExitedWithCode(100), "entling\\.dll is still loaded after it was freed");
}

TEST(LibraryFiles, ShortOrForeignFilesAreRefusedBeforeLoading) {
  std::string dir = make_temp_folder() + "/";
  std::string good = read_file_text(lib_path("good1"));
  Elf64_Ehdr eh;
  memcpy(&eh, good.data(), sizeof(eh));
  struct Case {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"", "not an ELF file"},
      {good.substr(0, 40), "not an ELF file"},
      {good.substr(0, eh.e_phoff + eh.e_phentsize), "program headers"},
      {good.substr(0, inside_last_segment(good)), "loaded segment"},
      {std::string(4096, 'x'), "not an ELF file"},
  };
  for (const Case& c : cases) {
    write_file_text(dir + "lib.dll", c.bytes);
    EXPECT_FALSE(load_library((dir + "lib.dll").c_str()));
    EXPECT_NE(strstr(get_library_error(), c.reason), nullptr) << get_library_error();
  }
  ASSERT_EQ(mkfifo((dir + "fifo.dll").c_str(), 0600), 0);
  EXPECT_FALSE(load_library((dir + "fifo.dll").c_str()));  // would wait for a writer
  EXPECT_NE(strstr(get_library_error(), "not a regular file"), nullptr);
  EXPECT_FALSE(load_library((dir + "missing.dll").c_str()));
  write_file_text(dir + "lib.dll", good);
  void* m = load_library((dir + "lib.dll").c_str());
  EXPECT_TRUE(m);
  free_library(m);
  std::string cmd = "rm -rf '" + dir + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
}

TEST(LibraryFilesDeath, AHalfCopiedShaderCompilerMeansNoShaderCompiler) {
  // A fresh process: the compiler is loaded once per run.
  std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string dir = make_temp_folder() + "/";
  std::string good = read_file_text(lib_path("good1"));
  write_file_text(dir + "d3dcompiler_43.dll", good.substr(0, inside_last_segment(good)));
  EXPECT_EXIT(
      {
        snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
        load_shader_compiler();  // mapping the short file would end in SIGBUS
        fprintf(stderr, "%s\n", get_library_error());
        _exit(shader_compiler_available() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "d3dcompiler_43\\.dll': truncated");
  GTEST_FLAG_SET(death_test_style, style.c_str());
  std::string cmd = "rm -rf '" + dir + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
}

namespace {
int destroy_root_calls = 0, sheets_destroyed = 0, trees_deleted = 0;
struct CountedRoot : GuiElement {
  ~CountedRoot() override { trees_deleted++; }
};
struct RecordingScreen : BaseGuiScreen {
  GuiElement* createRoot() override { return new CountedRoot(); }
  void destroyRoot() override {
    destroy_root_calls++;
    if (!root) root = createRoot();
    BaseGuiScreen::destroyRoot();
  }
};
struct RecordingSelector : GuiSelector {
  ~RecordingSelector() override { sheets_destroyed++; }
  bool matches(const GuiElement*) const override { return false; }
  int specificity() const override { return 0; }
};
BaseGuiScreen* no_factory() { return nullptr; }
}  // namespace

TEST(EntlingBind, UnbindingTearsDownWhatTheLibraryBuilt) {
  RecordingScreen& menu = *new RecordingScreen();
  main_menu_screen = {&menu, no_factory};
  hud_screen.createScreen = no_factory;  // a factory without an open screen
  common_style.addSheet(new RecordingSelector(), nullptr);
  common_style.addSheet(new RecordingSelector(), nullptr);
  tooltip_style.addSheet(new RecordingSelector(), nullptr);
  int capacity = common_style.sheets.capacity();
  unbind_entling_library();
  EXPECT_EQ(destroy_root_calls, 1);
  EXPECT_EQ(trees_deleted, 1);  // deleted while the library's code is still there
  EXPECT_EQ(sheets_destroyed, 3);
  EXPECT_EQ(common_style.sheets.size(), 0);
  EXPECT_EQ(common_style.sheets.capacity(), capacity);  // the storage stays
  EXPECT_EQ(main_menu_screen.screen, &menu);            // the singleton stays for the next link_gui
  EXPECT_EQ(main_menu_screen.createScreen, nullptr);
  EXPECT_EQ(hud_screen.createScreen, nullptr);
  for (int i = 0; i < NUM_ENTLING_API; i++) EXPECT_EQ(*entling_api_slot(i), nullptr) << entling_api_names[i];
  unbind_entling_library();  // the singleton is still there: asked again
  EXPECT_EQ(destroy_root_calls, 2);
  main_menu_screen = {};
  unbind_entling_library();  // no screen open: no screen operation
  EXPECT_EQ(destroy_root_calls, 2);
  delete &menu;
}

// The count comes from the call list itself: 78 functions, each named once, in binding order from
// the sound events to the class lookup. A line lost or doubled in the list changes what this sees.
TEST(EntlingBind, TheCallListCountsEveryFunctionOnce) {
  EXPECT_EQ(NUM_ENTLING_API, 78);
  EXPECT_STREQ(entling_api_names[0], "play_sound_event");
  EXPECT_STREQ(entling_api_names[NUM_ENTLING_API - 1], "entling_id_by_name");
  std::vector<std::string> names(entling_api_names, entling_api_names + NUM_ENTLING_API);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << "a name listed twice";
  EXPECT_EQ(entling_api_slot(NUM_ENTLING_API), nullptr);
  EXPECT_NE(entling_api_slot(NUM_ENTLING_API - 1), nullptr);
}
