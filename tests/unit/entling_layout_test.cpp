// The layout table of the actor library's classes: the scanner that finds every class and struct in
// the sources with its data members, the comparison of two tables before a swap, and the real
// library's table covering every class its sources define.
#include <dirent.h>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <string>
#include "engine/sysUtils.h"
#include "game/entlingBind.h"
#include "game/entlingLayout.h"
#include "testSupport.h"
#include "tools/entling_layout_gen/layoutScan.h"

namespace {
std::string describe(const std::vector<ScannedClass>& classes) {
  std::string s;
  for (const ScannedClass& c : classes) {
    s += c.name + ":";
    for (const std::string& f : c.fields) s += " " + f;
    s += ";";
  }
  return s;
}
}  // namespace

TEST(LayoutScan, FindsClassesAndTheirDataMembers) {
  struct Case {
    const char* source;
    const char* found;
  } cases[] = {
      {"struct A { int x, y; float z[4]; };", "A: x y z;"},
      // Initializers of every kind, pointers and templates in member types.
      {"struct A : Base { vec4float p = vec4float(0, 1, 2, 3); int n{2}; DynArray<Foo*, Alloc> list; char* s = "
       "nullptr; };",
       "A: p n list s;"},
      // Methods, constructors with init lists, statics, aliases, enums and bit-fields are no members.
      {"struct A final : B {\n A() : x(1), y{2} { if (x) { y = 3; } }\n ~A() override;\n virtual int f(int) const = "
       "0;\n"
       " void g() { struct Local { int q; }; }\n static int s;\n using T = int;\n enum { K = 1 };\n unsigned bits : "
       "3;\n"
       " int x; int y;\n bool operator==(const A&) const;\n};",
       "A: x y;"},
      // Nested classes are qualified; members and classes of every access are in, in order.
      {"struct Outer { struct Inner { int i; }; Inner in; protected: int hidden; };",
       "Outer: in hidden;Outer::Inner: i;"},
      {"class Bonus : Entling {\n public:\n  int a;\n protected:\n  float reviewP = 0.5f;\n private:\n  struct Own { "
       "int "
       "o; };\n  Own own;\n  int z;\n};",
       "Bonus: a reviewP own z;Bonus::Own: o;"},
      // A reference member has no place of its own to compare.
      {"struct R { int& r; const char*&& rr; int after; };", "R: after;"},
      // Templates have no one layout; a function template does not hide the class after it.
      {"template <class T> struct G { T t; };\ntemplate <class T> T f(T v) { return v; }\nstruct After { int a; };",
       "After: a;"},
      // Comments, strings and preprocessor lines with braces and keywords in them change nothing.
      {"// struct Fake { int no; };\n/* struct Fake2 {} */\n#define X { struct M {\nstruct S { const char* t = \"}\"; "
       "char c = '{'; "
       "int k; };",
       "S: t c k;"},
      // Declarations, pointers to classes and function bodies are not definitions.
      {"struct Fwd;\nstruct Fwd* make();\nvoid h() { struct InFunction { int z; } v; (void)v; }\nnamespace { struct "
       "Anon { int a; }; }",
       "Anon: a;"},
      {"namespace ui { struct Panel { int w; }; }", "ui::Panel: w;"},
  };
  for (const Case& c : cases) EXPECT_EQ(describe(scan_class_layouts(c.source)), c.found) << c.source;
}

TEST(LayoutScan, TheTableComparesClassesBothLibrariesHave) {
  const EntlingLayoutRow base[] = {
      {"Part", nullptr, nullptr, 8, 4},
      {"Part", "a", "int", 0, 4},
      {"Part", "b", "int", 4, 4},
      {"Screen", nullptr, nullptr, 16, 8},
      {"Screen", "root", "GuiElement*", 8, 8},
  };
  const int n = int(sizeof(base) / sizeof(base[0]));
  auto with = [&](int row, EntlingLayoutRow r) {
    std::vector<EntlingLayoutRow> v(base, base + n);
    v[size_t(row)] = r;
    return v;
  };
  struct Case {
    const char* what;
    std::vector<EntlingLayoutRow> next;
    const char* changed;  // null: they match
  } cases[] = {
      {"the same", std::vector<EntlingLayoutRow>(base, base + n), nullptr},
      {"a class grew", with(3, {"Screen", nullptr, nullptr, 272, 8}), "Screen"},
      {"a member's type changed, same size", with(1, {"Part", "a", "float", 0, 4}), "Part"},
      {"members swapped", with(1, {"Part", "b", "int", 0, 4}), "Part"},
      {"a member moved", with(4, {"Screen", "root", "GuiElement*", 0, 8}), "Screen"},
      {"a class only the new one has",
       {base[0], base[1], base[2], {"New", nullptr, nullptr, 4, 4}, base[3], base[4]},
       nullptr},
      {"a class only the old one had", {base[3], base[4]}, nullptr},
      {"a member added", {base[0], base[1], base[2], {"Part", "c", "int", 8, 4}, base[3], base[4]}, "Part"},
  };
  for (const Case& c : cases) {
    TempString<256> changed;
    bool match = entling_layouts_match(base, n, c.next.data(), int(c.next.size()), &changed);
    EXPECT_EQ(match, c.changed == nullptr) << c.what;
    if (c.changed) {
      EXPECT_STREQ(changed, c.changed) << c.what;
    }
  }
}

namespace {
void list_sources(const std::string& dir, std::vector<std::string>* out) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + name;
    if (e->d_type == DT_DIR) list_sources(path + "/", out);
    else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".kst") == 0) out->push_back(path);
  }
  closedir(d);
}
}  // namespace

TEST(LayoutScan, TheLibraryTableHoldsEveryClassOfItsSources) {
  void* m = load_library(ENTLING_TEST_LIBRARY);
  ASSERT_TRUE(m) << get_library_error();
  auto layouts = (GetEntlingLayoutsFn)get_library_proc(m, "get_entling_layouts");
  ASSERT_TRUE(layouts);
  std::vector<EntlingLayoutRow> rows(size_t(layouts(nullptr, 0)));
  int n = layouts(rows.data(), int(rows.size()));
  ASSERT_EQ(n, int(rows.size()));
  std::set<std::string> classes, members;
  for (int i = 0; i < n; i++) {
    if (!rows[i].field) {
      classes.insert(rows[i].owner);
      EXPECT_GT(rows[i].offset, 0) << rows[i].owner;  // its size
    } else {
      members.insert(std::string(rows[i].owner) + "::" + rows[i].field);
    }
  }
  // Found here another way: every definition at the start of a line, except templates.
  std::vector<std::string> files;
  list_sources(ENTLING_SOURCE_FOLDER, &files);
  ASSERT_GT(files.size(), 20u);
  std::regex definition("^(struct|class) ([A-Za-z_][A-Za-z0-9_]*)( final)? *(:[^;{]*)?\\{");
  int checked = 0;
  for (const std::string& f : files) {
    std::string text = read_file_text(f), previous;
    size_t at = 0;
    while (at < text.size()) {
      size_t e = text.find('\n', at);
      std::string line = text.substr(at, e == std::string::npos ? std::string::npos : e - at);
      std::smatch mt;
      if (std::regex_search(line, mt, definition) && previous.compare(0, 8, "template") != 0) {
        EXPECT_TRUE(classes.count(mt[2].str())) << mt[2].str() << " of " << f;
        checked++;
      }
      previous = line;
      at = e == std::string::npos ? text.size() : e + 1;
    }
  }
  EXPECT_GT(checked, 30);
  for (const char* c : {"main_menu_screen_Class", "hud_screen_Class", "HBoxLayout", "Hero", "Boss1", "BossSubpart"})
    EXPECT_TRUE(classes.count(c)) << c;
  for (const char* f : {"BossSubpart::x0", "BossSubpart::part", "Hero::pos", "Boss1::walkLeft"})
    EXPECT_TRUE(members.count(f)) << f;
  free_library(m);
}
