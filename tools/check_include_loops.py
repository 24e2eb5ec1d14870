#!/usr/bin/env python3
"""Finds include loops between the framework's components.

A component is a header with its .cpp files (Foo.h, Foo.cpp); the Internal and Tables
helpers of a component (FooInternal.h, FooTable.h, FooTables.h) belong to it. Component A depends on
B when any file of A includes a header of B. Every loop of dependencies is printed with
its edges; the loops listed in KNOWN (files that must know each other, as their opening
comments say) are accepted, and so is a loop among some of their members; a loop that reaches any other
component makes the exit status 1.

    tools/check_include_loops.py [root]
"""
import os
import re
import sys

FOLDERS = ["platform", "foundation", "storage", "image", "gamesystem", "media", "gui", "adventure", "app"]
SUFFIXES = ("Internal", "Tables", "Table")
KNOWN = [
    {"foundation/SLError", "foundation/SLLibrary", "foundation/SLMemory", "foundation/SLSingleton",
     "foundation/SLSync"},
    {"foundation/SLString", "foundation/SLPrintf", "foundation/SLTextConvert", "foundation/SLTranscoderSet",
     "foundation/SLTranscoder"},
    # The GUI window and its manager: the manager keeps and notifies windows, a window asks its
    # manager for focus, capture and the menu popup, and top-level windows and snapshots are windows.
    {"gui/SLGuiManager", "gui/SLGuiMenuPopup", "gui/SLGuiTopLevelWindow", "gui/SLGuiWindow",
     "gui/SLGuiWindowSnapshot"},
    # The movie player and the state its threads share.
    {"media/SLMoviePlayer", "media/SLMoviePlayerState"},
    # The MPEG audio decoder split by stage: each stage reads the decoder's frame state.
    {"media/mpeg/SLMpegAudioDecoder", "media/mpeg/SLMpegLayer3", "media/mpeg/SLMpegSubbands",
     "media/mpeg/SLMpegSynthesis"},
    # The text layout split by step: the line steps and the drawing loop share one layout record.
    {"gui/SLGuiText", "gui/SLGuiTextLayout"},
    # The movie document, its balloons and the scene render: a text element owns its balloon,
    # and the balloon's placement reads the element's rendered position.
    {"adventure/movie/Balloon", "adventure/movie/Movie", "adventure/movie/SceneRender"},
    # The input device and its per-device objects.
    {"platform/dinput8/DInput8", "platform/dinput8/Devices"},
]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def component(path):
    stem = os.path.splitext(path)[0]
    for suffix in SUFFIXES:
        if stem.endswith(suffix) and len(stem) > len(suffix) and os.path.basename(stem) != suffix:
            return stem[: -len(suffix)]
    return stem


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    files = {}
    for folder in FOLDERS:
        for base, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if name.endswith((".h", ".cpp", ".c")):
                    path = os.path.relpath(os.path.join(base, name), root)
                    with open(os.path.join(root, path), errors="replace") as f:
                        files[path] = f.read()
    graph = {}
    for path, text in files.items():
        source = component(path)
        for name in INCLUDE.findall(text):
            if name in files and component(name) != source:
                graph.setdefault(source, set()).add(component(name))

    # Tarjan's strongly connected components: every loop lies inside one.
    index, low, stack, on_stack, loops = {}, {}, [], set(), []
    counter = [0]
    sys.setrecursionlimit(10000)

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        for w in graph.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            members = set()
            while True:
                w = stack.pop()
                on_stack.discard(w)
                members.add(w)
                if w == v:
                    break
            if len(members) > 1:
                loops.append(members)

    for v in sorted(graph):
        if v not in index:
            visit(v)

    unexpected = 0
    for members in loops:
        known = any(members <= group for group in KNOWN)
        unexpected += not known
        print(("known loop: " if known else "LOOP: ") + ", ".join(sorted(members)))
        for a in sorted(members):
            for b in sorted(graph.get(a, ())):
                if b in members:
                    print(f"    {a} -> {b}")
    print(f"{len(loops)} loops, {unexpected} not known")
    return 1 if unexpected else 0


if __name__ == "__main__":
    sys.exit(main())
