#!/usr/bin/env python3
"""What NorvaQuillet.exe is made of, from the link map lld writes beside it.

    python3 scripts/lib/windows/link-map-sizes.py [BUILD] [--top N] [--match REGEX]

Prints the bytes each library and each object file puts into the exe of the cross build in BUILD (default
build-win), debugging information left out, so what the stripped exe holds: the N (default 30) largest
object files, or all those whose name matches REGEX and their sum. lld's map names an archive member without
its archive, so the archives the link command names are read to tell the libraries apart; what comes from
none of them (the C++ and MinGW runtimes, resources, main.cpp) counts as "other".
"""
import argparse
import collections
import os
import re
import subprocess

# lld's map: "Address Size Align Out In Symbol", each column indented one step (8 characters) further.
LINE = re.compile(r"^([0-9a-f]+) ([0-9a-f]+) +\d+ (.*)$")


def object_sizes(path):
    sizes, section = collections.Counter(), ""
    with open(path, errors="replace") as lines:
        for line in lines:
            match = LINE.match(line)
            if not match:
                continue
            size, rest = int(match.group(2), 16), match.group(3)
            depth = len(rest) - len(rest.lstrip(" "))
            if depth == 0:
                section = rest.strip()
            elif depth == 8 and size and not section.startswith(".debug"):
                sizes[os.path.basename(rest.strip().rsplit(":(", 1)[0])] += size
    return sizes


def archive_of(archives):
    owner = {}
    for archive in archives:
        members = subprocess.run(["x86_64-w64-mingw32-ar", "t", archive], check=True, capture_output=True,
                                 text=True).stdout.split()
        for member in members:
            # A name two archives share (main.cpp.obj, say) cannot be told apart in the map.
            owner[member] = "(several)" if owner.get(member, archive) != archive else archive
    return owner


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", nargs="?", default="build-win")
    parser.add_argument("--top", type=int, default=30)
    parser.add_argument("--match")
    args = parser.parse_args()
    sizes = object_sizes(os.path.join(args.build, "src/app/NorvaQuillet.map"))
    link = subprocess.run(["ninja", "-C", args.build, "-t", "commands", "src/app/NorvaQuillet.exe"], check=True,
                          capture_output=True, text=True).stdout.splitlines()[-1]
    archives = [os.path.join(args.build, a) for a in link.split()
                if a.endswith(".a") and not a.startswith(("-", "/usr/"))]
    owner, libraries = archive_of(a for a in archives if os.path.exists(a)), collections.Counter()
    for name, size in sizes.items():
        libraries[os.path.basename(owner.get(name, "other (runtimes, resources)"))] += size
    print(f"{sum(sizes.values()) // 1024:8} KiB in all")
    for name, size in libraries.most_common():
        print(f"{size // 1024:8} KiB {name}")
    print()
    if args.match:
        matching = [(n, s) for n, s in sizes.most_common() if re.search(args.match, n)]
        for name, size in matching:
            print(f"{size // 1024:8} KiB {name}")
        print(f"{sum(s for _, s in matching) // 1024:8} KiB match {args.match}")
    else:
        for name, size in sizes.most_common(args.top):
            print(f"{size // 1024:8} KiB {name}")


if __name__ == "__main__":
    main()
