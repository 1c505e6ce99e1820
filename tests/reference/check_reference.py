#!/usr/bin/env python3
"""Checks that the command reference and the header name exactly the DLL's exports.

The exports are read from the built DLL's export table (objdump -p). Every
export must have an entry ("### `Name`") in docs/commands.md and a declaration
in include/korrin.h, and neither may name a command that the DLL does not
export. The argument counts of the reference's and the header's declarations
must match the stack sizes of korrin.def ("Name = Name@N", N = 4 x arguments).
Usage: check_reference.py OBJDUMP korrin.dll korrin.h commands.md korrin.def
"""
import re
import subprocess
import sys


def exports(objdump, dll):
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    table = text.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) != 2:
        sys.exit(f"no export name table in {dll}")
    names = []
    for line in table[1].splitlines()[1:]:
        m = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s*$", line)
        if not m:
            break
        names.append(m.group(1))
    return names


def argument_count(parameters):
    parameters = parameters.strip()
    if parameters in ("", "void"):
        return 0
    return parameters.count(",") + 1


def header_declarations(path):
    text = open(path, encoding="utf-8").read()
    found = re.findall(r"KORRIN_API\s+[^;]*?KORRIN_CALL\s+(\w+)\s*\(([^)]*)\)", text)
    return [(name, argument_count(parameters)) for name, parameters in found]


def reference_entries(path):
    lines = open(path, encoding="utf-8").read().splitlines()
    entries = []
    for i, line in enumerate(lines):
        m = re.match(r"### `(\w+)`\s*$", line)
        if not m:
            continue
        name = m.group(1)
        following = [l for l in lines[i + 1:i + 4] if l.strip()]
        sig = re.match(r"`[^`]*?\b" + re.escape(name) + r"\(([^)]*)\)`$", following[0]) if following else None
        entries.append((name, argument_count(sig.group(1)) if sig else None))
    return entries


def stack_sizes(path):
    sizes = {}
    for line in open(path, encoding="utf-8"):
        m = re.match(r"\s*(\w+)\s*=\s*\w+@(\d+)\s*$", line)
        if m:
            sizes[m.group(1)] = int(m.group(2)) // 4
    return sizes


def main():
    objdump, dll, header, reference, deffile = sys.argv[1:6]
    exported = exports(objdump, dll)
    declared = header_declarations(header)
    documented = reference_entries(reference)
    arguments = stack_sizes(deffile)
    problems = []

    def compare(kind, listed):
        names = [name for name, _ in listed]
        for name in sorted({n for n in names if names.count(n) > 1}):
            problems.append(f"{kind} names {name} more than once")
        for name in sorted(set(exported) - set(names)):
            problems.append(f"{kind} lacks the export {name}")
        for name in sorted(set(names) - set(exported)):
            problems.append(f"{kind} names {name}, which the DLL does not export")
        for name, count in listed:
            if count is None:
                problems.append(f"{kind}: the entry of {name} has no declaration line")
            elif name in arguments and arguments[name] != count:
                problems.append(f"{kind} gives {name} {count} arguments, korrin.def {arguments[name]}")

    compare("docs/commands.md", documented)
    compare("include/korrin.h", declared)
    for line in problems:
        print(line)
    print(f"{len(exported)} exports, {len(documented)} documented, {len(declared)} declared, "
          f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
