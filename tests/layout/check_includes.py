#!/usr/bin/env python3
"""Reads the library's own includes and checks the floors of docs/layout.md:
no include from a folder to a folder of a higher floor or to another folder
of the same floor (beyond the allowance given), and no loop between modules
(a module is a source and its header: Name.cpp with Name.h)."""
import os
import re
import sys

FLOORS = {"frame": 1, "image": 2, "sound": 2, "input": 2, "sprites": 3, "render": 4, "sprite3d": 5, "screen": 6,
          "stubs": 7}
ALLOWED_CLIMBS = 0
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z0-9_]+)/([A-Za-z0-9_]+)\.h"', re.M)


def main(root):
    climbs, edges = [], {}
    for folder in FLOORS:
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if not name.endswith((".cpp", ".c", ".h")):
                continue
            module = (folder, os.path.splitext(name)[0])
            with open(os.path.join(root, folder, name), encoding="utf-8") as source:
                for target_folder, target_name in INCLUDE.findall(source.read()):
                    if target_folder not in FLOORS:
                        continue
                    target = (target_folder, target_name)
                    if target != module:
                        edges.setdefault(module, set()).add(target)
                    if target_folder != folder and FLOORS[target_folder] >= FLOORS[folder]:
                        climbs.append("%s/%s includes %s/%s.h" % (folder, name, target_folder, target_name))
    loops = []
    state = {}

    def visit(module, path):
        state[module] = 1
        for target in sorted(edges.get(module, ())):
            if state.get(target) == 1:
                loops.append(" -> ".join("/".join(m) for m in path[path.index(target):] + [target]))
            elif target not in state:
                visit(target, path + [target])
        state[module] = 2

    for module in sorted(edges):
        if module not in state:
            visit(module, [module])
    for climb in climbs:
        print("climbs:", climb)
    for loop in loops:
        print("loop:", loop)
    print("%d include(s) climbing, %d allowed; %d loop(s)" % (len(climbs), ALLOWED_CLIMBS, len(loops)))
    return 0 if len(climbs) <= ALLOWED_CLIMBS and not loops else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")))
