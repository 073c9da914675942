// Finds the classes and structs that the actor library's sources define, with their data members,
// so that a table of their layouts can be generated from the declarations themselves: a class added
// to the sources is covered by the live-swap check without anyone listing it.
#pragma once
#include <string>
#include <vector>

struct ScannedClass {
  std::string name;                 // qualified with its enclosing classes and named namespaces
  std::vector<std::string> fields;  // data members of every access, in declaration order
};

// Classes defined in one source text, outermost first; templates and function-local classes are
// left out (they have no one layout, or no instances that outlive a call).
std::vector<ScannedClass> scan_class_layouts(const std::string& text);

// The C++ text of one translation unit's part of the layout table, appended to that unit (so a
// class defined in a module's own code file is seen where it is complete): the function `part`
// writes one row per class (size and alignment) followed by one row per member (offset, size and
// the compiler's spelling of its type) and returns how many rows it has. Members are reached by
// explicit instantiations, which are not bound by access, so private members need no friend.
std::string layout_part_source(const std::string& part, const std::vector<ScannedClass>& classes);
// The name of a unit's part function, from the unit's path in the source folder.
std::string layout_part_name(const std::string& unit);
