#!/usr/bin/env python3
"""Checks the naming rules of docs/contributing.md that a formatter cannot see:

- the library (src/) and the public headers spell integers with platform.h's aliases (int32 ...),
  not with <cstdint>'s names; platform.h itself defines the aliases from them;
- nowhere is an integer spelled std::int32_t (outside the library the spelling is int32_t);
- members are m_camelCase: no identifier ends with an underscore (the trailing_ style) and none
  starts with m_ and goes on in snake_case;
- the tests' named namespace is vqx::test.

String literals are left out of the checks. Prints each finding as file:line and exits 1 if any.
Usage: scripts/check_naming.py [project folder]
"""
import pathlib
import re
import subprocess
import sys

STRING_LITERAL = re.compile(r'"(?:\\.|[^"\\\n])*"')
CSTDINT_NAME = re.compile(r"\b(?:std::)?u?int(?:8|16|32|64)_t\b")
STD_CSTDINT_NAME = re.compile(r"\bstd::u?int(?:8|16|32|64)_t\b")
TRAILING_UNDERSCORE = re.compile(r"\b[a-z][A-Za-z0-9]*_\b")
SNAKE_MEMBER = re.compile(r"\bm_[a-z0-9]+_\w*\b")
NAMED_NAMESPACE = re.compile(r"^\s*namespace\s+([A-Za-z_][\w:]*)\s*\{")

CODE_FOLDERS = ("src/", "include/", "abi/", "drivers/", "tools/", "tests/", "bench/")
ALIASES_DEFINED_IN = "include/vqx/platform.h"


def project_files(root):
    listed = subprocess.run(["git", "ls-files", "*.cpp", "*.h"], cwd=root, capture_output=True, text=True)
    names = listed.stdout.split() if listed.returncode == 0 else [
        str(p.relative_to(root)) for p in root.rglob("*") if p.suffix in (".cpp", ".h")]
    return sorted(n for n in names if n.startswith(CODE_FOLDERS))


def findings_in(name, text):
    in_library = name.startswith(("src/", "include/")) and name != ALIASES_DEFINED_IN
    in_tests = name.startswith("tests/")
    for number, line in enumerate(text.splitlines(), 1):
        code = STRING_LITERAL.sub('""', line)
        if in_library and CSTDINT_NAME.search(code):
            yield number, "integer spelled with <cstdint>'s name in the library (use int32, uint32 ...)"
        elif name != ALIASES_DEFINED_IN and STD_CSTDINT_NAME.search(code):
            yield number, "integer spelled std::..._t (use the name without std::)"
        for pattern in (TRAILING_UNDERSCORE, SNAKE_MEMBER):
            for match in pattern.finditer(code):
                yield number, f"'{match.group(0)}' is not m_camelCase"
        namespace = NAMED_NAMESPACE.match(code)
        if in_tests and namespace and namespace.group(1) != "vqx::test":
            yield number, f"test namespace '{namespace.group(1)}' (use vqx::test)"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent).resolve()
    count = 0
    for name in project_files(root):
        for number, message in findings_in(name, (root / name).read_text(encoding="utf-8")):
            print(f"check_naming: {name}:{number}: {message}")
            count += 1
    print(f"check_naming: {count} finding(s)" if count else "check_naming: every name follows the conventions")
    return 1 if count else 0


if __name__ == "__main__":
    sys.exit(main())
