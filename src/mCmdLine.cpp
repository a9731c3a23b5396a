#include "mCmdLine.h"

#include "options.h"

namespace {

bool isSwitch(const mstr& argument) { return ::isSwitch(argument.c_str()); }

bool beginsWith(const mstr& text, const char16_t* prefix) {
  const unsigned short* t = text.c_str();
  for (; *prefix; ++prefix, ++t)
    if (*t != static_cast<unsigned short>(*prefix)) return false;
  return true;
}

// The text from the sixth unit on (after "/log:" or "/deb:").
mstr afterPrefix(const mstr& text) {
  mstr rest(text);
  rest.erase(rest.get_data(), rest.get_data() + 5);
  return rest;
}

}  // namespace

void mCmdLine::collectArguments(argument_set& set, int argc, WCHAR** argv) {
  for (int i = 1; i < argc; ++i) {
    mstr argument(reinterpret_cast<const unsigned short*>(argv[i]));
    argument.trim(u"\"");
    // An argument with nothing to test: empty once its quotes are gone, or
    // a switch character alone.
    if (argument.get_count() == 0) continue;
    if (argument.get_count() == 1 && isSwitch(argument)) continue;
    set.insert_unique(argument);
  }
}

void mCmdLine::parse(int argc, WCHAR** argv) {
  if (argc <= 1) return;
  argument_set set;
  collectArguments(set, argc, argv);

  for (auto it = set.begin(); auto* n = it.step();) {
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

  static const struct {
    const char16_t* argument;
    int bit;
  } bits[] = {{u"/install", 1}, {u"/remove", 2}, {u"/start", 4}, {u"/test", 8}, {u"/run", 16}};
  int flags = 0;
  for (const auto& b : bits) {
    mstr word(b.argument);
    if (set.find(&word, nullptr)) flags += b.bit;
  }

  argument_set::node* found = nullptr;
  mstr log(u"/log:");
  if (set.lower_bound(&log, &found) && beginsWith(*found->value, u"/log:")) {
    flags += 32;
    setOption(mstr(u"log"), afterPrefix(*found->value));
  }
  mstr debug(u"/deb:");
  if (set.lower_bound(&debug, &found) && beginsWith(*found->value, u"/deb:"))
    setOption(mstr(u"debug"), afterPrefix(*found->value));
  setOption(mstr(u"flags"), flags);
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

mFileList& mCmdLine::getSearchPaths(int argc, WCHAR** argv) {
  if (argc <= 1) return searchPaths;
  argument_set set;
  collectArguments(set, argc, argv);
  for (auto it = set.begin(); auto* n = it.step();) {
    const mstr& argument = *n->value;
    if (isSwitch(argument)) continue;
    if (argument.c_str()[0] == u'@') {
      mstr name(argument);
      name.erase(name.get_data(), name.get_data() + 1);
      int units = 0;
      const int before = searchPaths.get_count();
      mFileObject::GetFilesFromFileList(searchPaths, name, &units);
      listFiles.push_back(listFile{argument, units, searchPaths.get_count() - before});
    } else {
      searchPaths.insert_copy(mFileObject(argument));
    }
  }
  return searchPaths;
}
