// Small conversions for assertions on mstr, paths of a TempTree as the class
// library takes them, the mEx that a piece of code raises, and arguments.
#ifndef TARVIN_TESTS_TEXT_H
#define TARVIN_TESTS_TEXT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "mEx.h"
#include "mstr.h"
#include "temp_tree.h"

inline std::u16string str(const mstr& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.c_str()), static_cast<size_t>(s.get_count()));
}

inline std::u16string str(const unsigned short* text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

inline std::vector<std::u16string> strs(mstr_list& list) {
  std::vector<std::u16string> out;
  for (int i = 0; i < list.get_count(); ++i) out.push_back(str(list.get_data()[i]));
  return out;
}

// The depth of a tree below this node (0 for none).
template <class Node>
int depth(const Node* n) {
  return n ? 1 + std::max(depth(n->left), depth(n->right)) : 0;
}

inline mstr text(const TempTree& tree, const std::string& name = "") { return mstr(tree.wide(name).c_str()); }

// Where an error says it was raised, its code and kind, and the same of an
// origin, to compare the two.
inline std::string whereOf(const mEx& e) {
  const std::u16string module = str(e.file), function = str(e.function);
  return std::string(module.begin(), module.end()) + " " + std::string(function.begin(), function.end()) + " " +
         std::to_string(e.line) + " " + std::to_string(e.code) + (e.outOfMemory() ? " out of memory" : "");
}
inline std::string whereOf(const errorOrigin& at) { return whereOf(mEx(at)); }

template <class Code>
mEx raised(Code code) {
  try {
    code();
  } catch (mEx& e) {
    return mEx(std::move(e));
  }
  ADD_FAILURE() << "no mEx raised";
  return mEx();
}

// Arguments as the program's entry receives them: the program first.
struct args {
  std::vector<std::u16string> texts;
  std::vector<WCHAR*> pointers;
  args(std::initializer_list<std::u16string> list) : texts{u"tarvin"} {
    texts.insert(texts.end(), list);
    for (auto& t : texts) pointers.push_back(reinterpret_cast<WCHAR*>(&t[0]));
    pointers.push_back(nullptr);
  }
  args(const args&) = delete;  // the pointers point into this object's texts
  int argc() const { return static_cast<int>(texts.size()); }
  WCHAR** argv() { return pointers.data(); }
};

#endif  // TARVIN_TESTS_TEXT_H
