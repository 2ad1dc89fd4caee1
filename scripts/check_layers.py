#!/usr/bin/env python3
"""Checks the #include lines of the library against the direction of dependencies that
docs/architecture.md documents, and fails (exit 1) on every include that goes against it.

The subsystem table of docs/architecture.md is read, not copied: its rows give each folder of
src/, the public headers that subsystem implements and the subsystems it may include. Then:

- src/<subsystem>/ and the public headers it implements include only their own subsystem, the
  subsystems their row allows, platform.h, abi/ and outside libraries; no file of the library
  includes vqx.h (the hosts' umbrella header), and public headers include neither abi/ nor src/;
- abi/ includes nothing of the project but abi/;
- drivers/<name>/ includes its own folder and abi/, nothing of src/ or include/vqx/;
- tools/ includes the public headers and its own files, nothing of src/ or abi/;
- the table names every folder of src/ and every public header, and its direction has no cycle.

Usage: check_layers.py [SOURCE_ROOT]   (default: the folder above this script)
"""
import pathlib
import re
import sys

BASE_HEADERS = {"platform.h"}  # types and calling-convention macros, for every subsystem
UMBRELLA_HEADERS = {"vqx.h"}  # every public header at once, for hosts only
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".c", ".inl"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
CODE_PATH = re.compile(r"`([^`]+)`")


def fail_setup(message):
    print(f"check_layers: {message}", file=sys.stderr)
    sys.exit(2)


def read_table(architecture):
    """The subsystem table: {subsystem: (public headers, subsystems it may include)}."""
    lines = architecture.read_text(encoding="utf-8").splitlines()
    for index, line in enumerate(lines):
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if cells[:1] == ["Folder"] and "Public header" in cells and "May include" in cells:
            header_column, uses_column = cells.index("Public header"), cells.index("May include")
            break
    else:
        fail_setup(f"{architecture}: no table with the columns Folder, Public header and May include")
    table = {}
    for line in lines[index + 2:]:
        if not line.startswith("|"):
            break
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        folder = re.fullmatch(r"`src/(\w+)/`", cells[0])
        if not folder:
            fail_setup(f"{architecture}: a row of the subsystem table names no src/ folder: {line}")
        headers = set(CODE_PATH.findall(cells[header_column]))
        uses = {name.strip() for name in cells[uses_column].split(",")} - {"—", "-", ""}
        table[folder.group(1)] = (headers, uses)
    return table


def check_table(table, root):
    problems = []
    for subsystem, (_, uses) in table.items():
        for used in sorted(uses - set(table)):
            problems.append(f"docs/architecture.md: {subsystem} may include '{used}', which is no subsystem")
    folders = {path.name for path in (root / "src").iterdir() if path.is_dir()}
    for folder in sorted(folders - set(table)):
        problems.append(f"src/{folder}/ is missing from the subsystem table of docs/architecture.md")
    owned = {header for headers, _ in table.values() for header in headers}
    for header in sorted((root / "include" / "vqx").glob("*.h")):
        if header.name not in owned | BASE_HEADERS | UMBRELLA_HEADERS:
            problems.append(f"include/vqx/{header.name} belongs to no subsystem of docs/architecture.md")
    cycle = find_cycle(table)
    if cycle:
        problems.append("docs/architecture.md: the direction has a cycle: " + " -> ".join(cycle))
    return problems


def find_cycle(table):
    """The first cycle of "may include" found by a depth-first search, or None."""
    state = {}

    def visit(path):
        state[path[-1]] = "open"
        for used in sorted(table[path[-1]][1] & set(table)):
            if state.get(used) == "open":
                return path[path.index(used):] + [used]
            if used not in state:
                cycle = visit(path + [used])
                if cycle:
                    return cycle
        state[path[-1]] = "done"
        return None

    for subsystem in table:
        if subsystem not in state:
            cycle = visit([subsystem])
            if cycle:
                return cycle
    return None


def includes(path):
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1) == "<", match.group(2)


def sources(folder):
    return sorted(p for p in folder.rglob("*") if p.is_file() and p.suffix in SOURCE_SUFFIXES)


class Checker:
    def __init__(self, root, table):
        self.root = root
        self.table = table
        self.header_owner = {header: subsystem for subsystem, (headers, _) in table.items() for header in headers}
        self.problems = []

    def report(self, path, number, text, why):
        self.problems.append(f"{path.relative_to(self.root)}:{number}: #include {text}: {why}")

    def target(self, path, angled, name):
        """What an include names, searched the way the compiler does (a quoted name beside the
        includer first, then on the include paths): ('public', header name), ('src', subsystem),
        ('abi', None), ('local', path) for another file of the project, ('outside', None) for
        another library, or ('unknown', None)."""
        if angled:
            return ("public", name[len("vqx/"):]) if name.startswith("vqx/") else ("outside", None)
        beside = (path.parent / name).resolve()
        if beside.is_file():
            return self.classify(beside)
        for include_root in (self.root, self.root / "src"):
            candidate = (include_root / name).resolve()
            if name.split("/")[0] in ("abi", *self.table) and candidate.is_file():
                return self.classify(candidate)
        return "unknown", None

    def classify(self, resolved):
        if self.root / "src" in resolved.parents:
            return "src", resolved.relative_to(self.root / "src").parts[0]
        if self.root / "include" / "vqx" in resolved.parents:
            return "public", resolved.name
        if self.root / "abi" in resolved.parents:
            return "abi", None
        return "local", resolved

    def check_library_file(self, path, subsystem, public):
        allowed = self.table[subsystem][1] | {subsystem}
        for number, angled, name in includes(path):
            kind, what = self.target(path, angled, name)
            text = f"<{name}>" if angled else f'"{name}"'
            if kind == "public":
                if what in UMBRELLA_HEADERS:
                    self.report(path, number, text, "the umbrella header is for hosts; include the headers used")
                elif what in BASE_HEADERS:
                    continue
                elif what not in self.header_owner:
                    self.report(path, number, text, "no such public header in docs/architecture.md")
                elif self.header_owner[what] not in allowed:
                    self.report(path, number, text,
                                f"{subsystem} may not include {self.header_owner[what]} (docs/architecture.md)")
            elif kind in ("src", "abi") and public:
                self.report(path, number, text, "a public header is installed: it can include public headers only")
            elif kind == "src" and what not in allowed:
                self.report(path, number, text, f"{subsystem} may not include {what} (docs/architecture.md)")
            elif kind == "local":
                self.report(path, number, text, "a file outside src/, include/vqx/ and abi/")
            elif kind == "unknown":
                self.report(path, number, text, "no such file of the project")

    def check_confined(self, path, home, may_include_public, may_include_abi, rule):
        for number, angled, name in includes(path):
            kind, what = self.target(path, angled, name)
            text = f"<{name}>" if angled else f'"{name}"'
            if kind == "outside":
                continue
            if kind == "local" and home in what.parents:
                continue
            if kind == "abi" and may_include_abi:
                continue
            if kind == "public" and may_include_public:
                continue
            self.report(path, number, text, rule)

    def run(self):
        for subsystem in self.table:
            for path in sources(self.root / "src" / subsystem):
                self.check_library_file(path, subsystem, public=False)
        for header, subsystem in self.header_owner.items():
            path = self.root / "include" / "vqx" / header
            if path.is_file():
                self.check_library_file(path, subsystem, public=True)
            else:
                self.problems.append(f"docs/architecture.md names include/vqx/{header}, which does not exist")
        abi = self.root / "abi"
        for path in sources(abi):
            self.check_confined(path, abi, False, True, "abi/ includes nothing of the project but abi/")
        for driver in sorted(p for p in (self.root / "drivers").iterdir() if p.is_dir()):
            for path in sources(driver):
                self.check_confined(path, driver, False, True,
                                    f"drivers/{driver.name}/ includes its own files and abi/ only")
        tools = self.root / "tools"
        for tool in sorted(p for p in tools.iterdir() if p.is_dir()):
            for path in sources(tool):
                self.check_confined(path, tool, True, False,
                                    f"tools/{tool.name}/ includes the public headers and its own files only")
        return self.problems


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent).resolve()
    table = read_table(root / "docs" / "architecture.md")
    problems = check_table(table, root) + Checker(root, table).run()
    for problem in problems:
        print(problem)
    if problems:
        print(f"check_layers: {len(problems)} problem(s) with the direction of docs/architecture.md")
        return 1
    print(f"check_layers: the includes of {len(table)} subsystems, abi/, drivers/ and tools/ follow docs/architecture.md")
    return 0


if __name__ == "__main__":
    sys.exit(main())
