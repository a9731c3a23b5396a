#!/usr/bin/env python3
"""Lists the names that two sources of one target each keep to themselves.

A unity build compiles the sources of a target in batches, each batch one
translation unit: the unnamed namespaces of its files become one, and so do
their static functions and variables. Two helpers of one name then clash
(a redefinition, an ambiguous call) or, worse, silently become one overload
set. This prints every such name with its files, target by target, from the
dev preset's compile database (cmake --preset dev), with clang-query; it
exits with 1 when it finds one. A source with flags of its own (the decoder's
instruction sets) is compiled alone in a unity build too, and is left out.

  python3 scripts/unity-names.py [BUILD_DIR]     (default: build/dev)
"""
import collections
import concurrent.futures
import json
import os
import re
import subprocess
import sys

# File-private declarations: in an unnamed namespace (at any depth), static at
# file scope, or in a helper namespace of a source that a using-directive
# takes into it (HELPERS: `using namespace indexLoading;`).
QUERY = """set output dump
match namedDecl(isExpansionInMainFile(), unless(isImplicit()), anyOf(
  hasDeclContext(namespaceDecl(isAnonymous())),
  hasDeclContext(namespaceDecl(hasAnyName(HELPERS))),
  allOf(hasDeclContext(translationUnitDecl()),
        anyOf(functionDecl(isStaticStorageClass()), varDecl(isStaticStorageClass())))))
"""
HELPER = re.compile(r"^using namespace (\w+);$", re.MULTILINE)
# The first line of a dumped declaration: its kind, its range, where its name
# stands, a few flags, the name.
DECLARATION = re.compile(r"^(\w+)Decl 0x[0-9a-f]+ <.*?> (?:col:\d+|line:\d+:\d+|\S+:\d+:\d+)"
                         r"(?: (?:implicit|used|referenced|invalid|constexpr|inline|struct|class|union))* (\w+)")


def batched_sources(entries):
    """(target, source) of every source that a unity build puts in a batch:
    those whose flags are those of most sources of their target."""
    def flags(entry):
        words = entry.get("command", "").split()
        return " ".join(w for i, w in enumerate(words)
                        if w != entry["file"] and (i == 0 or words[i - 1] not in ("-o", "-c", "-MF", "-MT")))
    by_target = collections.defaultdict(list)
    for entry in entries:
        target = re.search(r"CMakeFiles/([^/]+)\.dir/", entry.get("output", entry.get("command", "")))
        by_target[target.group(1) if target else "?"].append(entry)
    for target, members in sorted(by_target.items()):
        usual = collections.Counter(flags(e) for e in members).most_common(1)[0][0]
        yield from ((target, e["file"]) for e in members if flags(e) == usual)


def private_names(build, query, source):
    """The names that one source keeps to itself."""
    dump = subprocess.run(["clang-query", "-p", build, "-f", query, source],
                          capture_output=True, text=True, check=False).stdout.splitlines()
    names = set()
    for line, following in zip(dump, dump[1:]):
        declaration = DECLARATION.match(following) if line.startswith('Binding for "root"') else None
        if declaration and declaration.group(1) not in ("Using", "UsingDirective"):
            names.add(declaration.group(2))
    return names


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.join(root, sys.argv[1] if len(sys.argv) > 1 else "build/dev")
    with open(os.path.join(build, "compile_commands.json")) as f:
        batched = list(batched_sources(json.load(f)))
    helpers = set()
    for _, source in batched:
        with open(source, encoding="utf-8", errors="replace") as f:
            helpers.update(HELPER.findall(f.read()))
    query = os.path.join(build, "unity-names.query")
    with open(query, "w") as f:
        quoted = ", ".join(f'"{name}"' for name in sorted(helpers)) or '"-"'
        f.write(" ".join(QUERY.replace("HELPERS", quoted).split("\n  ")))
    names = collections.defaultdict(lambda: collections.defaultdict(set))  # target -> name -> {source}
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        declared = pool.map(lambda pair: private_names(build, query, pair[1]), batched)
        for (target, source), private in zip(batched, declared):
            for name in private:
                names[target][name].add(os.path.relpath(source, root))
    clashes = [f"{target}: {name} in {', '.join(sorted(sources))}"
               for target in sorted(names) for name, sources in sorted(names[target].items()) if len(sources) > 1]
    print("\n".join(clashes) if clashes else f"no name kept by two sources of one target ({len(batched)} sources)")
    return 1 if clashes else 0


if __name__ == "__main__":
    sys.exit(main())
