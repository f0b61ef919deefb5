#!/usr/bin/env python3
"""Fails when a folder under src/ includes a folder that is not below it.

The layers are the order of add_subdirectory in src/CMakeLists.txt: a folder
may include its own headers and those of the folders listed before it, never
one listed after it, so the include graph has no cycle. Only src/app may
include Qt.
"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
src = root / "src"
order = re.findall(r"^add_subdirectory\((\w+)\)", (src / "CMakeLists.txt").read_text(), re.M)
rank = {folder: i for i, folder in enumerate(order)}
include = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.M)
faults = []
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp"):
        continue
    folder = path.relative_to(src).parts[0]
    for target in include.findall(path.read_text(encoding="utf-8", errors="replace")):
        head = target.split("/")[0]
        where = path.relative_to(root)
        if head.startswith("Q") and folder != "app":
            faults.append(f"{where}: includes Qt ({target}) outside src/app")
        elif head in rank and rank[head] > rank[folder]:
            faults.append(f"{where}: includes {target}, a layer above {folder}")
for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
