#!/usr/bin/env python3
"""Leaves the session's switches and actions out of the LV2 form's writable parameters.

The framework's LV2 description lists every parameter under patch:writable, which hosts offer as
automation lanes and save with a project. The parameters named on the command line (by their
identifier, e.g. param06) stay readable only: hosts show them but do not write or restore them.

    lv2_session_parameters.py DSP_TTL IDENTIFIER...
"""
import os
import re
import sys


def main():
    path, session = sys.argv[1], set(sys.argv[2:])
    with open(path, encoding="utf-8") as f:
        text = f.read()
    # "\tpatch:writable" then one "\n\t\tplug:<id>" per parameter, separated by " ,", ended by " ;".
    pattern = re.compile(r"\tpatch:writable((?:\n\t\tplug:[A-Za-z0-9_]+(?: ,)?)+) ;\n")
    found = pattern.search(text)
    if not found:
        sys.exit(f"{path}: no patch:writable list")
    names = re.findall(r"plug:([A-Za-z0-9_]+)", found.group(1))
    missing = session - set(names)
    if missing:
        sys.exit(f"{path}: not among the writable parameters: {' '.join(sorted(missing))}")
    kept = [n for n in names if n not in session]
    listed = " ,".join(f"\n\t\tplug:{n}" for n in kept)
    text = text[: found.start()] + f"\tpatch:writable{listed} ;\n" + text[found.end():]
    temporary = path + ".partial"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(temporary, path)


if __name__ == "__main__":
    main()
