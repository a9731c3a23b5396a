#include "mCmdLine.h"

#include <utility>

namespace {

bool isSwitch(const mstr& argument) { return ::isSwitch(argument.c_str()); }

bool beginsWith(const mstr& text, const char16_t* prefix) {
  const unsigned short* t = text.c_str();
  for (; *prefix; ++prefix, ++t)
    if (*t != static_cast<unsigned short>(*prefix)) return false;
  return true;
}

// The text after its first `length` units.
mstr afterPrefix(const mstr& text, int length) {
  mstr rest(text);
  rest.erase(rest.get_data(), rest.get_data() + length);
  return rest;
}

}  // namespace

void mCmdLine::parse(int argc, WCHAR** argv) {
  bool kept = false;
  options = takeRunOptions(argc, argv, [this, &kept](const mstr& argument) {
    kept = true;
    // An argument with nothing to test: empty once its quotes are gone, or
    // a switch character alone.
    if (argument.get_count() == 0) return;
    if (argument.get_count() == 1 && isSwitch(argument)) return;
    arguments_.insert_unique(argument);
  });
  if (!kept) return;

  for (auto it = arguments_.begin(); auto* n = it.step();) {
    const mstr& argument = *n->value;
    if (!isSwitch(argument)) continue;
    mstr rest(argument);
    rest.erase(rest.get_data(), rest.get_data() + 1);
    mstr_list tokens;
    rest.split(tokens, u":");
    mstr name;
    if (tokens.get_count() > 0) name.assign(tokens.get_data()[0]);
    int drop = name.get_count() + 1;
    if (drop > rest.get_count()) drop = rest.get_count();
    rest.erase(rest.get_data(), rest.get_data() + drop);
    if (tokens.get_count() < 2) rest.clear();
    setOption(name, rest);
  }

  // The bits of the known switches given, and the values stored under a name
  // of their own: those of the first argument of that form in text order.
  int flags = 0;
  for (const knownSwitch& known : knownSwitches()) {
    mstr form(known.form);
    if (!known.takesValue()) {
      if (arguments_.find(&form, nullptr)) flags += known.bit;
      continue;
    }
    argument_set::node* found = nullptr;
    if (!arguments_.lower_bound(&form, &found) || !beginsWith(*found->value, known.form)) continue;
    flags += known.bit;
    if (known.storedAs) setOption(mstr(known.storedAs), afterPrefix(*found->value, form.get_count()));
  }
  setOption(mstr(u"flags"), flags);

  // "/?" asks for the usage text, "/?:TEXT" with TEXT before it.
  if (getOption(u"?", options.usageTitle) && options.help == runOptions::helpKind::none)
    options.help = runOptions::helpKind::usage;
}

bool mCmdLine::getOption(const unsigned short* name, mstr& out) const {
  out.clear();
  if (!name) return false;
  mstr key(name);
  node* found = nullptr;
  if (!find(&key, &found)) return false;
  out.assign(found->value->value);
  return true;
}

void mCmdLine::setOption(const mstr& name, const mstr& value) {
  insert_unique(mOption(name, value));
}

void mCmdLine::setOption(const mstr& name, const unsigned short* value) {
  setOption(name, mstr(value));
}

void mCmdLine::setOption(const mstr& name, int value) {
  mstr text;
  text.setNumber(value);
  setOption(name, text);
}

bool mCmdLine::listFileName(const mstr& argument, mstr& name) {
  if (isSwitch(argument) || argument.c_str()[0] != u'@') return false;
  name.assign(argument.c_str() + 1);
  return true;
}

std::vector<mstr> mCmdLine::listFileNames() const {
  std::vector<mstr> names;
  mstr name;
  for (auto it = arguments_.begin(); auto* n = it.step();)
    if (listFileName(*n->value, name)) names.push_back(name);
  return names;
}

mFileList& mCmdLine::getSearchPaths(UINT codePage) {
  mstr name;
  for (auto it = arguments_.begin(); auto* n = it.step();) {
    const mstr& argument = *n->value;
    if (isSwitch(argument)) continue;
    if (listFileName(argument, name)) {
      int units = 0;
      const int before = searchPaths.get_count();
      std::vector<int> linesWithNul;
      mFileObject::GetFilesFromFileList(searchPaths, name, &units, {codePage, options.nullEnds, &linesWithNul});
      listFiles.push_back(listFile{argument, units, searchPaths.get_count() - before, std::move(linesWithNul)});
    } else {
      searchPaths.insert_copy(mFileObject(argument));
    }
  }
  return searchPaths;
}
