// Finds the classes and structs that the actor library's sources define, with their data members,
// so that a table of their layouts can be generated from the declarations themselves: a class added
// to the sources is covered by the live-swap check without anyone listing it.
#pragma once
#include <string>
#include <vector>

struct ScannedClass {
  std::string name;                 // qualified with its enclosing classes and named namespaces
  std::vector<std::string> fields;  // public data members, in declaration order
};

// Classes defined in one source text, outermost first; templates and function-local classes are
// left out (they have no one layout, or no instances that outlive a call).
std::vector<ScannedClass> scan_class_layouts(const std::string& text);

// The C++ text of the layout table: one row per class (size and alignment) followed by one row per
// member (offset, size and the compiler's spelling of its type).
std::string layout_table_source(const std::vector<ScannedClass>& classes);
