#!/usr/bin/env python3
"""Fails when two source files of one engine call each other in a loop.

For each static library named on the command line, reads its object files'
symbols with nm: a file uses another when one of its undefined symbols is a
strong definition (text, data, bss, read-only) in the other. Weak and inline
definitions are left out, since every user holds its own copy. Prints each
loop as a chain of file names and exits 1 if any library has one.

usage: check_call_cycles.py LIBRARY.a...   (NM names the nm to use, default nm)
"""
import os
import subprocess
import sys


def symbols(library):
    """{object name: (defined strong symbols, undefined symbols)}"""
    out = subprocess.run([os.environ.get("NM", "nm"), "-P", "-A", library], check=True,
                         capture_output=True, text=True).stdout
    objects = {}
    for line in out.splitlines():
        # "lib.a[file.o]: symbol T value size"
        head, _, rest = line.partition(": ")
        if "[" not in head:
            continue
        obj = head[head.index("[") + 1:-1]
        parts = rest.split()
        if len(parts) < 2:
            continue
        name, kind = parts[0], parts[1]
        defined, undefined = objects.setdefault(obj, (set(), set()))
        if kind == "U":
            undefined.add(name)
        elif kind in "TDBRG":  # strong, global
            defined.add(name)
    return objects


def loops(graph):
    """Strongly connected components of more than one file (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return found


def edges_within(component, graph, uses):
    lines = []
    for a in component:
        for b in sorted(graph[a] & set(component)):
            lines.append(f"    {a} -> {b}: {', '.join(sorted(uses[(a, b)])[:3])}")
    return lines


def main(libraries):
    if not libraries:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    bad = 0
    for library in libraries:
        objects = symbols(library)
        # A symbol defined strongly in several files (a COMDAT copy of an
        # inline function in a PE object) belongs to none of them.
        owner, shared = {}, set()
        for obj, (defined, _) in objects.items():
            for name in defined:
                if name in owner:
                    shared.add(name)
                owner[name] = obj
        for name in shared:
            del owner[name]
        graph = {obj: set() for obj in objects}
        uses = {}
        for obj, (_, undefined) in objects.items():
            for name in undefined:
                other = owner.get(name)
                if other and other != obj:
                    graph[obj].add(other)
                    uses.setdefault((obj, other), set()).add(name)
        found = loops(graph)
        label = os.path.basename(library)
        if found:
            bad += 1
            for component in found:
                print(f"{label}: files calling each other in a loop: {' '.join(component)}")
                print("\n".join(edges_within(component, graph, uses)))
        else:
            print(f"{label}: {len(objects)} files, no call loops")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
