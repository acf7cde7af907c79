#!/usr/bin/env python3
"""Fails when a program imports a library or function outside the allow-list.

Reads the import tables with the cross objdump only, so it runs on any host.
Usage: check_imports.py OBJDUMP ALLOWLIST PROGRAM...

The allow-list has two kinds of lines (# starts a comment):
  dll    <library>              <why Windows takes it from the system folder>
  import <library> <name|#ord>  <where Windows XP SP3 is shown to export it>
"""
import re
import subprocess
import sys


def read_allowlist(path):
    dlls, imports = {}, {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fields = line.split(None, 3)
            if not fields or fields[0].startswith("#"):
                continue
            where = "%s:%d" % (path, number)
            if fields[0] == "dll" and len(fields) >= 3:
                dlls[fields[1].lower()] = where
            elif fields[0] == "import" and len(fields) == 4:
                imports[(fields[1].lower(), fields[2])] = where
            else:
                sys.exit("%s: neither a dll nor an import line with its source" % where)
    return dlls, imports


def read_imports(objdump, program):
    text = subprocess.run([objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    found, dll = set(), None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            found.add((dll, None))
            continue
        if not line.strip():
            dll = None  # a blank line ends a library's list
            continue
        m = re.match(r"\s+[0-9a-f]+\s+(\d+)\s+(\S+)", line)
        if dll and m:
            name = "#%s" % m.group(1) if m.group(2) == "<none>" else m.group(2)
            found.add((dll, name))
    return found


def main():
    objdump, allowlist, programs = sys.argv[1], sys.argv[2], sys.argv[3:]
    dlls, imports = read_allowlist(allowlist)
    problems, used = [], set()
    for program in programs:
        for dll, name in sorted(read_imports(objdump, program), key=lambda e: (e[0], e[1] or "")):
            if name is None:
                if dll not in dlls:
                    problems.append("%s imports %s, which Windows may look for in the program's folder" % (program, dll))
                continue
            used.add((dll, name))
            if (dll, name) not in imports:
                problems.append("%s imports %s!%s, not known to be exported by Windows XP SP3" % (program, dll, name))
    for key in sorted(set(imports) - used):
        problems.append("%s: %s!%s is no longer imported; drop the line" % (imports[key], key[0], key[1]))
    for problem in problems:
        print(problem)
    print("%d imports checked, %d problems" % (len(used), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
