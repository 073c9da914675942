// The class scanner of the layout table (see layoutScan.h). It works on tokens with comments,
// literals and preprocessor lines removed, and keeps a stack of the scopes it is in; what it does
// not recognise as a data member (methods, static members, type aliases) only leaves a member out,
// never a class: the class's size and alignment are in the table regardless.
#include "tools/entling_layout_gen/layoutScan.h"
#include <ctype.h>

namespace {
std::vector<std::string> tokenize(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0, n = s.size();
  bool line_start = true;
  while (i < n) {
    char c = s[i];
    if (c == '\n') {
      line_start = true;
      i++;
      continue;
    }
    if (isspace((unsigned char)c)) {
      i++;
      continue;
    }
    if (line_start && c == '#') {  // a preprocessor line, with its continuations
      while (i < n && s[i] != '\n') i += (s[i] == '\\' && i + 1 < n) ? 2 : 1;
      continue;
    }
    line_start = false;
    if (c == '/' && i + 1 < n && s[i + 1] == '/') {
      while (i < n && s[i] != '\n') i++;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      i = e == std::string::npos ? n : e + 2;
      continue;
    }
    if (c == '"' || c == '\'') {
      size_t j = i + 1;
      while (j < n && s[j] != c) j += s[j] == '\\' ? 2 : 1;
      out.push_back(c == '"' ? "\"\"" : "''");
      i = j + 1;
      continue;
    }
    if (isalnum((unsigned char)c) || c == '_') {
      size_t j = i;
      while (j < n && (isalnum((unsigned char)s[j]) || s[j] == '_' || s[j] == '.')) j++;
      out.push_back(s.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == ':' && i + 1 < n && s[i + 1] == ':') {
      out.push_back("::");
      i += 2;
      continue;
    }
    out.push_back(std::string(1, c));
    i++;
  }
  return out;
}

bool is_ident(const std::string& t) { return !t.empty() && (isalpha((unsigned char)t[0]) || t[0] == '_'); }

struct Scope {
  enum Kind { NAMESPACE, CLASS, OTHER } kind;
  std::string name;  // for classes and named namespaces
  int index = -1;    // the class's entry in the result, -1 for templates
};

// Skips a balanced group starting at tokens[i] (an opening bracket); returns the index past it.
size_t skip_group(const std::vector<std::string>& t, size_t i) {
  std::string open = t[i];
  std::string close = open == "{" ? "}" : open == "(" ? ")" : open == "[" ? "]" : ">";
  int depth = 0;
  for (; i < t.size(); i++) {
    if (t[i] == open) depth++;
    else if (t[i] == close && --depth == 0) return i + 1;
  }
  return i;
}

// The data members a member statement declares (empty for anything else).
std::vector<std::string> field_names(const std::vector<std::string>& st) {
  std::vector<std::string> names;
  if (st.empty()) return names;
  static const char* not_fields[] = {"static", "using", "typedef", "friend",   "enum",         "template",
                                     "struct", "class", "union",   "operator", "static_assert"};
  for (const char* w : not_fields)
    if (st[0] == w) return names;
  // Split into declarators at commas outside brackets; the first holds the type.
  std::vector<std::vector<std::string>> decls(1);
  int depth = 0;
  for (const std::string& tok : st) {
    if (tok == "(" || tok == "[" || tok == "{" || tok == "<") depth++;
    if (tok == ")" || tok == "]" || tok == "}" || tok == ">") depth--;
    if (tok == "," && depth == 0) {
      decls.emplace_back();
      continue;
    }
    decls.back().push_back(tok);
  }
  for (const auto& d : decls) {
    std::string name;
    for (const std::string& tok : d) {
      if (tok == "=" || tok == "[" || tok == "{") break;
      if (tok == "(" || tok == "operator") return {};  // a function, or a pointer to one
      // A reference member has no address of its own to compare (its pointer's slot has the size
      // of the class's other pointers, and the class's size covers it).
      if (tok == "&" || tok == "&&") {
        name.clear();
        break;
      }
      if (tok == ":") {  // a bit-field: no address of its own
        name.clear();
        break;
      }
      if (is_ident(tok) && tok != "const" && tok != "volatile" && tok != "mutable") name = tok;
    }
    if (!name.empty()) names.push_back(name);
  }
  // A lone word ("int;") or a type with no declarator is no member.
  if (decls.size() == 1 && !names.empty()) {
    int words = 0;
    for (const std::string& tok : decls[0]) {
      if (tok == "=" || tok == "[" || tok == "{") break;
      if (is_ident(tok)) words++;
    }
    if (words < 2) names.clear();
  }
  return names;
}
}  // namespace

std::vector<ScannedClass> scan_class_layouts(const std::string& text) {
  std::vector<std::string> t = tokenize(text);
  std::vector<ScannedClass> out;
  std::vector<Scope> scopes;
  std::vector<std::string> statement;  // the member statement being read in a class scope
  bool next_is_template = false;
  auto in_class = [&] { return !scopes.empty() && scopes.back().kind == Scope::CLASS; };
  auto in_function = [&] {
    for (const Scope& s : scopes)
      if (s.kind == Scope::OTHER) return true;
    return false;
  };
  size_t i = 0;
  while (i < t.size()) {
    const std::string& tok = t[i];
    if (tok == "template" && i + 1 < t.size() && t[i + 1] == "<") {
      i = skip_group(t, i + 1);
      next_is_template = true;
      continue;
    }
    if ((tok == "struct" || tok == "class" || tok == "union") && !in_function() && i + 1 < t.size() &&
        is_ident(t[i + 1])) {
      // A definition when a "{" follows the name (after "final" and a base list) before any ";".
      size_t j = i + 2;
      while (j < t.size() && t[j] != "{" && t[j] != ";" && t[j] != "(" && t[j] != ")" && t[j] != "=") j++;
      if (j < t.size() && t[j] == "{" && (j == i + 2 || t[i + 2] == ":" || t[i + 2] == "final")) {
        std::string name;
        for (const Scope& s : scopes)
          if (!s.name.empty()) name += s.name + "::";
        name += t[i + 1];
        Scope s{Scope::CLASS, t[i + 1]};
        if (!next_is_template) {
          s.index = int(out.size());
          out.push_back({name, {}});
        }
        bool enclosing_template = false;
        for (const Scope& e : scopes)
          if (e.kind == Scope::CLASS && e.index < 0) enclosing_template = true;
        if (enclosing_template && s.index >= 0) {
          out.pop_back();
          s.index = -1;
        }
        scopes.push_back(s);
        statement.clear();
        next_is_template = false;
        i = j + 1;
        continue;
      }
    }
    if (tok == "namespace") {
      size_t j = i + 1;
      std::string name;
      while (j < t.size() && t[j] != "{" && t[j] != ";" && t[j] != "=") name += t[j++];
      if (j < t.size() && t[j] == "{") {
        scopes.push_back({Scope::NAMESPACE, name});
        i = j + 1;
        continue;
      }
    }
    if (in_class()) {
      Scope& cls = scopes.back();
      // Access changes nothing: a member under any label lies in the objects the program keeps.
      if ((tok == "public" || tok == "private" || tok == "protected") && i + 1 < t.size() && t[i + 1] == ":") {
        i += 2;
        continue;
      }
      if (tok == "}") {
        scopes.pop_back();
        statement.clear();
        // Declarators after a nested class's closing brace are not followed.
        while (i < t.size() && t[i] != ";") i++;
        i++;
        continue;
      }
      if (tok == ";") {
        if (cls.index >= 0 && !next_is_template)
          for (const std::string& f : field_names(statement)) out[size_t(cls.index)].fields.push_back(f);
        statement.clear();
        next_is_template = false;
        i++;
        continue;
      }
      if (tok == "{") {
        bool function = false;
        for (const std::string& s : statement)
          if (s == "(") function = true;
        if (statement.empty() || statement[0] == "enum") function = true;
        size_t e = skip_group(t, i);
        if (function) {  // a body (or an enum): the statement ends here
          statement.clear();
          next_is_template = false;
        } else {  // a brace initializer of a member
          statement.push_back("{");
        }
        i = e;
        continue;
      }
      statement.push_back(tok);
      i++;
      continue;
    }
    if (tok == "{") {
      scopes.push_back({Scope::OTHER, ""});
      next_is_template = false;  // the body of a function template
      i++;
      continue;
    }
    if (tok == "}") {
      if (!scopes.empty()) scopes.pop_back();
      i++;
      continue;
    }
    if (tok == ";") next_is_template = false;
    i++;
  }
  return out;
}

std::string layout_part_name(const std::string& unit) {
  std::string n = "entling_layout_part_";
  for (char c : unit) n += isalnum((unsigned char)c) ? c : '_';
  return n;
}

std::string layout_part_source(const std::string& part, const std::vector<ScannedClass>& classes) {
  std::string items, rows;
  int n = 0;
  for (const ScannedClass& c : classes) {
    std::string q = "::" + c.name;
    items += "template struct EntlingLayoutClassItem<EntlingLayoutUnit, " + std::to_string(n) + ", " + q + ">;\n";
    rows += "  rows.addClass(\"" + c.name + "\", entling_layout_item(EntlingLayoutTag<EntlingLayoutUnit, " +
            std::to_string(n++) + ">{}));\n";
    for (const std::string& f : c.fields) {
      items += "template struct EntlingLayoutMemberItem<EntlingLayoutUnit, " + std::to_string(n) + ", &" + q +
               "::" + f + ">;\n";
      rows += "  rows.addMember(\"" + c.name + "\", \"" + f +
              "\", entling_layout_item(EntlingLayoutTag<EntlingLayoutUnit, " + std::to_string(n++) + ">{}));\n";
    }
  }
  return "// Generated from the classes of this unit's sources by entling_layout_gen: do not edit.\n"
         "#include \"game/entlingLayout.h\"\n"
         "namespace {\nstruct EntlingLayoutUnit;\n}\n" +
         items + "int " + part + "(EntlingLayoutRow* out, int capacity) {\n  EntlingLayoutRows rows{out, capacity};\n" +
         rows + "  return rows.count;\n}\n";
}
