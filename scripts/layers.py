#!/usr/bin/env python3
"""Checks the folder layering that ARCHITECTURE.md describes.

Reads the layers, top to bottom, from the table in ARCHITECTURE.md, then every #include "..."
of the sources in those folders, and reports each include that runs to the same layer's
neighbour or up a layer, and any cycle between folders (the tools beside the layers
included). Exits 1 when it found one. Usage: scripts/layers.py [source root]
"""
import collections
import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                       os.path.join(os.path.dirname(__file__), ".."))
OUTSIDE = {"build", "tests", "benchmarks", "fuzz", "packaging", "cmake", "scripts"}


def layers():
    order = []
    with open(os.path.join(ROOT, "ARCHITECTURE.md"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r"\|\s*`([^`]+)/`\s*\|", line)
            if m:
                order.append(m.group(1))
    return order


def sources():
    by_name = collections.defaultdict(list)
    for folder, subdirs, files in os.walk(ROOT):
        rel = os.path.relpath(folder, ROOT).replace(os.sep, "/")
        if rel != "." and (rel.split("/")[0] in OUTSIDE or rel.startswith(".")):
            subdirs[:] = []
            continue
        for name in files:
            if name.endswith((".h", ".cpp")):
                by_name[name].append(rel)
    return by_name


def include_graph(by_name):
    edges = collections.defaultdict(lambda: collections.defaultdict(list))
    for name, folders in by_name.items():
        for folder in folders:
            with open(os.path.join(ROOT, folder, name), encoding="utf-8", errors="replace") as f:
                for line in f:
                    m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
                    header = m and os.path.basename(m.group(1))
                    if not header or header not in by_name or folder in by_name[header]:
                        continue
                    for target in by_name[header]:
                        edges[folder][target].append(f"{name} -> {header}")
    return edges


def cycles(edges):
    index, low, stack, on, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on.add(v)
        for w in edges.get(v, {}):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            part = []
            while True:
                w = stack.pop()
                on.discard(w)
                part.append(w)
                if w == v:
                    break
            if len(part) > 1:
                found.append(sorted(part))

    for v in list(edges):
        if v not in index:
            visit(v)
    return found


def main():
    order = layers()
    edges = include_graph(sources())
    faults = 0
    for folder, targets in sorted(edges.items()):
        for target, why in sorted(targets.items()):
            if folder in order and target in order and order.index(target) <= order.index(folder):
                print(f"up a layer: {folder}/ -> {target}/ ({'; '.join(why[:3])})")
                faults += 1
    for part in cycles(edges):
        print("cycle: " + " <-> ".join(f"{p}/" for p in part))
        faults += 1
    if not faults:
        count = sum(len(why) for targets in edges.values() for why in targets.values())
        print(f"{len(order)} layers, {count} includes between folders: none up a layer, "
              "no cycle")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
