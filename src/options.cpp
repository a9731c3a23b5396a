#include "options.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace {

// Where a slash marks switches (Windows), every option is also a switch:
// "/utf8", "/simd:avx2". Elsewhere a slash starts an absolute path, and the
// options are long options alone, a few with a short form ("-h", "-o FILE").
constexpr bool kSwitchOptions = kSpelling == spelling::switches;

const char16_t kUsage[] =
    u"Программа для конверсии рапортов Molvar в текстовый файл(v1.0)\n\n"
    u"  в параметры указать пути по котрым искать файлы с расширением idx создаваемые Molvar.\n\n"
    u"  Можно указать список таких путей в файле, который передать с в формате @имя_файла.\n\n"
    u"  Пример запуска: Tarvin c:\\molvar\\2004\n"
    u"     Конверсия всех рапортов в указанном каталоге\n"
    u"  Можно выполнить следующее: Tarvin c:\\molvar\\2004 c:\\molvar\\2005\n"
    u"     Конвертированные данные выводятся в окно запуска, чтобы получить их в файле надо "
    u"добавить к команде >имя_файла\n"
    u"  Пример: Tarvin c:\\molvar\\2004 c:\\molvar\\2005 >2004-2005.txt\n";

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

// The file of -o; "-" is standard output, as if none were named (a file of
// that name is "./-").
bool takeOutput(runOptions& o, const mstr& value) {
  if (view(value) != u"-") return takePath(o.output, value);
  o.output.clear();
  return true;
}

struct optionRow {
  const char16_t* word;
  const char16_t* value;  // the name of its value in the help; null: it takes none
  const char16_t* help;   // its line in the help
  // Applies it; false when the value is not one it takes.
  bool (*take)(runOptions& o, const mstr& value);
  // Its one-letter form where options are long options ("-o"), or 0; with
  // `letterSwitch` also a switch where they are switches ("/o:FILE").
  char16_t letter = 0;
  bool letterSwitch = false;
};

const optionRow kOptions[] = {
    {u"utf8", nullptr, u"стандартный вывод и сообщения об ошибках в UTF-8, а не в кодовой странице OEM",
     [](runOptions& o, const mstr&) { return setTrue(o.utf8); }},
    {u"oem", nullptr, u"вывод, сообщения и списки в кодовой странице OEM (866), байт в байт как в Windows",
     [](runOptions& o, const mstr&) { return setTrue(o.oem); }},
    {u"null", nullptr, u"каталоги в списках (@ФАЙЛ) кончаются байтом NUL, а не концом строки (find -print0)",
     [](runOptions& o, const mstr&) { return setTrue(o.nullEnds); }, u'0'},
    {u"jsonl", nullptr, u"вместо текстов - по объекту JSON на рапорт, каждый в своей строке (UTF-8)",
     [](runOptions& o, const mstr&) { return setTrue(o.jsonl); }},
    {u"list", nullptr, u"те же объекты без текстов: что хранят архивы, без декодирования",
     [](runOptions& o, const mstr&) { return setTrue(o.list); }},
    {u"strict", nullptr, u"код завершения 1 и тогда, когда были только повреждённые данные",
     [](runOptions& o, const mstr&) { return setTrue(o.strict); }},
    {u"verify", nullptr, u"проверка: всё прочитать, проверить коды рапортов, вывести повреждения и итог вместо текстов",
     [](runOptions& o, const mstr&) { return setTrue(o.verify); }},
    {u"salvage", nullptr, u"также байты файлов рапортов, не названные ни одной записью индекса",
     [](runOptions& o, const mstr&) { return setTrue(o.salvage); }},
    {u"quiet", nullptr, u"без строки хода работы на терминале",
     [](runOptions& o, const mstr&) { return setTrue(o.quiet); }, u'q'},
    {u"trim", nullptr, u"без пустых строк в конце рапорта (заполнение его последнего блока)",
     [](runOptions& o, const mstr&) { return setTrue(o.trim); }},
    {u"key", u"ШАБЛОН", u"только рапорты, ключ которых подходит под шаблон (* и ?; можно несколько раз)",
     [](runOptions& o, const mstr& value) {
       o.keys.push_back(value);
       return true;
     }},
    {u"output", u"ФАЙЛ", u"стандартный вывод - в этот файл (существующий файл заменяется; - стандартный вывод)",
     takeOutput, u'o', true},
    {u"split", u"КАТАЛОГ", u"по файлу .txt на индекс в этом каталоге, по пути индекса ниже каталога поиска",
     [](runOptions& o, const mstr& value) { return takePath(o.split, value); }},
    {u"force", nullptr, u"при разбиении по файлам заменять файлы, которые уже были",
     [](runOptions& o, const mstr&) { return setTrue(o.force); }},
    {u"simd", u"УРОВЕНЬ", u"уровень декодирования для измерений: scalar, avx2 или avx512", takeLevel},
    {u"version", nullptr, u"версия программы", [](runOptions& o, const mstr&) { return setTrue(o.version); }, u'V'},
    {u"help", nullptr, u"эта справка",
     [](runOptions& o, const mstr&) { return o.help = runOptions::helpKind::options, true; }, u'h'},
};

const char16_t* const kLongPrefix = u"--";
const char16_t kLongSeparator = u'=';
const char16_t kSwitchSeparator = u':';

// How the help and the messages spell an option: "--word" or "/word".
mstr spelled(const char16_t* word, spelling how = kSpelling) {
  mstr out(how == spelling::switches ? u"/" : kLongPrefix);
  return out.append(word);
}

// Its one-letter form: "-o" or "/o".
mstr spelledLetter(const optionRow& row, spelling how = kSpelling) {
  mstr out(how == spelling::switches ? u"/" : u"-");
  out.push_value(static_cast<unsigned short>(row.letter));
  return out;
}

// The text of `argument` after `start`, or null when it does not begin so.
const unsigned short* after(const unsigned short* argument, const char16_t* start) {
  for (; *start; ++start, ++argument)
    if (*argument != static_cast<unsigned short>(*start)) return nullptr;
  return argument;
}

// The options a long option's word names: the one it spells out, else each
// one it is the beginning of.
std::vector<const optionRow*> named(const mstr& word) {
  std::vector<const optionRow*> rows;
  for (const optionRow& row : kOptions)
    if (view(word) == row.word) return {&row};
  const std::u16string_view given = view(word);
  for (const optionRow& row : kOptions)
    if (!given.empty() && std::u16string_view(row.word).substr(0, given.size()) == given) rows.push_back(&row);
  return rows;
}

// The option a switch names, its word or its letter, spelled out in full.
const optionRow* switchNamed(const mstr& word) {
  for (const optionRow& row : kOptions)
    if (view(word) == row.word || (row.letterSwitch && word.get_count() == 1 && word.c_str()[0] == row.letter))
      return &row;
  return nullptr;
}

const optionRow* withLetter(unsigned short letter) {
  for (const optionRow& row : kOptions)
    if (row.letter && row.letter == letter) return &row;
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

// One argument of the walk, and where the walk is: an option that needs a
// value and was given none in its argument takes the next one, where that
// is allowed.
struct walk {
  runOptions& o;
  int& i;
  int argc;
  WCHAR** argv;

  // Applies `row` as `argument` names it; `value` is what followed its
  // separator in the argument, or null. `form` is how the help writes it with
  // its value ("--output=", "-o "). `valueMayFollow`: the next argument may be
  // its value.
  void take(const optionRow& row, const mstr& argument, const mstr* value, mstr form, bool valueMayFollow) {
    if (!row.value) {
      if (value)
        o.usageErrors.push_back(usageError(withQuoted(u"параметр ", argument.c_str(), u" не принимает значения")));
      else
        apply(o, row, mstr());
    } else if (value) {
      apply(o, row, *value);
    } else if (valueMayFollow && i + 1 < argc) {
      apply(o, row, typedArgument(reinterpret_cast<const unsigned short*>(argv[++i])));
    } else {
      mstr text = withQuoted(u"параметру ", argument.c_str(), u" нужно значение: ");
      o.usageErrors.push_back(usageError(text.append(form.c_str()).append(row.value)));
    }
  }

  // The word of a long option or switch (`rest`, after its prefix) and the
  // value after `separator`, if there is one.
  static bool split(const unsigned short* rest, char16_t separator, mstr& word, mstr& value) {
    word.assign(rest);
    unsigned short* at = word.findChar(separator);
    if (!at) return false;
    value.append(at + 1);
    word.erase(at, nullptr);
    return true;
  }

  // "--word", "--word=VALUE", "--word VALUE", or a unique beginning of a word.
  void longOption(const mstr& argument, const unsigned short* rest) {
    mstr word, value;
    const bool hasValue = split(rest, kLongSeparator, word, value);
    const std::vector<const optionRow*> rows = named(word);
    if (rows.empty()) {
      o.usageErrors.push_back(usageError(withQuoted(u"неизвестный параметр ", argument.c_str())));
    } else if (rows.size() > 1) {
      mstr text = withQuoted(u"неоднозначный параметр ", argument.c_str(), u":");
      for (const optionRow* row : rows)
        text.append(row == rows[0] ? u" " : u", ").append(spelled(row->word, spelling::options).c_str());
      o.usageErrors.push_back(usageError(text));
    } else {
      mstr form = spelled(rows[0]->word, spelling::options);
      form.push_value(kLongSeparator);
      take(*rows[0], argument, hasValue ? &value : nullptr, form, true);
    }
  }

  // "/word", "/word:VALUE", a letter ("/o:VALUE"); false when it names none.
  bool switchOption(const mstr& argument, const unsigned short* rest) {
    mstr word, value;
    const bool hasValue = split(rest, kSwitchSeparator, word, value);
    const optionRow* row = switchNamed(word);
    if (!row) return false;
    mstr form(u"/");
    form.append(word.c_str()).push_value(kSwitchSeparator);
    take(*row, argument, hasValue ? &value : nullptr, form, false);
    return true;
  }

  // "-x", "-oVALUE", "-o VALUE".
  void shortOption(const mstr& argument) {
    const unsigned short* text = argument.c_str();
    const optionRow* row = text[1] ? withLetter(text[1]) : nullptr;
    if (row && (row->value || !text[2])) {
      const mstr value(text + 2);
      mstr form = spelledLetter(*row, spelling::options);
      take(*row, argument, text[2] ? &value : nullptr, form.append(u" "), true);
      return;
    }
    // A lone "-" is no directory: a list on standard input is "@-".
    o.usageErrors.push_back(usageError(
        withQuoted(u"неизвестный параметр ", text, text[1] ? u"" : u" (список каталогов со стандартного ввода: @-)")));
  }
};

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
  both(o.utf8 && o.oem, u"utf8", u"oem");
  if (o.force && !split) {
    mstr text(u"параметр ");
    text.append(spelled(u"force").c_str()).append(u" действует только вместе с ").append(spelled(u"split").c_str());
    o.usageErrors.push_back(usageError(text));
  }
}

// The switches the program has always known; "/log:" and "/deb:" give "log"
// and "debug" too.
const knownSwitch kKnownSwitches[] = {
    {u"/?", 0, nullptr},
    {u"/?:", 0, nullptr},
    {u"/install", 1, nullptr},
    {u"/remove", 2, nullptr},
    {u"/start", 4, nullptr},
    {u"/test", 8, nullptr},
    {u"/run", 16, nullptr},
    {u"/log:", 32, u"log"},
    {u"/deb:", 0, u"debug"},
};

bool isKnownSwitch(const unsigned short* argument) {
  const std::u16string_view text = view(argument);
  for (const knownSwitch& known : kKnownSwitches) {
    const std::u16string_view form(known.form);
    if (known.takesValue() ? text.substr(0, form.size()) == form : text == form) return true;
  }
  return false;
}

// A line for each option, spelled so.
void appendOptionLines(mstr& out, spelling how) {
  for (const optionRow& option : kOptions) {
    mstr line(u"  ");
    if (option.letter && (how == spelling::options || option.letterSwitch))
      line.append(spelledLetter(option, how).c_str()).append(u", ");
    line.append(spelled(option.word, how).c_str());
    if (option.value) {
      line.push_value(how == spelling::switches ? kSwitchSeparator : kLongSeparator);
      line.append(option.value);
    }
    do line.append(u" ");
    while (line.get_count() < 24);
    out.append(line.c_str()).append(option.help).append(u"\n");
  }
}

}  // namespace

bool knownSwitch::takesValue() const { return std::u16string_view(form).back() == u':'; }

knownSwitchTable knownSwitches() { return {std::begin(kKnownSwitches), std::end(kKnownSwitches)}; }

bool isSwitch(const unsigned short* argument) {
  if (!argument) return false;
  return kSwitchOptions ? argument[0] == u'/' : isKnownSwitch(argument);
}

mstr typedArgument(const unsigned short* argument) {
  mstr typed(argument);
  return typed.trim(u"\"");
}

runOptions takeRunOptions(int argc, WCHAR** argv, const std::function<void(const mstr&)>& keep) {
  runOptions o;
  bool ended = false;  // by "--"
  for (int i = 1; i < argc; ++i) {
    const mstr argument = typedArgument(reinterpret_cast<const unsigned short*>(argv[i]));
    const unsigned short* text = argument.c_str();
    walk at{o, i, argc, argv};
    bool taken = false;
    if (!ended) {
      const unsigned short* rest = nullptr;
      if (view(argument) == kLongPrefix) {
        ended = taken = true;
      } else if ((rest = after(text, kLongPrefix))) {
        taken = true;
        at.longOption(argument, rest);
      } else if (kSwitchOptions && (rest = after(text, u"/"))) {
        taken = at.switchOption(argument, rest);
        if (!taken && !isKnownSwitch(text))
          o.warnings.push_back(withQuoted(u"tarvin: неизвестный ключ ", text, u" сохранён, но ни на что не влияет\n"));
      } else if (!kSwitchOptions && text[0] == u'-') {
        taken = true;
        at.shortOption(argument);
      }
    }
    if (!taken) keep(argument);
  }
  // Where the command line is Windows' own, a run without arguments writes
  // nothing, as the program always did; elsewhere it is told what is missing.
  if (argc <= 1 && !kSwitchOptions) o.usageErrors.push_back(usageError(u"не указано ни одного каталога"));
  checkCombinations(o);
  return o;
}

mstr helpText(runOptions::helpKind kind, spelling how) {
  mstr out(kUsage);
  if (kind != runOptions::helpKind::options) return out;
  out.append(u"\n");
  appendOptionLines(out, how);
  // Where the locale decides the encoding (POSIX), how to get either one.
  if (how == spelling::options)
    out.append(u"Кодировка - как в локали: UTF-8 или кодовая страница 866; ")
        .append(spelled(u"utf8", how).c_str())
        .append(u" - UTF-8, ")
        .append(spelled(u"oem", how).c_str())
        .append(u" - байты Windows (866).\n");
  out.append(u"\nКоды завершения: 0 - всё сконвертировано; 1 - сконвертировано не всё: было сообщение об\n"
             u"ошибке или вывод не записан, а при ");
  out.append(spelled(u"strict", how).c_str()).append(u" или ").append(spelled(u"verify", how).c_str());
  out.append(u" и повреждённые данные; 2 - ошибка в параметрах.\n");
  return out;
}

mstr versionText() {
  return mstr(u"tarvin " TARVIN_VERSION "\n"
              u"Copyright (C) 2026 the Tarvin developers\n"
              u"License MIT: <https://opensource.org/licenses/MIT>.\n");
}
