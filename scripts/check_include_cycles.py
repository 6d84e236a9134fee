#!/usr/bin/env python3
"""Fails when the project's own includes form a circle between modules.

A module is a header and its source file together (core/pack_job.h and
core/pack_job.cpp are one module), so that a circle that runs through a source file is
found too: a.cpp including b.h while b.h includes a.h is a circle between a and b.
Prints every circle found and exits with 1; prints nothing and exits with 0 otherwise.
"""
import os
import re
import sys

FOLDERS = ("app", "cli", "core", "framework", "package", "security", "ui", "win32")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def modules(root):
    graph = {}
    for folder in FOLDERS:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for name in sorted(os.listdir(base)):
            stem, extension = os.path.splitext(name)
            if extension not in (".h", ".cpp"):
                continue
            module = folder + "/" + stem
            with open(os.path.join(base, name), encoding="utf-8", errors="replace") as source:
                text = source.read()
            targets = graph.setdefault(module, set())
            for included in INCLUDE.findall(text):
                target = os.path.splitext(included)[0]
                if target != module and os.path.exists(os.path.join(root, included)):
                    targets.add(target)
    return graph


def strongly_connected(graph):
    """Tarjan's algorithm, iterative: the groups of modules that reach each other."""
    index, low, on_stack, stack, groups, counter = {}, {}, set(), [], [], [0]
    for start in sorted(graph):
        if start in index:
            continue
        work = [(start, iter(sorted(graph.get(start, ()))))]
        index[start] = low[start] = counter[0]
        counter[0] += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter[0]
                    counter[0] += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(graph.get(child, ())))))
                    advanced = True
                    break
                if child in on_stack:
                    low[node] = min(low[node], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                group = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    group.append(member)
                    if member == node:
                        break
                if len(group) > 1:
                    groups.append(sorted(group))
    return groups


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    graph = modules(root)
    circles = strongly_connected(graph)
    for group in circles:
        edges = [a + " -> " + b for a in group for b in sorted(graph[a]) if b in group]
        print("include circle: " + ", ".join(group))
        for edge in edges:
            print("  " + edge)
    return 1 if circles else 0


if __name__ == "__main__":
    sys.exit(main())
