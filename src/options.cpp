#include "options.h"

#include <algorithm>
#include <string_view>

namespace {

// Where a slash marks switches (Windows), every option is also a switch:
// "/utf8", "/simd:avx2". Elsewhere a slash starts an absolute path, and the
// options are long options alone, with "-h" for the help.
constexpr bool kSwitchOptions = platform::slashMarksSwitches;

bool setTrue(bool& flag) { return flag = true; }

// Option words and values are matched unit for unit, not in the linguistic
// order of texts.
std::u16string_view view(const unsigned short* text) { return reinterpret_cast<const char16_t*>(text); }
std::u16string_view view(const mstr& text) { return view(text.c_str()); }

// The level named by `value`; a level this processor lacks falls to the best
// one it has. False for a name that is no level.
bool takeLevel(runOptions& o, const mstr& value) {
  for (auto l : {reportDecode::level::scalar, reportDecode::level::avx2, reportDecode::level::avx512}) {
    const std::string_view name = reportDecode::name(l);
    const std::u16string_view given = view(value);
    if (!std::equal(given.begin(), given.end(), name.begin(), name.end())) continue;
    o.levelForced = true;
    o.level = reportDecode::supported(l) ? l : reportDecode::best();
    return true;
  }
  return false;
}

// A path named by an option: any text but an empty one.
bool takePath(mstr& path, const mstr& value) {
  path.assign(value);
  return value.get_count() > 0;
}

struct optionRow {
  const char16_t* word;
  const char16_t* value;  // the name of its value in the help; null: it takes none
  const char16_t* help;   // its line in the help
  // Applies it; false when the value is not one it takes.
  bool (*take)(runOptions& o, const mstr& value);
  // Its short form where options are long options ("-o"), or null. A value
  // is then the next argument.
  const char16_t* shortForm = nullptr;
};

const optionRow kOptions[] = {
    {u"utf8", nullptr, u"стандартный вывод и сообщения об ошибках в UTF-8, а не в кодовой странице OEM",
     [](runOptions& o, const mstr&) { return setTrue(o.utf8); }},
    {u"jsonl", nullptr, u"вместо текстов - по объекту JSON на рапорт, каждый в своей строке (UTF-8)",
     [](runOptions& o, const mstr&) { return setTrue(o.jsonl); }},
    {u"list", nullptr, u"те же объекты без текстов: что хранят архивы, без декодирования",
     [](runOptions& o, const mstr&) { return setTrue(o.list); }},
    {u"strict", nullptr, u"код завершения 2, если было сообщение об ошибке или повреждённые данные",
     [](runOptions& o, const mstr&) { return setTrue(o.strict); }},
    {u"verify", nullptr, u"проверка: всё прочитать и декодировать, вывести повреждения и итог вместо текстов",
     [](runOptions& o, const mstr&) { return setTrue(o.verify); }},
    {u"quiet", nullptr, u"без строки хода работы на терминале",
     [](runOptions& o, const mstr&) { return setTrue(o.quiet); }},
    {u"trim", nullptr, u"без пустых строк в конце рапорта (заполнение его последнего блока)",
     [](runOptions& o, const mstr&) { return setTrue(o.trim); }},
    {u"key", u"ШАБЛОН", u"только рапорты, ключ которых подходит под шаблон (* и ?; можно несколько раз)",
     [](runOptions& o, const mstr& value) {
       o.keys.push_back(value);
       return true;
     }},
    {u"output", u"ФАЙЛ", u"стандартный вывод - в этот файл (существующий файл заменяется)",
     [](runOptions& o, const mstr& value) { return takePath(o.output, value); }, u"-o"},
    {u"split", u"КАТАЛОГ", u"по файлу .txt на индекс в этом каталоге, по пути индекса ниже каталога поиска",
     [](runOptions& o, const mstr& value) { return takePath(o.split, value); }},
    {u"force", nullptr, u"при разбиении по файлам заменять файлы, которые уже были",
     [](runOptions& o, const mstr&) { return setTrue(o.force); }},
    {u"simd", u"УРОВЕНЬ", u"уровень декодирования для измерений: scalar, avx2 или avx512", takeLevel},
    {u"version", nullptr, u"версия программы", [](runOptions& o, const mstr&) { return setTrue(o.version); }},
    {u"help", nullptr, u"эта справка", [](runOptions& o, const mstr&) { return setTrue(o.help); }, u"-h"},
};

const char16_t* const kLongPrefix = u"--";
const char16_t kLongSeparator = u'=';
const char16_t kSwitchSeparator = u':';

// How the help and the messages spell an option here: "--word" or "/word".
mstr spelled(const char16_t* word) {
  mstr out(kSwitchOptions ? u"/" : kLongPrefix);
  return out.append(word);
}

// The text of `argument` after `start`, or null when it does not begin so.
const unsigned short* after(const unsigned short* argument, const char16_t* start) {
  for (; *start; ++start, ++argument)
    if (*argument != static_cast<unsigned short>(*start)) return nullptr;
  return argument;
}

const optionRow* find(const mstr& word) {
  for (const optionRow& row : kOptions)
    if (view(word) == row.word) return &row;
  return nullptr;
}

// The option whose short form the argument is ("-o"), where there are any.
const optionRow* findShort(const mstr& argument) {
  if (kSwitchOptions) return nullptr;
  for (const optionRow& row : kOptions)
    if (row.shortForm && view(argument) == row.shortForm) return &row;
  return nullptr;
}

// "tarvin: TEXT. Список параметров: tarvin --help" for a usage error.
mstr usageError(const mstr& text) {
  mstr line(u"tarvin: ");
  line.append(text.c_str()).append(u". Список параметров: tarvin ").append(spelled(u"help").c_str()).append(u"\n");
  return line;
}

mstr withQuoted(const char16_t* before, const unsigned short* what, const char16_t* afterText = u"") {
  mstr text(before);
  return text.append(u"\"").append(what).append(u"\"").append(afterText);
}

// Applies an option with its value, or tells that it does not take it.
void apply(runOptions& o, const optionRow& row, const mstr& value) {
  if (!row.take(o, value))
    o.usageErrors.push_back(
        usageError(withQuoted(u"", value.c_str(), u" - не значение параметра ").append(spelled(row.word).c_str())));
}

// Applies the option that `rest` (after its prefix) names, with its value
// after `separator`. Returns false when no option has that word.
bool takeOption(runOptions& o, const mstr& argument, const unsigned short* rest, char16_t separator) {
  mstr word(rest), value;
  bool hasValue = false;
  if (unsigned short* at = word.findChar(separator)) {
    value.append(at + 1);
    word.erase(at, nullptr);
    hasValue = true;
  }
  const optionRow* row = find(word);
  if (!row) return false;
  if (row->value && !hasValue) {
    mstr text = withQuoted(u"параметру ", argument.c_str(), u" нужно значение: ");
    text.append(spelled(row->word).c_str()).push_value(static_cast<unsigned short>(separator));
    o.usageErrors.push_back(usageError(text.append(row->value)));
  } else if (!row->value && hasValue) {
    o.usageErrors.push_back(usageError(withQuoted(u"параметр ", argument.c_str(), u" не принимает значения")));
  } else {
    apply(o, *row, value);
  }
  return true;
}

// Applies a short option, `argv[i]`; one that takes a value takes the next
// argument, and `i` moves past it.
void takeShortOption(runOptions& o, const optionRow& row, int& i, int argc, WCHAR** argv) {
  if (!row.value) {
    apply(o, row, mstr());
  } else if (i + 1 < argc) {
    mstr value(reinterpret_cast<const unsigned short*>(argv[++i]));
    value.trim(u"\"");
    apply(o, row, value);
  } else {
    mstr text = withQuoted(u"параметру ", reinterpret_cast<const unsigned short*>(row.shortForm), u" нужно значение: ");
    o.usageErrors.push_back(usageError(text.append(row.shortForm).append(u" ").append(row.value)));
  }
}

// Options that cannot go together.
void checkCombinations(runOptions& o) {
  auto both = [&o](bool given, const char16_t* first, const char16_t* second) {
    if (!given) return;
    mstr text(u"параметры ");
    text.append(spelled(first).c_str()).append(u" и ").append(spelled(second).c_str()).append(u" несовместимы");
    o.usageErrors.push_back(usageError(text));
  };
  const bool split = o.split.get_count() > 0;
  both(split && o.output.get_count() > 0, u"output", u"split");
  both(split && o.verify, u"verify", u"split");
  if (o.force && !split) {
    mstr text(u"параметр ");
    text.append(spelled(u"force").c_str()).append(u" действует только вместе с ").append(spelled(u"split").c_str());
    o.usageErrors.push_back(usageError(text));
  }
}

// The switches the program knows beyond its options: "?", and those it
// stores without consulting them.
bool isKnownSwitch(const unsigned short* argument) {
  const std::u16string_view text(reinterpret_cast<const char16_t*>(argument));
  for (std::u16string_view word : {u"/?", u"/install", u"/remove", u"/start", u"/test", u"/run"})
    if (text == word) return true;
  for (std::u16string_view prefix : {u"/?:", u"/log:", u"/deb:"})
    if (text.substr(0, prefix.size()) == prefix) return true;
  return false;
}

// A line for each option.
void appendOptionLines(mstr& out) {
  for (const optionRow& option : kOptions) {
    mstr line(u"  ");
    if (!kSwitchOptions && option.shortForm) line.append(option.shortForm).append(u", ");
    line.append(spelled(option.word).c_str());
    if (option.value) {
      line.push_value(kSwitchOptions ? kSwitchSeparator : kLongSeparator);
      line.append(option.value);
    }
    do line.append(u" ");
    while (line.get_count() < 24);
    out.append(line.c_str()).append(option.help).append(u"\n");
  }
}

}  // namespace

bool isSwitch(const unsigned short* argument) {
  if (!argument) return false;
  return kSwitchOptions ? argument[0] == u'/' : isKnownSwitch(argument);
}

runOptions takeRunOptions(int& argc, WCHAR** argv) {
  runOptions o;
  int kept = 1;
  bool ended = false;  // by "--"
  for (int i = 1; i < argc; ++i) {
    mstr argument(reinterpret_cast<const unsigned short*>(argv[i]));
    argument.trim(u"\"");  // matched as switches are, without quotes around
    const unsigned short* text = argument.c_str();
    bool taken = false;
    if (!ended) {
      const unsigned short* rest = nullptr;
      if (view(argument) == kLongPrefix) {
        ended = taken = true;
      } else if ((rest = after(text, kLongPrefix))) {
        taken = true;
        if (!takeOption(o, argument, rest, kLongSeparator))
          o.usageErrors.push_back(usageError(withQuoted(u"неизвестный параметр ", text)));
      } else if (kSwitchOptions && (rest = after(text, u"/"))) {
        taken = takeOption(o, argument, rest, kSwitchSeparator);
        if (!taken && !isKnownSwitch(text))
          o.warnings.push_back(withQuoted(u"tarvin: неизвестный ключ ", text, u" сохранён, но ни на что не влияет\n"));
      } else if (!kSwitchOptions && text[0] == u'-') {
        taken = true;
        // A lone "-" is no directory: a list on standard input is "@-".
        if (const optionRow* row = findShort(argument))
          takeShortOption(o, *row, i, argc, argv);
        else
          o.usageErrors.push_back(usageError(withQuoted(u"неизвестный параметр ", text,
                                                    text[1] ? u"" : u" (список каталогов со стандартного ввода: @-)")));
      }
    }
    if (!taken) argv[kept++] = argv[i];
  }
  checkCombinations(o);
  argc = kept;
  argv[argc] = nullptr;
  return o;
}

void appendOptionHelp(mstr& out) {
  out.append(u"\n");
  appendOptionLines(out);
  out.append(u"\nКоды завершения: 0 - всё сконвертировано; 1 - вывод не записан; 2 - ошибка в параметрах,\n"
             u"или сообщения об ошибках либо повреждённые данные при ");
  out.append(spelled(u"strict").c_str()).append(u" или ").append(spelled(u"verify").c_str()).append(u".\n");
}

