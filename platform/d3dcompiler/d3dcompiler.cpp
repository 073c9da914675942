// Our shader compiler library, loaded by the game by name ("d3dcompiler_43.dll" in the program
// folder): HLSL of the vs_2_0 / ps_2_0 kind through glslang's HLSL front end (DX9-compatible mode)
// to SPIR-V, then SPIRV-Cross to GLSL 330, wrapped in the code blob our graphics layer accepts.
// Modders edit shaders while the game runs, so whatever the layer could not draw exactly fails here,
// with a message, and never later at a draw: every error of the front end, the SPIR-V validator,
// the translation or a GLSL check of the result fails the compile.
//
// The translation follows the layer's conventions:
// - constants form one block per stage, flattened into `uniform vec4 vs_c[]` or `ps_c[]` indexed
//   by register; register(cN) is kept, constants without one get the lowest free registers of
//   their stage in declaration order, as Direct3D 9 gives them (only what the stage uses counts,
//   and a register for one profile, register(ps, cN), binds in that stage only); integer and bool
//   constants are refused only where the entry reads them;
// - samplers are ps_s<N> after register(sN), unregistered ones placed the same way; an array
//   becomes one sampler per register; the vertex stage has no samplers here;
// - vertex inputs sit at fixed locations by semantic and are named a_<SEMANTIC><INDEX>;
// - varyings are vec4 named v_<SEMANTIC><INDEX> on both sides, so stages match by semantic
//   whatever size each side declares (the reader takes its components); an array takes one
//   semantic index per element; every input and output needs a semantic;
// - the vertex output POSITION becomes gl_Position, the pixel output DEPTH gl_FragDepth, and pixel
//   outputs COLORn are vec4 o_COLORn at location n; vs_1_1 and vs_2_0 colour outputs are clamped
//   to [0, 1] as Direct3D 9 clamps oD0 and oD1;
// - the pixel position (VPOS, SV_Position read by the pixel entry) is refused: the layer draws the
//   window the other way up from texture targets and GL counts from the bottom at pixel centres.
// Intrinsics whose GLSL namesakes are defined otherwise (fmod and the float %, round, ldexp, lit,
// ddy, which runs down every target) get their HLSL definitions, and frexp, which GLSL 330 lacks,
// its HLSL one; cube and volume lookups on an untyped `sampler` are refused, as is noise (which
// Direct3D 9 has in texture shaders only).
// Sources and includes may start with a UTF-8 byte-order mark; includes nest at most 32 deep.
// Matrix swizzles (m._11_22) are rewritten into element constructors before the front end, which
// cannot translate them; effect files (techniques, sampler_state) are refused with the first
// block's line.
//
// Sections: blobs; fixes to the source; includes; declarations read from the parse tree;
// registers and the stage interface (SPIRV-Cross); rewriting of the GLSL text; the GLSL check; the
// two entry points.
#include "platform/d3d9/d3dcompiler.h"
#include <ctype.h>
#include <glslang/MachineIndependent/localintermediate.h>
#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv-tools/libspirv.h>
#include <spirv_cross/spirv_cross_c.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {
// ---- Blobs
class Blob : public ID3DBlob {
 public:
  std::vector<uint8_t> bytes;
  void* GetBufferPointer() override { return bytes.data(); }
  size_t GetBufferSize() override { return bytes.size(); }
};

ID3DBlob* text_blob(const std::string& s) {
  Blob* b = new Blob();
  b->bytes.assign(s.begin(), s.end());
  b->bytes.push_back(0);
  return b;
}

// Editors save UTF-8 files with a byte-order mark; the preprocessor would take it for code.
void skip_bom(const char** text, size_t* size) {
  if (*size >= 3 && memcmp(*text, "\xEF\xBB\xBF", 3) == 0) {
    *text += 3;
    *size -= 3;
  }
}

// ---- Fixes to the source before the front end
bool is_ident(char ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_';
}

// The source with comments and string literals blanked (newlines kept), so that searches see code
// only and positions still match the source.
std::string code_only(const std::string& s) {
  std::string m = s;
  for (size_t i = 0; i < m.size(); i++) {
    if (m.compare(i, 2, "//") == 0) {
      while (i < m.size() && m[i] != '\n') m[i++] = ' ';
    } else if (m.compare(i, 2, "/*") == 0) {
      size_t end = m.find("*/", i + 2);
      end = end == std::string::npos ? m.size() : end + 2;
      for (; i < end; i++)
        if (m[i] != '\n') m[i] = ' ';
      i--;
    } else if (m[i] == '"') {
      m[i++] = ' ';
      while (i < m.size() && m[i] != '"' && m[i] != '\n') m[i++] = ' ';
      if (i < m.size() && m[i] == '"') m[i] = ' ';
    }
  }
  return m;
}

// The components of a matrix swizzle at `p` (just after the dot): "_11_22" and "_m00_m11" give
// (row, column) pairs counted from 0; the length read goes to `length`. Empty when it is none.
std::vector<std::pair<int, int>> matrix_swizzle(const std::string& code, size_t p, size_t* length) {
  std::vector<std::pair<int, int>> parts;
  size_t i = p;
  while (i < code.size() && code[i] == '_' && parts.size() < 4) {
    if (i + 3 < code.size() && code[i + 1] == 'm' && code[i + 2] >= '0' && code[i + 2] <= '3' && code[i + 3] >= '0' &&
        code[i + 3] <= '3') {
      parts.push_back({code[i + 2] - '0', code[i + 3] - '0'});
      i += 4;
    } else if (i + 2 < code.size() && code[i + 1] >= '1' && code[i + 1] <= '4' && code[i + 2] >= '1' &&
               code[i + 2] <= '4') {
      parts.push_back({code[i + 1] - '1', code[i + 2] - '1'});
      i += 3;
    } else {
      return {};
    }
  }
  if (parts.empty() || (i < code.size() && is_ident(code[i]))) return {};
  *length = i - p;
  return parts;
}

// The start of the postfix expression that ends at `end` (a name, member accesses, indexing,
// calls and parentheses), or `end` when there is none.
size_t expression_start(const std::string& code, size_t end) {
  size_t q = end;
  while (q > 0) {
    char ch = code[q - 1];
    if (is_ident(ch)) {
      size_t word_end = q;
      while (q > 0 && is_ident(code[q - 1])) q--;
      if (code.compare(q, word_end - q, "return") == 0) return word_end;
      if (q > 0 && code[q - 1] == '.') {
        q--;
        continue;
      }
      return q;
    }
    if (ch != ']' && ch != ')') return q;
    char open = ch == ']' ? '[' : '(';
    int depth = 0;
    do {
      q--;
      if (code[q] == ch) depth++;
      else if (code[q] == open) depth--;
    } while (q > 0 && depth > 0);
    if (depth != 0) return end;
  }
  return q;
}

// Matrix swizzles (m._11_22_33, m._m00_m11) become constructors of the elements, which the front
// end translates (it cannot translate the swizzle itself). m._rc is m[r-1][c-1] in HLSL whatever the
// packing. A swizzle written to fails in the front end as the constructor it became.
std::string mend_matrix_swizzles(const std::string& src) {
  std::string code = code_only(src);
  std::string out = src;
  for (size_t p = code.size(); p-- > 1;) {
    if (code[p] != '.' || code[p + 1 < code.size() ? p + 1 : p] != '_') continue;
    size_t length = 0;
    std::vector<std::pair<int, int>> parts = matrix_swizzle(code, p + 1, &length);
    if (parts.empty()) continue;
    size_t start = expression_start(code, p);
    if (start == p || (code[start] >= '0' && code[start] <= '9')) continue;
    std::string expr = "(" + out.substr(start, p - start) + ")";
    std::string made = parts.size() > 1 ? "float" + std::to_string(parts.size()) + "(" : "";
    for (size_t k = 0; k < parts.size(); k++)
      made +=
          (k ? ", " : "") + expr + "[" + std::to_string(parts[k].first) + "][" + std::to_string(parts[k].second) + "]";
    if (parts.size() > 1) made += ")";
    out.replace(start, p + 1 + length - start, made);
    code.replace(start, p + 1 + length - start, std::string(made.size(), ' '));
    p = start;
  }
  return out;
}

// A register for one profile (register(ps, c3), register(vs_2_0, c0)) binds the constant in that
// stage only; the front end would apply it to both stages, with a warning. For the stage compiled
// the clause becomes a plain register(c3), and goes where the profile is the other stage's, so
// that the constant takes a free register there as Direct3D 9 gives it one.
std::string choose_stage_registers(const std::string& src, bool vertex) {
  std::string code = code_only(src);
  std::string out = src;
  const std::string word = "register";
  for (size_t p = code.rfind(word); p != std::string::npos; p = p ? code.rfind(word, p - 1) : std::string::npos) {
    if ((p > 0 && is_ident(code[p - 1])) || (p + word.size() < code.size() && is_ident(code[p + word.size()])))
      continue;
    size_t open = p + word.size();
    while (open < code.size() && (code[open] == ' ' || code[open] == '\t')) open++;
    if (open >= code.size() || code[open] != '(') continue;
    size_t close = code.find(')', open);
    size_t comma = code.find(',', open);
    if (close == std::string::npos || comma == std::string::npos || comma > close) continue;
    auto trim = [](std::string t) {
      size_t a = t.find_first_not_of(" \t"), b = t.find_last_not_of(" \t");
      return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
    };
    std::string profile = trim(code.substr(open + 1, comma - open - 1));
    std::string reg = trim(code.substr(comma + 1, close - comma - 1));
    bool vs = profile.compare(0, 2, "vs") == 0, ps = profile.compare(0, 2, "ps") == 0;
    if ((!vs && !ps) || (profile.size() > 2 && profile[2] != '_') || reg.empty()) continue;
    size_t colon = p;
    while (colon > 0 && (code[colon - 1] == ' ' || code[colon - 1] == '\t')) colon--;
    if (colon == 0 || code[colon - 1] != ':') continue;
    colon--;
    std::string made = vs == vertex ? ": register(" + reg + ")" : "";
    made.resize(close + 1 - colon, ' ');  // lines and columns stay where they were
    out.replace(colon, close + 1 - colon, made);
    p = colon;
  }
  return out;
}

// The end of the number literal at `p` (12, 0.5f, 1e-3, .25, 0x1F), or npos; `is_float` says
// whether it is a float one.
size_t number_end(const std::string& code, size_t p, bool* is_float) {
  size_t i = p;
  *is_float = false;
  if (code.compare(i, 2, "0x") == 0 || code.compare(i, 2, "0X") == 0) {
    i += 2;
    while (i < code.size() && isxdigit((unsigned char)code[i])) i++;
    if (i == p + 2) return std::string::npos;
  } else {
    size_t digits = 0;
    while (i < code.size() && isdigit((unsigned char)code[i])) i++, digits++;
    if (i < code.size() && code[i] == '.') {
      *is_float = true;
      for (i++; i < code.size() && isdigit((unsigned char)code[i]); i++) digits++;
    }
    if (!digits) return std::string::npos;
    if (i < code.size() && (code[i] == 'e' || code[i] == 'E')) {
      size_t e = i + 1;
      if (e < code.size() && (code[e] == '+' || code[e] == '-')) e++;
      if (e >= code.size() || !isdigit((unsigned char)code[e])) return std::string::npos;
      while (e < code.size() && isdigit((unsigned char)code[e])) e++;
      i = e;
      *is_float = true;
    }
    if (i < code.size() && strchr("fFhH", code[i])) {
      i++;
      *is_float = true;
    }
  }
  if (i < code.size() && strchr("uUlL", code[i])) i++;
  if (i < code.size() && (is_ident(code[i]) || code[i] == '.')) return std::string::npos;
  return i;
}

// The front end folds `x % y` of two float literals to no sensible value (-0.375 % 0.25 gives
// -0.375): such a remainder becomes fmod(x, y), which folds as HLSL defines it (hlsl_intrinsics).
// Only where the literals are the whole operands: `2 * 0.5 % 0.3` is (2 * 0.5) % 0.3, left alone
// (and done at run time, see use_hlsl_remainder). A sign before the left literal may stay outside,
// as fmod(-x, y) is -fmod(x, y). Integer remainders fold correctly and stay as they are.
std::string mend_literal_remainders(const std::string& src) {
  std::string code = code_only(src);
  std::string out = src;
  auto skip_back = [&](size_t q) {  // the position just after the last non-blank before q
    while (q > 0 && (code[q - 1] == ' ' || code[q - 1] == '\t' || code[q - 1] == '\n' || code[q - 1] == '\r')) q--;
    return q;
  };
  auto skip_on = [&](size_t q) {
    while (q < code.size() && (code[q] == ' ' || code[q] == '\t' || code[q] == '\n' || code[q] == '\r')) q++;
    return q;
  };
  for (size_t p = code.size(); p-- > 0;) {
    if (code[p] != '%' || (p + 1 < code.size() && code[p + 1] == '=')) continue;
    // The left literal, read back to its first character.
    size_t left_end = skip_back(p), left = left_end;
    while (left > 0 && (is_ident(code[left - 1]) || code[left - 1] == '.' ||
                        ((code[left - 1] == '+' || code[left - 1] == '-') && left > 1 &&
                         (code[left - 2] == 'e' || code[left - 2] == 'E'))))
      left--;
    bool left_float = false, right_float = false;
    if (left == left_end || number_end(code, left, &left_float) != left_end) continue;
    // What comes before must not bind the literal tighter than % does: another * / %, a cast or a
    // unary operator applied to a product (2 * -0.5 % 0.3). A binary + or - binds it less tightly.
    auto operand_ends_at = [&](size_t q) {  // a name, a number or a bracket closes just before q
      if (q == 0) return false;
      if (code[q - 1] == ')' || code[q - 1] == ']') return true;
      bool word_return = q >= 6 && code.compare(q - 6, 6, "return") == 0 && (q == 6 || !is_ident(code[q - 7]));
      return is_ident(code[q - 1]) && !word_return;
    };
    size_t before = skip_back(left);
    bool bound_tighter = operand_ends_at(before) || (before > 0 && strchr("*/%.!~", code[before - 1]));
    while (!bound_tighter && before > 0 && (code[before - 1] == '-' || code[before - 1] == '+')) {
      size_t q = skip_back(before - 1);
      if (operand_ends_at(q)) break;  // a binary sign
      before = q;
      bound_tighter = before > 0 && strchr("*/%.!~", code[before - 1]);
    }
    if (bound_tighter) continue;
    size_t right = skip_on(p + 1);
    while (right < code.size() && (code[right] == '-' || code[right] == '+')) right = skip_on(right + 1);
    size_t right_end = right < code.size() ? number_end(code, right, &right_float) : std::string::npos;
    if (right_end == std::string::npos || (!left_float && !right_float)) continue;
    size_t after = skip_on(right_end);
    if (after < code.size() && (code[after] == '.' || code[after] == '[' || code[after] == '(')) continue;
    std::string made = "fmod(" + out.substr(left, left_end - left) + ", " + out.substr(p + 1, right_end - p - 1) + ")";
    out.replace(left, right_end - left, made);
    code.replace(left, right_end - left, std::string(made.size(), ' '));
    p = left;
  }
  return out;
}

// What the front end is given of every file: registers chosen for the stage, matrix swizzles and
// literal remainders mended.
std::string mend_source(const std::string& src, bool vertex) {
  return mend_literal_remainders(mend_matrix_swizzles(choose_stage_registers(src, vertex)));
}

// Effect files hold techniques and state blocks no compiler of single entry points takes: the
// first one named, with its line, when the front end gives up.
std::string effect_syntax(const std::string& src) {
  std::string code = code_only(src);
  size_t best = std::string::npos;
  std::string found;
  for (const char* word : {"technique", "technique9", "technique10", "technique11", "sampler_state", "texture"}) {
    size_t w = strlen(word);
    for (size_t p = code.find(word); p != std::string::npos; p = code.find(word, p + 1)) {
      if ((p > 0 && is_ident(code[p - 1])) || (p + w < code.size() && is_ident(code[p + w]))) continue;
      if (p < best) {
        best = p;
        found = word;
      }
      break;
    }
  }
  if (found.empty()) return "";
  int line = 1;
  for (size_t i = 0; i < best; i++) line += code[i] == '\n';
  return "effect files are not supported (technique, pass, sampler_state and texture objects): the first is '" + found +
         "' at line " + std::to_string(line) + "; declare samplers with register(sN) and compile the entry " +
         "points alone";
}

// ---- Includes
// Deeper nesting than any real shader needs: an include cycle without a guard stops here instead
// of growing for ever. Guarded cycles (a file included again inside its own #ifndef) still work.
const size_t MAX_INCLUDE_DEPTH = 32;

// glslang's include requests go to the caller's include handler. As with Direct3D, Open is given
// the bytes of the including file (null for the main source), so a handler can find a nested
// include beside its parent; each file's bytes stay open until the file has been read.
class IncludeBridge : public glslang::TShader::Includer {
 public:
  ID3DInclude* handler;
  std::vector<std::string> open_files;  // the main file, then every include being read
  std::vector<const void*> open_data;   // the handler's bytes of each include being read
  bool vertex;
  IncludeBridge(ID3DInclude* h, const char* main_name, bool vs) : handler(h), open_files{main_name}, vertex(vs) {}
  ~IncludeBridge() {
    for (const void* data : open_data) handler->Close(data);  // the front end gave up inside an include
  }

  IncludeResult* open(const char* name, size_t depth, D3D_INCLUDE_TYPE type) {
    if (depth > MAX_INCLUDE_DEPTH) {
      std::string chain;
      for (size_t i = open_files.size(); i-- > 0;)  // the innermost loop
        if (open_files[i] == name) {
          for (size_t k = i; k < open_files.size(); k++) chain += "'" + open_files[k] + "' -> ";
          break;
        }
      std::string* why = new std::string("includes nest deeper than " + std::to_string(MAX_INCLUDE_DEPTH) + " levels");
      if (!chain.empty()) *why = "include cycle: " + chain + "'" + name + "'; " + *why;
      return new IncludeResult("", why->c_str(), why->size(), why);
    }
    if (!handler) return nullptr;
    const void* data = nullptr;
    UINT size = 0;
    const void* parent = open_data.empty() ? nullptr : open_data.back();
    if (FAILED(handler->Open(type, name, parent, &data, &size)) || !data) return nullptr;
    const char* text = (const char*)data;
    size_t n = size;
    skip_bom(&text, &n);
    std::string* mended = new std::string(mend_source(std::string(text, n), vertex));
    open_files.push_back(name);
    open_data.push_back(data);
    return new IncludeResult(name, mended->c_str(), mended->size(), mended);
  }
  IncludeResult* includeLocal(const char* name, const char*, size_t depth) override {
    return open(name, depth, D3D_INCLUDE_LOCAL);
  }
  IncludeResult* includeSystem(const char* name, const char*, size_t depth) override {
    return open(name, depth, D3D_INCLUDE_SYSTEM);
  }
  void releaseInclude(IncludeResult* r) override {
    if (!r) return;
    if (!r->headerName.empty() && open_files.size() > 1) {
      open_files.pop_back();
      handler->Close(open_data.back());
      open_data.pop_back();
    }
    delete (std::string*)r->userData;  // the file's text, or a refusal's
    delete r;
  }
};

// ---- Declarations read from the parse tree
// What the source said before register mapping: the register given (-1: none), in declaration order.
struct Declared {
  std::string name;
  int reg = -1;
  int count = 1;
};
struct Declarations {
  std::vector<Declared> constants, samplers;
};

const Declared* find_declared(const std::vector<Declared>& list, const char* name) {
  for (const Declared& d : list)
    if (name && d.name == name) return &d;
  return nullptr;
}

// An input or output of the entry by the front end's name for it: a parameter, the return value
// or a member of the return value's struct.
std::string describe_entry_io(const std::string& name) {
  const std::string ret = "@entryPointOutput";
  if (name.compare(0, ret.size(), ret) != 0) return "parameter '" + name + "'";
  if (name.size() <= ret.size() + 1) return "the return value";
  return "member '" + name.substr(ret.size() + 1) + "' of the return value";
}
const char* const NO_SEMANTIC =
    " of the entry has no semantic: give every input and output one (POSITION, TEXCOORD0, COLOR...)";

const char* const INTEGER_CONSTANTS =
    "integer and bool constants (registers iN and bN) are not supported; use float constants";

// Whether a tree holds a call of dx_cube_or_volume, the mark of hlsl_intrinsics.
class CubeOrVolumeMark : public glslang::TIntermTraverser {
 public:
  bool found = false;
  bool visitAggregate(glslang::TVisit, glslang::TIntermAggregate* node) override {
    if (node->getOp() == glslang::EOpFunctionCall && node->getName().compare(0, 18, "dx_cube_or_volume(") == 0)
      found = true;
    return !found;
  }
};

// What the compiled entry reads, walked on the linked tree (the front end has dropped every
// function the entry does not call by then): the members of the constant block, texture lookups
// on a sampler the front end typed 2D (an untyped `sampler`) whose coordinate is not 2D (texCUBE,
// tex3D) or that were written as a cube, volume or 1D lookup (texCUBElod makes the tree tex2Dlod
// makes, but for the mark hlsl_intrinsics puts on its coordinate), and the functions called and
// defined: the front end takes an intrinsic it has no code for (noise) for a call of a function
// without a body, which the SPIR-V back end crashes on.
class UseFinder : public glslang::TIntermTraverser {
 public:
  std::vector<bool> members_read;
  std::string odd_sampler;
  int odd_line = 0;
  int matrix_swizzle_line = 0;                     // one left after mend_matrix_swizzles (made by a macro)
  std::set<std::string> defined;                   // the functions of the tree, by their full name
  std::vector<std::pair<std::string, int>> calls;  // each call's full name and line
  bool visitBinary(glslang::TVisit, glslang::TIntermBinary* node) override {
    if (node->getOp() == glslang::EOpMatrixSwizzle && !matrix_swizzle_line) matrix_swizzle_line = node->getLoc().line;
    if (node->getOp() != glslang::EOpIndexDirectStruct) return true;
    const glslang::TType& t = node->getLeft()->getType();
    glslang::TIntermConstantUnion* k = node->getRight()->getAsConstantUnion();
    if (t.getBasicType() == glslang::EbtBlock && t.getTypeName() == "$Global" && k) {
      size_t m = size_t(k->getConstArray()[0].getIConst());
      if (members_read.size() <= m) members_read.resize(m + 1, false);
      members_read[m] = true;
    }
    return true;
  }
  bool visitAggregate(glslang::TVisit, glslang::TIntermAggregate* node) override {
    glslang::TOperator op = node->getOp();
    if (op == glslang::EOpFunction) defined.insert(node->getName().c_str());
    if (op == glslang::EOpFunctionCall) calls.push_back({node->getName().c_str(), node->getLoc().line});
    if (op != glslang::EOpTexture && op != glslang::EOpTextureLod && op != glslang::EOpTextureGrad &&
        op != glslang::EOpTextureProj)
      return true;
    glslang::TIntermSequence& args = node->getSequence();
    if (args.size() < 2 || !args[0]->getAsTyped() || !args[1]->getAsTyped()) return true;
    const glslang::TType& sampler = args[0]->getAsTyped()->getType();
    if (sampler.getBasicType() != glslang::EbtSampler || sampler.getSampler().dim != glslang::Esd2D) return true;
    // A sampler, or an element of a sampler array.
    glslang::TIntermBinary* element = args[0]->getAsBinaryNode();
    glslang::TIntermSymbol* sym = element ? element->getLeft()->getAsSymbolNode() : args[0]->getAsSymbolNode();
    CubeOrVolumeMark mark;
    for (size_t i = 1; i < args.size(); i++) args[i]->traverse(&mark);
    // tex2D and its kin narrow the coordinate to two components (tex2Dbias types its narrowing
    // vec2 node as wider, so the constructor counts, not the node's type).
    glslang::TIntermAggregate* made = args[1]->getAsAggregate();
    int size = made && made->getOp() == glslang::EOpConstructVec2 ? 2 : args[1]->getAsTyped()->getVectorSize();
    if ((mark.found || (op != glslang::EOpTextureProj && size != 2)) && odd_sampler.empty()) {
      odd_sampler = sym ? sym->getName().c_str() : "?";
      odd_line = node->getLoc().line;
    }
    return true;
  }
};

bool is_integer(const glslang::TType& t) {
  glslang::TBasicType b = t.getBasicType();
  return b == glslang::EbtInt || b == glslang::EbtUint || b == glslang::EbtBool;
}

// Reads the registers the source gave and readies the constant block for the SPIR-V back end:
// - register offsets are taken off the block, since one register may hold a vertex constant and a
//   pixel constant (each stage has its own register file) and the back end's layout check would
//   call that an overlap; the registers are put back per stage from `out` (assign_constants);
// - integer and bool constants the entry does not read become floats no one reads; ones it reads
//   are refused. `int_register_lines` holds the lines where the front end ignored register(iN).
bool read_declarations(glslang::TIntermediate* in, const std::vector<int>& int_register_lines, Declarations* out,
                       std::string* err) {
  glslang::TIntermAggregate* root = in->getTreeRoot() ? in->getTreeRoot()->getAsAggregate() : nullptr;
  if (!root) return true;
  UseFinder uses;
  root->traverse(&uses);
  for (const auto& call : uses.calls)
    if (!uses.defined.count(call.first)) {
      *err = "line " + std::to_string(call.second) + ": " + call.first.substr(0, call.first.find('(')) +
             " is not supported (an HLSL intrinsic with no counterpart here): write a function of your own";
      return false;
    }
  if (!uses.odd_sampler.empty()) {
    *err = "sampler '" + uses.odd_sampler + "' (line " + std::to_string(uses.odd_line) +
           ") is read as a 1D, cube or volume texture: only 2D textures can be drawn here (no cube, volume or 1D "
           "textures)";
    return false;
  }
  // The SPIR-V back end cannot translate these and says so without a line.
  if (uses.matrix_swizzle_line) {
    *err = "line " + std::to_string(uses.matrix_swizzle_line) +
           ": a matrix swizzle made by a macro cannot be translated: write it out where it is used (m._11_22) or "
           "index the matrix (m[0][0])";
    return false;
  }
  int blocks = 0;
  for (TIntermNode* node : root->getSequence()) {
    glslang::TIntermAggregate* objects = node->getAsAggregate();
    if (!objects || objects->getOp() != glslang::EOpLinkerObjects) continue;
    for (TIntermNode* o : objects->getSequence()) {
      glslang::TIntermSymbol* sym = o->getAsSymbolNode();
      if (!sym) continue;
      const glslang::TType& t = sym->getType();
      const glslang::TQualifier& q = t.getQualifier();
      // Checked here too, as some of these (a bool output) do not survive to the stage interface.
      if ((q.storage == glslang::EvqVaryingIn || q.storage == glslang::EvqVaryingOut) &&
          q.builtIn == glslang::EbvNone && t.getBasicType() != glslang::EbtStruct &&
          !(q.semanticName && *q.semanticName)) {
        *err = describe_entry_io(sym->getName().c_str()) + NO_SEMANTIC;
        return false;
      }
      if (q.storage != glslang::EvqUniform) continue;
      if (t.getBasicType() == glslang::EbtSampler) {
        Declared d;
        d.name = sym->getName().c_str();
        if (t.getQualifier().hasBinding()) d.reg = int(t.getQualifier().layoutBinding);
        if (t.isArray()) d.count = t.getCumulativeArraySize();
        out->samplers.push_back(d);
      } else if (t.getBasicType() == glslang::EbtBlock) {
        if (++blocks > 1 || t.getTypeName() != "$Global") {
          *err = "constant buffers (cbuffer) are not supported: declare constants at the outer level with register(cN)";
          return false;
        }
        const glslang::TTypeList& members = *t.getStruct();
        for (size_t i = 0; i < members.size(); i++) {
          glslang::TType& m = *members[i].type;
          glslang::TQualifier& q = m.getQualifier();
          bool read = i < uses.members_read.size() && uses.members_read[i];
          bool int_register = false;
          for (int line : int_register_lines) int_register |= line == members[i].loc.line;
          // register(bN) on a float shows as a binding.
          if (is_integer(m) || q.hasBinding() || int_register) {
            if (read) {
              *err = std::string("constant '") + m.getFieldName().c_str() + "': " + INTEGER_CONSTANTS;
              return false;
            }
            m.setBasicType(glslang::EbtFloat);
            q.layoutBinding = glslang::TQualifier::layoutBindingEnd;
          }
          Declared d;
          d.name = m.getFieldName().c_str();
          if (q.hasOffset()) d.reg = q.layoutOffset / 16;
          q.layoutOffset = glslang::TQualifier::layoutNotSet;
          out->constants.push_back(d);
        }
      }
    }
  }
  return true;
}

// ---- Registers and the stage interface
// "TEXCOORD" -> ("TEXCOORD", 0), "COLOR1" -> ("COLOR", 1); upper case.
void split_semantic(const char* sem, std::string* base, int* index) {
  std::string s;
  for (const char* c = sem; *c; c++) s += char(*c >= 'a' && *c <= 'z' ? *c - 32 : *c);
  size_t k = s.size();
  while (k > 0 && s[k - 1] >= '0' && s[k - 1] <= '9') k--;
  *base = s.substr(0, k);
  *index = k < s.size() ? atoi(s.c_str() + k) : 0;
}

int input_location(const std::string& base, int index) {
  if (base == "POSITION" || base == "POSITIONT") return index == 0 ? 0 : -1;
  if (base == "BLENDWEIGHT") return index == 0 ? 1 : -1;
  if (base == "NORMAL") return index == 0 ? 2 : -1;
  if (base == "COLOR") return index < 2 ? 3 + index : -1;
  if (base == "BLENDINDICES") return index == 0 ? 5 : -1;
  if (base == "TANGENT") return index == 0 ? 6 : -1;
  if (base == "BINORMAL") return index == 0 ? 7 : -1;
  if (base == "TEXCOORD") return index < 8 ? 8 + index : -1;
  return -1;
}

const int CONSTANT_REGISTERS = 256;  // the layer's register file per stage
const int SAMPLER_REGISTERS = 16;    // s0..s15, the layer's texture stages

// The lowest run of `count` free registers (marking it taken), or -1.
int take_free(std::vector<bool>& used, int count) {
  for (int r = 0; r + count <= int(used.size()); r++) {
    int k = 0;
    while (k < count && !used[size_t(r + k)]) k++;
    if (k == count) {
      for (int i = 0; i < count; i++) used[size_t(r + i)] = true;
      return r;
    }
  }
  return -1;
}

// Interface variables whose declaration the text rewriting changes (see rewrite_glsl).
struct Widened {
  std::string temp;                // the name the program's code uses, a plain global after rewriting
  std::vector<std::string> names;  // the vec4 in or out the other side sees, one per array element
  unsigned size;                   // components the program's code has (per element)
  bool colour;                     // a pixel output: a scalar is replicated as Direct3D 9 does
  bool input;
  bool array;  // temp is an array of names.size() elements
};
struct SamplerArray {
  std::string temp;
  int reg, count;
};
struct Interface {
  std::vector<Widened> widened;
  std::vector<SamplerArray> sampler_arrays;
  std::vector<std::string> varyings;   // v_ names taken so far
  std::vector<std::string> saturated;  // vertex colours clamped to [0, 1] after the translated main
  int constant_registers = 0;          // one past the highest register the stage reads
};

bool assign_constants(spvc_compiler c, const spvc_reflected_resource& block, const Declarations& decl, Interface* io,
                      std::string* err) {
  spvc_type type = spvc_compiler_get_type_handle(c, block.base_type_id);
  unsigned members = spvc_type_get_num_member_types(type);
  const spvc_buffer_range* ranges = nullptr;
  size_t nranges = 0;
  spvc_compiler_get_active_buffer_ranges(c, block.id, &ranges, &nranges);
  std::vector<bool> active(members, false);
  for (size_t i = 0; i < nranges; i++)
    if (ranges[i].index < members) active[ranges[i].index] = true;
  std::vector<int> regs(members, -1), sizes(members, 1);
  std::vector<bool> used(CONSTANT_REGISTERS, false);
  for (int pass = 0; pass < 2; pass++) {
    for (unsigned m = 0; m < members; m++) {
      if (!active[m]) continue;
      const char* name = spvc_compiler_get_member_name(c, block.base_type_id, m);
      size_t bytes = 16;
      spvc_compiler_get_declared_struct_member_size(c, type, m, &bytes);
      sizes[m] = int((bytes + 15) / 16);
      const Declared* d = find_declared(decl.constants, name);
      bool explicit_reg = d && d->reg >= 0;
      if (pass == 0 && explicit_reg) {
        regs[m] = d->reg;
        if (regs[m] + sizes[m] > CONSTANT_REGISTERS) {
          *err = std::string("constant '") + (name ? name : "") + "' runs past register c" +
                 std::to_string(CONSTANT_REGISTERS - 1);
          return false;
        }
        // Direct3D 9 refuses two constants of one stage in one register too.
        for (int k = 0; k < sizes[m]; k++) {
          if (used[size_t(regs[m] + k)]) {
            *err = std::string("constant '") + (name ? name : "") + "' shares register c" +
                   std::to_string(regs[m] + k) + " with another constant this entry reads";
            return false;
          }
          used[size_t(regs[m] + k)] = true;
        }
      } else if (pass == 1 && !explicit_reg) {
        regs[m] = take_free(used, sizes[m]);
        if (regs[m] < 0) {
          *err = std::string("constant '") + (name ? name : "") + "' finds no free registers";
          return false;
        }
      }
    }
  }
  for (unsigned m = 0; m < members; m++) {
    // Unread members sit at 0, out of the way of the array's size.
    spvc_compiler_set_member_decoration(c, block.base_type_id, m, SpvDecorationOffset,
                                        active[m] ? unsigned(regs[m]) * 16 : 0);
    if (active[m] && regs[m] + sizes[m] > io->constant_registers) io->constant_registers = regs[m] + sizes[m];
  }
  return true;
}

bool assign_samplers(spvc_compiler c, const spvc_reflected_resource* list, size_t n, bool vertex,
                     const Declarations& decl, Interface* io, std::string* err) {
  if (n == 0) return true;
  if (vertex) {
    *err = std::string("sampler '") + spvc_compiler_get_name(c, list[0].id) +
           "': the vertex program cannot read textures here (no vertex texture stages)";
    return false;
  }
  // Declaration order first, then whatever the tree did not name.
  std::vector<size_t> order;
  for (const Declared& d : decl.samplers)
    for (size_t i = 0; i < n; i++)
      if (d.name == spvc_compiler_get_name(c, list[i].id)) order.push_back(i);
  for (size_t i = 0; i < n; i++) {
    bool listed = false;
    for (size_t k : order) listed |= k == i;
    if (!listed) order.push_back(i);
  }
  std::vector<int> regs(n, -1), counts(n, 1);
  std::vector<bool> used(SAMPLER_REGISTERS, false);
  for (int pass = 0; pass < 2; pass++) {
    for (size_t i : order) {
      const char* name = spvc_compiler_get_name(c, list[i].id);
      const Declared* d = find_declared(decl.samplers, name);
      int reg = d ? d->reg : -1;
      if (!d && spvc_compiler_has_decoration(c, list[i].id, SpvDecorationBinding))
        reg = int(spvc_compiler_get_decoration(c, list[i].id, SpvDecorationBinding));
      spvc_type t = spvc_compiler_get_type_handle(c, list[i].type_id);
      if (spvc_type_get_image_dimension(t) != SpvDim2D) {
        *err =
            std::string("sampler '") + name + "': only 2D textures can be drawn here (no cube, volume or 1D textures)";
        return false;
      }
      counts[i] = spvc_type_get_num_array_dimensions(t) > 0 ? int(spvc_type_get_array_dimension(t, 0)) : 1;
      if (counts[i] < 1) counts[i] = 1;
      if (pass == 0 && reg >= 0) {
        regs[i] = reg;
        if (reg + counts[i] > SAMPLER_REGISTERS) {
          *err = std::string("sampler '") + name + "' runs past register s" + std::to_string(SAMPLER_REGISTERS - 1);
          return false;
        }
        for (int k = 0; k < counts[i]; k++) used[size_t(reg + k)] = true;
      } else if (pass == 1 && reg < 0) {
        regs[i] = take_free(used, counts[i]);
        if (regs[i] < 0) {
          *err = std::string("sampler '") + name + "' finds no free sampler registers";
          return false;
        }
      }
    }
  }
  for (size_t i = 0; i < n; i++) {
    char name[32];
    bool array = spvc_type_get_num_array_dimensions(spvc_compiler_get_type_handle(c, list[i].type_id)) > 0;
    snprintf(name, sizeof(name), array ? "dx_samplers%d" : "ps_s%d", regs[i]);
    if (array) io->sampler_arrays.push_back(SamplerArray{name, regs[i], counts[i]});
    spvc_compiler_set_name(c, list[i].id, name);
    spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationBinding);
    spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationDescriptorSet);
  }
  return true;
}

// Scalars and vectors of floats only: Direct3D 9 interpolates nothing else.
bool float_vector(spvc_compiler c, const spvc_reflected_resource& r, unsigned* size) {
  spvc_type t = spvc_compiler_get_type_handle(c, r.type_id);
  *size = spvc_type_get_vector_size(t);
  return spvc_type_get_basetype(t) == SPVC_BASETYPE_FP32 && spvc_type_get_columns(t) == 1 &&
         spvc_type_get_num_array_dimensions(t) == 0;
}

// An input or output of the entry as the source names it: a parameter, the return value or a
// member of the return value's struct.
std::string describe_io(spvc_compiler c, const spvc_reflected_resource& r) {
  const char* n = spvc_compiler_get_name(c, r.id);
  return describe_entry_io(n ? n : "");
}

bool has_semantic(spvc_compiler c, const spvc_reflected_resource& r, const char* sem, std::string* err) {
  if (sem && *sem) return true;
  *err = describe_io(c, r) + NO_SEMANTIC;
  return false;
}

// A varying on either side: a vec4 of the semantic's name, smooth as every Direct3D 9 varying. An
// array takes consecutive semantic indices, one vec4 each; a struct member that is an array comes
// split by the front end, one variable per element named "...[k]".
bool name_varying(spvc_compiler c, const spvc_reflected_resource& r, const char* sem, const std::string& base,
                  int index, bool input, Interface* io, std::string* err) {
  spvc_type t = spvc_compiler_get_type_handle(c, r.type_id);
  unsigned size = spvc_type_get_vector_size(t);
  unsigned dims = spvc_type_get_num_array_dimensions(t);
  unsigned count = dims == 1 ? spvc_type_get_array_dimension(t, 0) : 1;
  if (spvc_type_get_basetype(t) != SPVC_BASETYPE_FP32 || spvc_type_get_columns(t) != 1 || dims > 1 || count < 1) {
    *err = "varying " + describe_io(c, r) + " ('" + sem + "') must be a float scalar or vector, or an array of them";
    return false;
  }
  const char* raw = spvc_compiler_get_name(c, r.id);
  std::string full = raw ? raw : "";
  if (full.size() > 2 && full.back() == ']') {
    size_t open = full.rfind('[');
    if (open != std::string::npos) index += atoi(full.c_str() + open + 1);
  }
  std::vector<std::string> names;
  for (unsigned e = 0; e < count; e++) {
    std::string name = "v_" + base + std::to_string(index + int(e));
    for (const std::string& taken : io->varyings)
      if (taken == name) {
        *err = "semantic " + base + std::to_string(index + int(e)) + " is given to two varyings (an array takes " +
               "one index per element)";
        return false;
      }
    io->varyings.push_back(name);
    names.push_back(name);
  }
  spvc_compiler_unset_decoration(c, r.id, SpvDecorationLocation);
  for (SpvDecoration d : {SpvDecorationFlat, SpvDecorationNoPerspective, SpvDecorationCentroid, SpvDecorationSample})
    spvc_compiler_unset_decoration(c, r.id, d);
  if (size == 4 && dims == 0) {
    spvc_compiler_set_name(c, r.id, names[0].c_str());
    return true;
  }
  std::string temp = "dx_" + names[0];
  spvc_compiler_set_name(c, r.id, temp.c_str());
  io->widened.push_back(Widened{temp, names, size, false, input, dims > 0});
  return true;
}

// GL's fragment position is the pixel centre, counted from the bottom of the target, and the
// window is drawn the other way up from texture targets; Direct3D 9's VPOS is whole pixels from the
// top left of either.
const char* const PIXEL_POSITION =
    "VPOS (SV_Position read by a pixel program) is not supported: pass the position the vertex program computes "
    "in a TEXCOORD";

// saturate_colours: the vertex profiles before vs_3_0, whose colour outputs (oD0, oD1) Direct3D 9
// clamps to [0, 1].
bool map_interface(spvc_compiler c, spvc_resources res, bool vertex, bool saturate_colours, Interface* io,
                   std::string* err) {
  const spvc_reflected_resource* list = nullptr;
  size_t n = 0;
  spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_STAGE_INPUT, &list, &n);
  if (vertex) {
    // Semantics of the fixed table first; the rest (POSITION1, NORMAL1, PSIZE...) take free slots.
    std::vector<int> locs(n, -1);
    std::vector<bool> used(16, false);
    for (int pass = 0; pass < 2; pass++)
      for (size_t i = 0; i < n; i++) {
        const char* sem = spvc_compiler_get_decoration_string(c, list[i].id, SpvDecorationHlslSemanticGOOGLE);
        if (!has_semantic(c, list[i], sem, err)) return false;
        std::string base;
        int index = 0;
        split_semantic(sem, &base, &index);
        if (base == "SV_POSITION") base = "POSITION";  // the same stream element as POSITION0
        int fixed = input_location(base, index);
        // An array takes one attribute slot per element, which GL puts in a row: its semantics
        // (TEXCOORD0, TEXCOORD1...) must sit in a row of the table too.
        spvc_type t = spvc_compiler_get_type_handle(c, list[i].type_id);
        int count = spvc_type_get_num_array_dimensions(t) > 0 ? int(spvc_type_get_array_dimension(t, 0)) : 1;
        for (int e = 1; e < count; e++)
          if (fixed < 0 || input_location(base, index + e) != fixed + e) {
            *err = "vertex input " + describe_io(c, list[i]) + " ('" + sem + "') is an array whose elements' " +
                   "semantics have no attribute slots in a row here: declare one input per element";
            return false;
          }
        if (pass == 0 && fixed >= 0) {
          for (int e = 0; e < count; e++) {
            if (used[size_t(fixed + e)]) {
              *err = "vertex input semantic '" + base + std::to_string(index + e) + "' is used twice";
              return false;
            }
            used[size_t(fixed + e)] = true;
          }
          locs[i] = fixed;
        } else if (pass == 1 && fixed < 0) {
          if (base.empty() || base == "SV_VERTEXID" || base == "SV_INSTANCEID") {
            *err = std::string("unsupported vertex input semantic '") + (sem ? sem : "") + "'";
            return false;
          }
          locs[i] = take_free(used, 1);
          if (locs[i] < 0) {
            *err = std::string("vertex input '") + (sem ? sem : "") + "' finds no free attribute slot (16 in all)";
            return false;
          }
        }
        if (pass == 1) {
          char name[64];
          snprintf(name, sizeof(name), "a_%s%d", base.c_str(), index);
          spvc_compiler_set_decoration(c, list[i].id, SpvDecorationLocation, unsigned(locs[i]));
          spvc_compiler_set_name(c, list[i].id, name);
        }
      }
  } else {
    for (size_t i = 0; i < n; i++) {
      const char* sem = spvc_compiler_get_decoration_string(c, list[i].id, SpvDecorationHlslSemanticGOOGLE);
      if (spvc_compiler_has_decoration(c, list[i].id, SpvDecorationBuiltIn)) continue;  // SV_Position and such
      if (!has_semantic(c, list[i], sem, err)) return false;
      std::string base;
      int index = 0;
      split_semantic(sem ? sem : "", &base, &index);
      if (base == "VPOS") {
        *err = PIXEL_POSITION;
        return false;
      }
      if (base == "VFACE") {
        *err = "VFACE is not supported; use SV_IsFrontFace";
        return false;
      }
      if (base == "POSITION" || base == "SV_POSITION") {
        *err = "the pixel program cannot read the vertex position (POSITION); pass it in a TEXCOORD";
        return false;
      }
      if (!name_varying(c, list[i], sem ? sem : "", base, index, true, io, err)) return false;
    }
  }
  // SV_Position read by the pixel entry is Direct3D 9's VPOS, which the front end makes a built-in.
  const spvc_reflected_builtin_resource* builtins = nullptr;
  size_t nbuiltins = 0;
  spvc_resources_get_builtin_resource_list_for_type(res, SPVC_BUILTIN_RESOURCE_TYPE_STAGE_INPUT, &builtins, &nbuiltins);
  for (size_t i = 0; !vertex && i < nbuiltins; i++)
    if (builtins[i].builtin == SpvBuiltInFragCoord) {
      *err = PIXEL_POSITION;
      return false;
    }
  spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_STAGE_OUTPUT, &list, &n);
  bool position = false, colour0 = false;  // what Direct3D 9 requires each stage to write
  for (size_t i = 0; i < n; i++) {
    const char* sem = spvc_compiler_get_decoration_string(c, list[i].id, SpvDecorationHlslSemanticGOOGLE);
    if (spvc_compiler_has_decoration(c, list[i].id, SpvDecorationBuiltIn)) {
      position |= spvc_compiler_get_decoration(c, list[i].id, SpvDecorationBuiltIn) == SpvBuiltInPosition;
      continue;
    }
    if (!has_semantic(c, list[i], sem, err)) return false;
    std::string base;
    int index = 0;
    split_semantic(sem ? sem : "", &base, &index);
    if (vertex) {
      if (base == "POSITION" || base == "SV_POSITION") {
        position = true;
        spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationLocation);
        spvc_compiler_set_decoration(c, list[i].id, SpvDecorationBuiltIn, SpvBuiltInPosition);
        continue;
      }
      size_t first = io->varyings.size();
      if (!name_varying(c, list[i], sem ? sem : "", base, index, false, io, err)) return false;
      if (saturate_colours && base == "COLOR")
        io->saturated.insert(io->saturated.end(), io->varyings.begin() + long(first), io->varyings.end());
      continue;
    }
    if (base == "DEPTH" || base == "SV_DEPTH") {
      spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationLocation);
      spvc_compiler_set_decoration(c, list[i].id, SpvDecorationBuiltIn, SpvBuiltInFragDepth);
      continue;
    }
    if (base != "COLOR" && base != "SV_TARGET") {
      *err = std::string("unsupported pixel output semantic '") + (sem ? sem : "") + "'";
      return false;
    }
    unsigned size = 0;
    if (!float_vector(c, list[i], &size)) {
      *err = "pixel output " + describe_io(c, list[i]) + " ('" + sem + "') must be a float scalar or vector";
      return false;
    }
    colour0 |= index == 0;
    char name[64];
    snprintf(name, sizeof(name), "o_COLOR%d", index);
    spvc_compiler_set_decoration(c, list[i].id, SpvDecorationLocation, unsigned(index));
    if (size == 4) {
      spvc_compiler_set_name(c, list[i].id, name);
    } else {
      // The layer's alpha test reads o_COLOR0.a: every colour output is a vec4.
      std::string temp = std::string("dx_") + name;
      spvc_compiler_set_name(c, list[i].id, temp.c_str());
      io->widened.push_back(Widened{temp, {name}, size, true, false, false});
    }
  }
  // A position the front end made a built-in itself (a vs_3_0 SV_Position return, an out
  // parameter) is listed apart from the other outputs.
  spvc_resources_get_builtin_resource_list_for_type(res, SPVC_BUILTIN_RESOURCE_TYPE_STAGE_OUTPUT, &builtins,
                                                    &nbuiltins);
  for (size_t i = 0; i < nbuiltins; i++) position |= builtins[i].builtin == SpvBuiltInPosition;
  if (vertex && !position) {
    *err = "the vertex entry writes no POSITION: a vertex program must write the position";
    return false;
  }
  if (!vertex && !colour0) {
    *err = "the pixel entry writes no COLOR0: a pixel program must write its first colour";
    return false;
  }
  return true;
}

// ---- Rewriting of the GLSL text
// Position of `word` standing alone at or after `from`, or npos.
size_t find_word(const std::string& s, const std::string& word, size_t from) {
  for (size_t p = s.find(word, from); p != std::string::npos; p = s.find(word, p + 1)) {
    bool left = p == 0 || !is_ident(s[p - 1]);
    bool right = p + word.size() >= s.size() || !is_ident(s[p + word.size()]);
    if (left && right) return p;
  }
  return std::string::npos;
}

// The line declaring `name` (as its last word before ';' or an array size): [start, end) without
// the newline.
bool find_declaration(const std::string& s, const std::string& name, size_t* start, size_t* end) {
  for (size_t p = find_word(s, name, 0); p != std::string::npos; p = find_word(s, name, p + 1)) {
    if (p + name.size() >= s.size() || (s[p + name.size()] != ';' && s[p + name.size()] != '[')) continue;
    if (s.find(';', p) > s.find('\n', p)) continue;
    *start = s.rfind('\n', p);
    *start = *start == std::string::npos ? 0 : *start + 1;
    *end = s.find('\n', p);
    if (*end == std::string::npos) *end = s.size();
    return true;
  }
  return false;
}

const char* glsl_type(unsigned size) {
  static const char* names[5] = {"float", "float", "vec2", "vec3", "vec4"};
  return names[size < 5 ? size : 4];
}

std::string widen_expression(const Widened& w, const std::string& value) {
  if (w.size == 1 && w.colour) return "vec4(" + value + ")";
  static const char* pads[4] = {"", ", 0.0, 0.0, 1.0", ", 0.0, 1.0", ", 1.0"};
  return "vec4(" + value + pads[w.size < 4 ? w.size : 0] + ")";
}

// Direct3D 9's ddy runs down the render target. GL's dFdy runs up the framebuffer: the same way
// on texture targets, which the layer draws upside down, and the other way on the window, which it
// does not flip. The layer's vertex uniform dx_halfpixel says which (w: -1 for a texture, +1 for
// the window); a uniform of the same name in the pixel program is the same uniform in GL.
void use_direct3d_ddy(std::string* text) {
  std::string& s = *text;
  for (size_t p = find_word(s, "dFdy", 0); p != std::string::npos; p = find_word(s, "dFdy", p + 1))
    s.replace(p, 4, "dx_ddy");
  std::string helpers = "uniform vec4 dx_halfpixel;\n";
  for (const char* t : {"float", "vec2", "vec3", "vec4"})
    helpers += std::string(t) + " dx_ddy(" + t + " v) { return -dx_halfpixel.w * dFdy(v); }\n";
  // After the #version line and any #extension lines.
  size_t at = 0;
  while (at < s.size() && s[at] == '#') {
    size_t eol = s.find('\n', at);
    at = eol == std::string::npos ? s.size() : eol + 1;
  }
  s.insert(at, helpers);
}

bool rewrite_glsl(std::string* text, bool vertex, const Interface& io, std::string* err) {
  std::string& s = *text;
  // The flattened register file: as long as the highest register read, whatever the block declares.
  const std::string file = std::string("uniform vec4 ") + (vertex ? "vs_c[" : "ps_c[");
  size_t f = s.find(file);
  if (f != std::string::npos) {
    size_t close = s.find(']', f);
    s.replace(f + file.size(), close - f - file.size(),
              std::to_string(io.constant_registers > 0 ? io.constant_registers : 1));
  }
  // Sampler arrays: one sampler per register, each element named as the layer binds it.
  for (const SamplerArray& a : io.sampler_arrays) {
    size_t start, end;
    size_t p = s.find(" " + a.temp + "[");
    if (p == std::string::npos) continue;
    start = s.rfind('\n', p);
    start = start == std::string::npos ? 0 : start + 1;
    end = s.find('\n', p);
    std::string line = s.substr(start, end - start);  // "uniform sampler2D dx_samplersN[K];"
    std::string head = line.substr(0, p - start + 1);
    std::string decls;
    for (int k = 0; k < a.count; k++) decls += head + "ps_s" + std::to_string(a.reg + k) + ";\n";
    s.replace(start, end - start + 1, decls);
    for (size_t q = find_word(s, a.temp, 0); q != std::string::npos; q = find_word(s, a.temp, q)) {
      size_t i = q + a.temp.size();
      size_t digits = i + 1;
      while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') digits++;
      size_t close = digits < s.size() && s[digits] == 'u' ? digits + 1 : digits;
      if (i >= s.size() || s[i] != '[' || digits == i + 1 || close >= s.size() || s[close] != ']') {
        *err = "a sampler array is indexed by a variable: only constant indices can be drawn";
        return false;
      }
      int k = atoi(s.c_str() + i + 1);
      if (k >= a.count) {
        *err = "a sampler array index is out of range";
        return false;
      }
      s.replace(q, close + 1 - q, "ps_s" + std::to_string(a.reg + k));
    }
  }
  if (!vertex && find_word(s, "dFdy", 0) != std::string::npos) use_direct3d_ddy(&s);
  if (io.widened.empty() && io.saturated.empty()) return true;
  // Varyings and colours the program declares narrower than vec4: the code keeps a global of its
  // own size, copied from or to the vec4 around the translated main; saturated colours are clamped
  // after it.
  std::string before, after;
  for (const Widened& w : io.widened) {
    size_t start, end;
    if (!find_declaration(s, w.temp, &start, &end)) {
      *err = "internal: no declaration of " + w.temp;
      return false;
    }
    std::string line = s.substr(start, end - start);
    size_t type_at = find_word(line, glsl_type(w.size), 0);
    size_t name_at = find_word(line, w.temp, 0);
    if (type_at == std::string::npos || name_at == std::string::npos) {
      *err = "internal: unexpected declaration " + line;
      return false;
    }
    std::string global = std::string(glsl_type(w.size)) + " " + w.temp;
    if (w.array) global += "[" + std::to_string(w.names.size()) + "]";
    std::string outer;
    for (const std::string& name : w.names) outer += "\n" + line.substr(0, type_at) + "vec4 " + name + ";";
    s.replace(start, end - start, global + ";" + outer);
    static const char* swizzles[5] = {"", ".x", ".xy", ".xyz", ""};
    for (size_t k = 0; k < w.names.size(); k++) {
      std::string value = w.array ? w.temp + "[" + std::to_string(k) + "]" : w.temp;
      if (w.input) before += "    " + value + " = " + w.names[k] + swizzles[w.size < 5 ? w.size : 0] + ";\n";
      else after += "    " + w.names[k] + " = " + widen_expression(w, value) + ";\n";
    }
  }
  for (const std::string& name : io.saturated) after += "    " + name + " = clamp(" + name + ", 0.0, 1.0);\n";
  size_t m = s.find("void main()");
  if (m == std::string::npos) {
    *err = "internal: no main in the translated program";
    return false;
  }
  s.replace(m, 11, "void dx_main()");
  s += "\nvoid main()\n{\n" + before + "    dx_main();\n" + after + "}\n";
  return true;
}

bool to_glsl(const std::vector<uint32_t>& spirv, bool vertex, bool saturate_colours, const Declarations& decl,
             std::string* out, std::string* err) {
  spvc_context ctx = nullptr;
  if (spvc_context_create(&ctx) != SPVC_SUCCESS) return false;
  spvc_parsed_ir ir = nullptr;
  spvc_compiler c = nullptr;
  Interface io;
  bool ok = false;
  do {
    if (spvc_context_parse_spirv(ctx, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS) break;
    if (spvc_context_create_compiler(ctx, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP, &c) != SPVC_SUCCESS)
      break;
    spvc_compiler_options opts = nullptr;
    spvc_compiler_create_compiler_options(c, &opts);
    spvc_compiler_options_set_uint(opts, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION, SPVC_FALSE);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_VULKAN_SEMANTICS, SPVC_FALSE);
    spvc_compiler_install_compiler_options(c, opts);

    // Only what the entry point uses takes registers, as with Direct3D 9.
    spvc_set active = nullptr;
    spvc_compiler_get_active_interface_variables(c, &active);
    spvc_compiler_set_enabled_interface_variables(c, active);
    spvc_resources res = nullptr;
    spvc_compiler_create_shader_resources_for_active_variables(c, &res, active);
    const spvc_reflected_resource* list = nullptr;
    size_t n = 0;

    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &n);
    for (size_t i = 0; i < n; i++) {
      if (!assign_constants(c, list[i], decl, &io, err)) goto done;
      // Named on the block type: a name on the variable is ignored when flattening.
      spvc_compiler_set_name(c, list[i].base_type_id, vertex ? "vs_c" : "ps_c");
      if (spvc_compiler_flatten_buffer_block(c, list[i].id) != SPVC_SUCCESS) {
        *err = "constants must all be float-based: ";
        *err += spvc_context_get_last_error_string(ctx);
        goto done;
      }
    }
    for (spvc_resource_type t : {SPVC_RESOURCE_TYPE_SEPARATE_IMAGE, SPVC_RESOURCE_TYPE_SEPARATE_SAMPLERS,
                                 SPVC_RESOURCE_TYPE_STORAGE_BUFFER, SPVC_RESOURCE_TYPE_STORAGE_IMAGE}) {
      spvc_resources_get_resource_list_for_type(res, t, &list, &n);
      if (n) {
        *err = std::string("'") + spvc_compiler_get_name(c, list[0].id) +
               "': only sampler objects (sampler2D, samplerCUBE...) and float constants are supported";
        goto done;
      }
    }
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &n);
    if (!assign_samplers(c, list, n, vertex, decl, &io, err)) goto done;
    if (!map_interface(c, res, vertex, saturate_colours, &io, err)) goto done;
    const char* text = nullptr;
    if (spvc_compiler_compile(c, &text) != SPVC_SUCCESS) {
      *err = spvc_context_get_last_error_string(ctx);
      break;
    }
    *out = text;
    if (!rewrite_glsl(out, vertex, io, err)) goto done;
    ok = true;
  } while (false);
done:
  if (!ok && err->empty()) *err = spvc_context_get_last_error_string(ctx);
  spvc_context_destroy(ctx);
  return ok;
}

// ---- The GLSL check
// The result must be GLSL 330 a driver takes: glslang's GLSL front end reads it as the layer will
// see it (its uniforms declared, main kept as it is).
bool check_glsl(const std::string& glsl, bool vertex, std::string* err) {
  std::string text = glsl;
  size_t eol = text.find('\n');
  text.insert(eol == std::string::npos ? text.size() : eol + 1,
              vertex ? "uniform vec4 dx_halfpixel;\n" : "uniform vec4 dx_atest;\n");
  EShLanguage stage = vertex ? EShLangVertex : EShLangFragment;
  glslang::TShader sh(stage);
  const char* texts[1] = {text.c_str()};
  sh.setStrings(texts, 1);
  sh.setEnvInput(glslang::EShSourceGlsl, stage, glslang::EShClientNone, 0);
  if (sh.parse(GetDefaultResources(), 330, ECoreProfile, false, false, EShMsgDefault)) return true;
  *err = std::string("the translated program is not valid GLSL 330:\n") + sh.getInfoLog();
  return false;
}

// The float remainder `x % y` is fmod in HLSL, with the sign of x; the front end makes it GLSL's mod
// (OpFMod, the sign of y). OpFRem is the HLSL one, with the same operands. (fmod itself never gets
// here, see hlsl_intrinsics.)
void use_hlsl_remainder(std::vector<uint32_t>* spirv) {
  for (size_t i = 5; i < spirv->size();) {
    uint32_t words = (*spirv)[i] >> 16;
    if (((*spirv)[i] & 0xFFFF) == SpvOpFMod) (*spirv)[i] = (words << 16) | SpvOpFRem;
    i += words ? words : 1;
  }
}

// Messages of the SPIR-V back end that are not warnings ("error:", "Missing functionality:"...).
bool has_back_end_error(const std::string& messages) {
  size_t p = 0;
  while (p < messages.size()) {
    size_t eol = messages.find('\n', p);
    if (eol == std::string::npos) eol = messages.size();
    if (eol > p && messages.compare(p, 8, "warning:") != 0) return true;
    p = eol + 1;
  }
  return false;
}

bool validate_spirv(const std::vector<uint32_t>& spirv, std::string* err) {
  spv_context ctx = spvContextCreate(SPV_ENV_VULKAN_1_0);
  spv_const_binary_t binary = {spirv.data(), spirv.size()};
  spv_diagnostic diag = nullptr;
  bool ok = spvValidate(ctx, &binary, &diag) == SPV_SUCCESS;
  if (!ok) *err = std::string("SPIR-V validation failed: ") + (diag && diag->error ? diag->error : "") + "\n";
  spvDiagnosticDestroy(diag);
  spvContextDestroy(ctx);
  return ok;
}

// The front end ignores register(iN) and register(bN) with a warning; integer and bool constants
// are handled here (see read_declarations), so the warnings go and their lines are returned.
std::vector<int> take_int_register_warnings(std::string* log) {
  std::vector<int> lines;
  std::string kept;
  size_t p = 0;
  while (p < log->size()) {
    size_t eol = log->find('\n', p);
    eol = eol == std::string::npos ? log->size() : eol + 1;
    std::string line = log->substr(p, eol - p);
    p = eol;
    size_t at = line.find(": 'register' : ignoring unrecognized register type ");
    if (at == std::string::npos) {
      kept += line;
      continue;
    }
    char type = line[at + strlen(": 'register' : ignoring unrecognized register type ")];
    if (type != 'i' && type != 'b') {
      kept += line;
      continue;
    }
    size_t digits = at;
    while (digits > 0 && line[digits - 1] >= '0' && line[digits - 1] <= '9') digits--;
    lines.push_back(atoi(line.c_str() + digits));
  }
  *log = kept;
  return lines;
}

// Intrinsics the front end translates to GLSL namesakes defined otherwise, given their HLSL
// definitions ahead of the source, since the front end folds constant arguments as it reads them:
// fmod takes the sign of x (GLSL mod that of y), ldexp a fractional exponent (GLSL's an integer),
// lit raises n.h to the power m (the front end multiplies them), and round takes halves to the
// even neighbour (GLSL leaves the direction to the driver, the front end folds them away from 0):
// a function the optimiser inlines keeps the front end from folding it, and its round becomes
// roundEven in the tree (RoundToEven). frexp, which GLSL 330 lacks, gives the mantissa in
// [0.5, 1) with the sign of x and the exponent as a float (0 and 0 for 0); log2 may be a hair off
// at powers of two, so the mantissa is put back in its range. The cube, volume and 1D lookups an
// untyped `sampler` can make look like 2D ones in the tree: each marks its coordinate with a call
// the optimiser removes, for UseFinder to refuse them wherever a macro hid them.
std::string hlsl_intrinsics() {
  std::string s;
  for (const char* t : {"float", "float2", "float3", "float4"}) {
    std::string T = t;
    s += T + " dx_round(" + T + " x) { return round(x); }\n";
    s += T + " dx_frexp(" + T + " x, out " + T + " e) {\n";
    s += "  " + T + " a = abs(x), nonzero = a > 0;\n";
    s += "  " + T + " k = floor(log2(max(a, 1.18e-38))) + 1, m = x * exp2(-k);\n";
    s += "  " + T + " high = abs(m) >= 1, low = (abs(m) < 0.5) * nonzero;\n";
    s += "  e = (k + high - low) * nonzero;\n";
    s += "  return m * exp2(low - high);\n}\n";
    s += T + " dx_cube_or_volume(" + T + " t) { return t; }\n";
  }
  s += "#define round(x) dx_round(x)\n"
       "#define frexp(x, e) dx_frexp(x, e)\n"
       "#define fmod(x, y) ((x) - (y) * trunc((x) / (y)))\n"
       "#define ldexp(x, e) ((x) * exp2(e))\n"
       "#define lit(n_dot_l, n_dot_h, m) "
       "float4(1.0, max(n_dot_l, 0.0), (n_dot_l) < 0.0 || (n_dot_h) < 0.0 ? 0.0 : pow(n_dot_h, m), 1.0)\n";
  for (const char* family : {"texCUBE", "tex3D", "tex1D"})
    for (const char* form : {"lod", "bias", "proj"}) {
      std::string name = std::string(family) + form;
      s += "#define " + name + "(s, t) " + name + "(s, dx_cube_or_volume(t))\n";
    }
  return s;
}

// HLSL's round, which GLSL calls roundEven (see hlsl_intrinsics).
class RoundToEven : public glslang::TIntermTraverser {
 public:
  bool visitUnary(glslang::TVisit, glslang::TIntermUnary* node) override {
    if (node->getOp() == glslang::EOpRound) node->setOp(glslang::EOpRoundEven);
    return true;
  }
};

std::once_flag glslang_started;
bool glslang_running = false;

// The front end's process-wide tables go when the game unloads the library.
__attribute__((destructor)) void finish_glslang() {
  if (glslang_running) glslang::FinalizeProcess();
}

}  // namespace

// ---- The two entry points
extern "C" __attribute__((visibility("default"))) HRESULT D3DCompile(
    const void* src, size_t src_size, const char* source_name, const D3D_SHADER_MACRO* defines, ID3DInclude* include,
    const char* entry, const char* target, UINT flags, UINT, ID3DBlob** code, ID3DBlob** errors) {
  if (code) *code = nullptr;
  if (errors) *errors = nullptr;
  if (!src || !entry || !target || !code) return D3DERR_INVALIDCALL;
  bool vertex;
  if (strncmp(target, "vs_", 3) == 0) vertex = true;
  else if (strncmp(target, "ps_", 3) == 0) vertex = false;
  else {
    if (errors) *errors = text_blob(std::string("unsupported target '") + target + "'");
    return E_FAIL;
  }
  std::call_once(glslang_started, [] { glslang_running = glslang::InitializeProcess(); });

  // The flags acted on: matrix packing and warnings as errors. The others (debug information,
  // optimisation level, flow-control preferences) change nothing in the translated program.
  std::string preamble;
  if (flags & D3DCOMPILE_PACK_MATRIX_ROW_MAJOR) preamble += "#pragma pack_matrix(row_major)\n";
  else if (flags & D3DCOMPILE_PACK_MATRIX_COLUMN_MAJOR) preamble += "#pragma pack_matrix(column_major)\n";
  preamble += hlsl_intrinsics();
  for (const D3D_SHADER_MACRO* m = defines; m && m->Name; m++)
    preamble += std::string("#define ") + m->Name + " " + (m->Definition ? m->Definition : "") + "\n";
  const char* body = (const char*)src;
  skip_bom(&body, &src_size);
  std::string source = mend_source(std::string(body, src_size), vertex);
  const char* texts[1] = {source.c_str()};
  int lengths[1] = {int(source.size())};
  const char* names[1] = {source_name ? source_name : "shader"};

  EShLanguage stage = vertex ? EShLangVertex : EShLangFragment;
  glslang::TShader sh(stage);
  sh.setStringsWithLengthsAndNames(texts, lengths, names, 1);
  sh.setPreamble(preamble.c_str());
  sh.setEntryPoint(entry);
  sh.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientVulkan, 100);
  sh.setEnvClient(glslang::EShClientVulkan, glslang::EShTargetVulkan_1_0);
  sh.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
  sh.setEnvTargetHlslFunctionality1();
  sh.setAutoMapLocations(true);
  sh.setAutoMapBindings(true);
  EShMessages msgs = EShMessages(EShMsgSpvRules | EShMsgVulkanRules | EShMsgReadHlsl | EShMsgHlslDX9Compatible);
  IncludeBridge includer(include, names[0], vertex);
  std::string log, err;
  std::vector<uint32_t> spirv;
  Declarations decl;
  bool ok = sh.parse(GetDefaultResources(), 100, false, msgs, includer);
  log += sh.getInfoLog();
  if (!ok) err = effect_syntax(source);
  std::vector<int> int_register_lines = take_int_register_warnings(&log);
  glslang::TProgram prog;
  if (ok) {
    prog.addShader(&sh);
    ok = prog.link(msgs);
    log += prog.getInfoLog();
  }
  // Registers as the source gave them, read before the mapping below assigns its own, on the
  // linked tree, which holds only what the entry calls.
  if (ok && !read_declarations(prog.getIntermediate(stage), int_register_lines, &decl, &err)) ok = false;
  if (ok) ok = prog.mapIO();
  if (ok) {
    RoundToEven rounding;
    prog.getIntermediate(stage)->getTreeRoot()->traverse(&rounding);
    glslang::SpvOptions o;
    o.validate = true;
    o.disableOptimizer = false;
    spv::SpvBuildLogger logger;
    glslang::GlslangToSpv(*prog.getIntermediate(stage), spirv, &logger, &o);
    std::string messages = logger.getAllMessages();
    log += messages;
    use_hlsl_remainder(&spirv);
    ok = !spirv.empty() && !has_back_end_error(messages) && validate_spirv(spirv, &err);
  }
  std::string glsl;
  bool saturate_colours = vertex && (strncmp(target, "vs_1_", 5) == 0 || strncmp(target, "vs_2_", 5) == 0);
  if (ok && (!to_glsl(spirv, vertex, saturate_colours, decl, &glsl, &err) || !check_glsl(glsl, vertex, &err)))
    ok = false;
  // Direct3D 9 keeps an uninitialised global const settable like any constant; glslang makes it 0.
  if (ok && log.find("not initialized; zero initializing") != std::string::npos) {
    ok = false;
    err = "a global 'const' without a value would read 0 here: declare it without 'const' to set it from the game";
  }
  if (ok && (flags & D3DCOMPILE_WARNINGS_ARE_ERRORS) &&
      (log.find("WARNING:") != std::string::npos || log.find("warning:") != std::string::npos)) {
    ok = false;
    err = "warnings are treated as errors";
  }
  if (!err.empty()) log += std::string(names[0]) + ": " + err + "\n";
  if (!ok) {
    if (log.empty()) log = "compile failed\n";
    if (errors) *errors = text_blob(log);
    return E_FAIL;
  }
  // Warnings (non-empty log) are reported, not fatal.
  if (!log.empty() && errors) *errors = text_blob(log);
  // Instructions of the SPIR-V module: the listing's "instruction slots" figure.
  uint32_t instructions = 0;
  for (size_t i = 5; i < spirv.size();) {
    uint32_t words = spirv[i] >> 16;
    instructions++;
    i += words ? words : 1;
  }
  D3d9GlslBlobHeader h = {D3D9_GLSL_BLOB_MAGIC, vertex ? 0u : 1u, uint32_t(glsl.size()), instructions};
  Blob* b = new Blob();
  b->bytes.resize(sizeof(h) + glsl.size() + 1);
  memcpy(b->bytes.data(), &h, sizeof(h));
  memcpy(b->bytes.data() + sizeof(h), glsl.c_str(), glsl.size() + 1);
  *code = b;
  return D3D_OK;
}

extern "C" __attribute__((visibility("default"))) HRESULT D3DDisassemble(const void* code, size_t size, UINT,
                                                                         const char*, ID3DBlob** listing) {
  if (!listing) return D3DERR_INVALIDCALL;
  *listing = nullptr;
  if (!code || size < sizeof(D3d9GlslBlobHeader)) return D3DERR_INVALIDCALL;
  D3d9GlslBlobHeader h;
  memcpy(&h, code, sizeof(h));
  size_t need = sizeof(h) + size_t(h.text_length) + 1;
  if (h.magic != D3D9_GLSL_BLOB_MAGIC || need > size) return D3DERR_INVALIDCALL;
  std::string text = "// GLSL 330 ";
  text += h.stage == 0 ? "vertex" : "pixel";
  text += " program\n";
  text += std::string((const char*)code + sizeof(h), h.text_length);
  char line[96];
  snprintf(line, sizeof(line), "\n// approximately %u instruction slots used (SPIR-V)\n", h.instruction_count);
  text += line;
  *listing = text_blob(text);
  return D3D_OK;
}
