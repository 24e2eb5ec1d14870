#!/usr/bin/env python3
"""Finds direct calls from the framework's libraries into platform/.

The framework reaches the system by binding entry points by name; only the few calls
under the binder itself (platform/README.md, "The seam") are linked directly. This reads
the undefined symbols of every framework library with nm, keeps those platform/ defines,
and reports each one that its object file is not allowed to call. Exit status 1 when
there is one.

    tools/checks/check_platform_calls.py <build dir>
"""
import os
import re
import subprocess
import sys

LIBRARIES = ["foundation", "storage", "image", "mediareader", "gamesystem", "media", "gui", "adventure", "app"]

# Object file (source name) -> entry points it may call directly; the same table as the
# seam in platform/README.md.
ALLOWED = {
    "SLLibrary.cpp": {"GetModuleHandleA", "SLPlatformFindExport", "SLPlatformIsBeingTraced",
                      "SLPlatformSetLastError", "GetSystemInfo"},
    "SLSync.cpp": {"InitializeCriticalSection", "DeleteCriticalSection", "EnterCriticalSection",
                   "LeaveCriticalSection", "TryEnterCriticalSection", "CreateEventA", "SetEvent",
                   "ResetEvent", "Sleep", "SwitchToThread", "QueryPerformanceCounter",
                   "QueryPerformanceFrequency", "GetTickCount"},
    "SLThread.cpp": {"InitializeCriticalSection", "DeleteCriticalSection", "EnterCriticalSection",
                     "LeaveCriticalSection", "TryEnterCriticalSection", "CreateEventA", "SetEvent",
                     "ResetEvent", "Sleep", "SwitchToThread", "SuspendThread", "_beginthreadex",
                     "QueryPerformanceCounter", "QueryPerformanceFrequency", "GetTickCount"},
    "SLPooledAlloc.cpp": {"VirtualAlloc", "VirtualFree", "SLPlatformPageSize", "SLPlatformMovePages",
                          "HeapAlloc", "HeapReAlloc", "HeapFree", "HeapSize", "GetProcessHeap"},
    "SLPooledArena.cpp": {"VirtualAlloc", "VirtualFree", "SLPlatformPageSize",
                          "HeapAlloc", "HeapReAlloc", "HeapFree", "HeapSize", "GetProcessHeap"},
    # The window manager stamps its timers and input with the same millisecond tick the
    # system's messages carry.
    "SLGuiManager.cpp": {"GetTickCount"},
    "SLGuiManagerFocus.cpp": {"GetTickCount"},
    "SLGuiManagerInput.cpp": {"GetTickCount"},
    # The edit's caret and the grid's cursor cell blink by that same tick.
    "SLGuiEditDraw.cpp": {"GetTickCount"},
    "SLGuiGridDraw.cpp": {"GetTickCount"},
}

LINE = re.compile(r"^(?P<archive>[^:]+):(?P<object>[^:]+):\s+(?P<kind>\S)\s+(?P<name>.+)$")


def nm(args):
    return subprocess.run(["nm", "-C", *args], check=True, capture_output=True, text=True).stdout


def bare(name):
    """The function name of a demangled symbol: no parameters, no namespace of the C++ ABI."""
    return name.split("(", 1)[0].strip()


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1].strip())
        return 2
    build = sys.argv[1]
    platform = os.path.join(build, "platform", "libsl_platform.a")
    defined = set()
    for line in nm(["-g", "--defined-only", platform]).splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[1] in "TWDBRV":
            defined.add(bare(parts[2]))
    if not defined:
        print(f"no symbols read from {platform}")
        return 2

    checked = faults = 0
    for library in LIBRARIES:
        archive = os.path.join(build, f"libsl_{library}.a")
        if not os.path.exists(archive):
            continue
        checked += 1
        for line in nm(["-A", "-u", archive]).splitlines():
            match = LINE.match(line)
            if not match:
                continue
            name = bare(match["name"])
            # The allocation operators the sanitizer builds route to the process heap are
            # the language's, not entry points.
            if name.startswith("operator"):
                continue
            source = match["object"].removesuffix(".o")
            if name in defined and name not in ALLOWED.get(source, ()):
                print(f"{library}: {source} calls {name} directly")
                faults += 1
    if checked == 0:
        print(f"no framework library in {build}")
        return 2
    print(f"{checked} libraries, {faults} direct platform calls not allowed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
