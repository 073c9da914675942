// Writes the actor library's layout table (see tools/entling_layout_gen/layoutScan.h) from its sources: the main file
// and every file that it imports or includes, transitively. The table is rewritten only when it
// changes, and a dependency file names every source read, so that any edit regenerates it.
//   entling_layout_gen <source folder> <main file> <output> <dependency file>
#include <stdio.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>
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

// The sources a file names: "import a.b" lines (a/b.kst) and #include "x.kst" lines.
std::vector<std::string> named_sources(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 7, "import ") == 0) {
      size_t b = line.find_first_not_of(" \t", 7);
      if (b == std::string::npos) continue;
      size_t e = line.find_first_of(" \t\r", b);
      std::string m = line.substr(b, e == std::string::npos ? std::string::npos : e - b);
      for (char& c : m)
        if (c == '.') c = '/';
      out.push_back(m + ".kst");
    } else if (line.compare(0, 10, "#include \"") == 0) {
      size_t e = line.find('"', 10);
      if (e == std::string::npos) continue;
      std::string f = line.substr(10, e - 10);
      if (f.size() > 4 && f.compare(f.size() - 4, 4, ".kst") == 0) out.push_back(f);
    }
  }
  return out;
}
}  // namespace

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "entling_layout_gen",
                        "usage: entling_layout_gen <source folder> <main file> <output> <dependency file>\n"
                        "Writes the actor library's layout table from the main file and every file it imports\n"
                        "or includes, and a dependency file naming each of them.\n",
                        4, 4);
  std::string folder = argv[1];
  if (!folder.empty() && folder.back() != '/') folder += '/';
  std::vector<std::string> order, pending = {argv[2]};
  std::set<std::string> seen;
  std::vector<ScannedClass> classes;
  while (!pending.empty()) {
    std::string rel = pending.front();
    pending.erase(pending.begin());
    if (!seen.insert(rel).second) continue;
    std::string text;
    if (!read_text(folder + rel, &text)) continue;  // a missing import fails the compile, not this
    order.push_back(folder + rel);
    for (ScannedClass& c : scan_class_layouts(text)) classes.push_back(c);
    for (const std::string& n : named_sources(text)) pending.push_back(n);
  }
  if (order.empty()) {
    fprintf(stderr, "entling_layout_gen: error: cannot read %s%s\n", folder.c_str(), argv[2]);
    return 1;
  }
  std::string table = layout_table_source(classes);
  std::string old;
  if (!read_text(argv[3], &old) || old != table) {
    std::ofstream out(argv[3], std::ios::binary);
    out << table;
    if (!out) {
      fprintf(stderr, "entling_layout_gen: error: cannot write %s\n", argv[3]);
      return 1;
    }
  }
  std::ofstream dep(argv[4], std::ios::binary);
  dep << argv[3] << ":";
  for (const std::string& f : order) dep << " \\\n  " << f;
  dep << "\n";
  return dep ? 0 : 1;
}
