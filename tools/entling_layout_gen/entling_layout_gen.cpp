// The generated parts of the actor library's build, from its sources: the main file, every module
// its import lines name (one translation unit each) and every file those include, transitively.
//
//   entling_layout_gen <source folder> <main file> <generated folder> <dependency file>
// writes, each only when its text changes (so that an edit recompiles only what it touches):
//   rows/<unit>.inc       the layout rows of the classes first defined in that unit's files, which
//                         the unit's wrapper (units/<unit>.cpp) compiles after the unit itself;
//   entling_layouts.inc   the list of those parts, which gen/tables.kst exports as one table;
//   entling_sources.cpp   the record of the sources read (path, size, hash of the bytes);
// then the mark entling_layouts.stamp, and a dependency file naming every source read for it, so
// that any edit runs it again.
//
//   entling_layout_gen --refresh <source folder> <main file> <generated folder>
// runs before a build, outside it: the build tool goes by times, and a file put back with an older
// time, or saved while the last build read it, would pass for built. Each unit whose files' bytes
// differ from those the last refresh saw has its wrapper touched, so the build compiles it again.
#include <stdio.h>
#include <sys/stat.h>
#include <utime.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "game/entlingSourceRecord.h"
#include "tools/entling_layout_gen/layoutScan.h"
#include "tools/toolUsage.h"

namespace {
bool read_text(const std::string& path, std::string* text) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  *text = s.str();
  return true;
}

bool write_if_changed(const std::string& path, const std::string& text) {
  std::string old;
  if (read_text(path, &old) && old == text) return true;
  size_t slash = path.rfind('/');
  if (slash != std::string::npos) {
    std::string dir = path.substr(0, slash);
    for (size_t p = 1; p <= dir.size(); p++)
      if (p == dir.size() || dir[p] == '/') mkdir(dir.substr(0, p).c_str(), 0777);
  }
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (out) return true;
  fprintf(stderr, "entling_layout_gen: error: cannot write %s\n", path.c_str());
  return false;
}

std::string folder_of(const std::string& rel) {
  size_t s = rel.rfind('/');
  return s == std::string::npos ? "" : rel.substr(0, s + 1);
}

// One source file: what it defines and which files it names.
struct SourceFile {
  std::string text;
  std::vector<std::string> imports;   // "import a.b" lines: a/b.kst
  std::vector<std::string> includes;  // #include "x.kst" lines, as the compiler finds them
};

struct Library {
  std::string folder;
  std::map<std::string, SourceFile> files;  // by path in the folder
  std::vector<std::string> order;           // the order in which they were first read
  std::vector<std::string> units;           // the main file and the modules its import lines name

  bool exists(const std::string& rel) const {
    struct stat st;
    return stat((folder + rel).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  const SourceFile* read(const std::string& rel) {
    auto it = files.find(rel);
    if (it != files.end()) return &it->second;
    SourceFile f;
    if (!read_text(folder + rel, &f.text)) return nullptr;
    std::istringstream in(f.text);
    std::string line;
    while (std::getline(in, line)) {
      if (line.compare(0, 7, "import ") == 0) {
        size_t b = line.find_first_not_of(" \t", 7);
        if (b == std::string::npos) continue;
        size_t e = line.find_first_of(" \t\r", b);
        std::string m = line.substr(b, e == std::string::npos ? std::string::npos : e - b);
        for (char& c : m)
          if (c == '.') c = '/';
        f.imports.push_back(m + ".kst");
      } else if (line.compare(0, 10, "#include \"") == 0) {
        size_t e = line.find('"', 10);
        if (e == std::string::npos) continue;
        std::string name = line.substr(10, e - 10);
        if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".kst") != 0) continue;
        // The including file's own folder first, then the source folder, as the compiler looks.
        std::string beside = folder_of(rel) + name;
        f.includes.push_back(exists(beside) ? beside : name);
      }
    }
    order.push_back(rel);
    return &files.emplace(rel, f).first->second;
  }

  // Every file reachable from the main file through imports and includes.
  void readAll(const std::string& main_file) {
    std::vector<std::string> pending = {main_file};
    std::set<std::string> seen;
    while (!pending.empty()) {
      std::string rel = pending.front();
      pending.erase(pending.begin());
      if (!seen.insert(rel).second) continue;
      const SourceFile* f = read(rel);
      if (!f) continue;  // a missing file fails the compile, not this
      for (const std::string& n : f->imports) pending.push_back(n);
      for (const std::string& n : f->includes) pending.push_back(n);
    }
    // The units as the build's configuration takes them: main.kst's own import lines.
    units = {main_file};
    if (const SourceFile* m = read(main_file))
      for (const std::string& n : m->imports) units.push_back(n);
  }

  // The files a unit's compile reads: the unit and, transitively, what it includes.
  std::vector<std::string> closure(const std::string& unit) {
    std::vector<std::string> out, pending = {unit};
    std::set<std::string> seen;
    while (!pending.empty()) {
      std::string rel = pending.back();
      pending.pop_back();
      if (!seen.insert(rel).second) continue;
      const SourceFile* f = read(rel);
      if (!f) continue;
      out.push_back(rel);
      for (auto it = f->includes.rbegin(); it != f->includes.rend(); ++it) pending.push_back(*it);
    }
    return out;
  }
};

std::string sources_record_source(Library& lib) {
  std::string s =
      "// Generated by entling_layout_gen: the sources this build of the library was made from.\n"
      "#include \"game/entlingSourceRecord.h\"\n"
      "static const EntlingSourceRow entling_source_rows[] = {\n";
  for (const std::string& rel : lib.order) {
    long long size = 0;
    unsigned long long hash = 0;
    if (!entling_source_hash((lib.folder + rel).c_str(), &size, &hash)) continue;
    s += "    {\"" + rel + "\", " + std::to_string(size) + "LL, " + std::to_string(hash) + "ULL},\n";
  }
  s += "};\n"
       "extern \"C\" __attribute__((visibility(\"default\"))) const EntlingSourceRow* get_entling_sources(int* "
       "count) {\n"
       "  *count = int(sizeof(entling_source_rows) / sizeof(entling_source_rows[0]));\n"
       "  return entling_source_rows;\n}\n";
  return s;
}

int generate(Library& lib, const std::string& gen, const std::string& dep_file) {
  // Each file's classes go to the first unit that compiles the file.
  std::set<std::string> placed;
  std::string list = "// Generated by entling_layout_gen: the layout rows of every unit, in the order of main.kst.\n";
  std::string calls;
  bool ok = true;
  for (const std::string& unit : lib.units) {
    std::vector<ScannedClass> classes;
    for (const std::string& rel : lib.closure(unit)) {
      if (!placed.insert(rel).second) continue;
      for (ScannedClass& c : scan_class_layouts(lib.files[rel].text)) classes.push_back(c);
    }
    std::string part = layout_part_name(unit);
    ok &= write_if_changed(gen + "/rows/" + unit + ".inc", layout_part_source(part, classes));
    list += "int " + part + "(EntlingLayoutRow* out, int capacity);\n";
    calls +=
        "  n += " + part + "(out ? out + (n < capacity ? n : capacity) : nullptr, n < capacity ? capacity - n : 0);\n";
  }
  list += "static int entling_layout_parts(EntlingLayoutRow* out, int capacity) {\n  int n = 0;\n" + calls +
          "  return n;\n}\n";
  ok &= write_if_changed(gen + "/entling_layouts.inc", list);
  ok &= write_if_changed(gen + "/entling_sources.cpp", sources_record_source(lib));
  // The build's own mark that this ran: written every time, unlike the parts above.
  std::ofstream(gen + "/entling_layouts.stamp", std::ios::binary) << "\n";
  std::ofstream dep(dep_file, std::ios::binary);
  dep << gen << "/entling_layouts.stamp:";
  for (const std::string& f : lib.order) dep << " \\\n  " << lib.folder << f;
  dep << "\n";
  return ok && dep ? 0 : 1;
}

// The bytes each file had at the last refresh: "hash size path" lines.
std::map<std::string, std::string> read_refresh_record(const std::string& path) {
  std::map<std::string, std::string> r;
  std::string text;
  if (!read_text(path, &text)) return r;
  std::istringstream in(text);
  std::string hash, size, rel;
  while (in >> hash >> size && std::getline(in >> std::ws, rel)) r[rel] = hash + " " + size;
  return r;
}

int refresh(Library& lib, const std::string& gen) {
  std::string record_path = gen + "/entling_refresh.txt";
  std::map<std::string, std::string> last = read_refresh_record(record_path), now;
  std::string record;
  for (const std::string& rel : lib.order) {
    long long size = 0;
    unsigned long long hash = 0;
    if (!entling_source_hash((lib.folder + rel).c_str(), &size, &hash)) continue;
    now[rel] = std::to_string(hash) + " " + std::to_string(size);
    record += now[rel] + " " + rel + "\n";
  }
  bool any = false;
  for (const std::string& unit : lib.units) {
    bool changed = false;
    for (const std::string& rel : lib.closure(unit)) {
      auto it = last.find(rel);
      if (it == last.end() || it->second != now[rel]) changed = true;
    }
    any |= changed;
    std::string wrapper = gen + "/units/" + unit + ".cpp";
    // A wrapper newer than its object: the build compiles the unit again.
    if (changed && utime(wrapper.c_str(), nullptr) != 0 && !last.empty())
      fprintf(stderr, "entling_layout_gen: cannot touch %s\n", wrapper.c_str());
  }
  // The generated parts follow the files' times too: without their mark they are made again.
  if (any) remove((gen + "/entling_layouts.stamp").c_str());
  return write_if_changed(record_path, record) ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: entling_layout_gen <source folder> <main file> <generated folder> <dependency file>\n"
      "       entling_layout_gen --refresh <source folder> <main file> <generated folder>\n"
      "Writes the actor library's generated parts (each unit's layout rows, their list, the record\n"
      "of the sources) from the main file and every file it imports or includes, and a dependency\n"
      "file naming each of them; --refresh marks for the next build every unit whose files' bytes\n"
      "changed since the last refresh.\n";
  tool_answer_help(argc, argv, usage);
  bool refreshing = argc > 1 && std::string(argv[1]) == "--refresh";
  int first = refreshing ? 2 : 1;
  int count = refreshing ? 3 : 4;
  tool_check_positional(argc - first + 1, argv + first - 1, "entling_layout_gen", usage, count, count);
  char** a = argv + first;
  Library lib;
  lib.folder = a[0];
  if (!lib.folder.empty() && lib.folder.back() != '/') lib.folder += '/';
  lib.readAll(a[1]);
  if (lib.order.empty()) {
    fprintf(stderr, "entling_layout_gen: error: cannot read %s%s\n", lib.folder.c_str(), a[1]);
    return 1;
  }
  std::string gen = a[2];
  while (gen.size() > 1 && gen.back() == '/') gen.pop_back();
  return refreshing ? refresh(lib, gen) : generate(lib, gen, a[3]);
}
