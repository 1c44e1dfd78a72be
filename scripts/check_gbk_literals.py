#!/usr/bin/env python3
"""Checks that the converted copies clang compiles hold the same literal bytes
GCC makes with -fexec-charset=GBK.

  scripts/check_gbk_literals.py BUILD_DIR [SOURCE_FILTER]

BUILD_DIR is a clang build (its compile_commands.json). Every source it
compiles with GBK literals is compiled twice by GCC with the same options:
as it stands with -fexec-charset=GBK, and as the converted copy
(scripts/gbk_literals.py) without it. The data sections of the two objects
(.rodata*, .data*) must be byte for byte the same. Prints one line per
source and exits 1 on any difference.
"""

import json
import re
import os
import shlex
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gbk_literals  # noqa: E402

# Options only clang or only the sanitizer build knows, left out for GCC.
DROP_PREFIXES = ("-fsanitize", "-fno-sanitize", "-fcolor-diagnostics", "-fdiagnostics-color")


def sections(obj):
    """Data sections of an ELF64 object: name -> bytes."""
    with open(obj, "rb") as f:
        data = f.read()
    shoff, = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)
    heads = []
    for i in range(shnum):
        off = shoff + i * shentsize
        name, stype, flags, addr, offset, size = struct.unpack_from("<IIQQQQ", data, off)
        heads.append((name, stype, offset, size))
    strtab = heads[shstrndx]
    names = data[strtab[2]:strtab[2] + strtab[3]]
    out = {}
    for name, stype, offset, size in heads:
        n = names[name:names.index(b"\0", name)].decode()
        if n.startswith((".rodata", ".data")) and stype != 8:  # 8: NOBITS
            out[n] = out.get(n, b"") + data[offset:offset + size]
    return out


def _spelled(data):
    """`data` with every spelled-out octal escape (backslash and three octal
    digits, as the # operator writes a converted literal) turned back into
    its byte."""
    data = re.sub(rb"\\([0-3][0-7][0-7])", lambda m: bytes([int(m.group(1), 8)]), data)
    return re.sub(rb"\0+", b"\0", data)  # the strings' alignment padding shifts with their lengths


def _assertion_texts_aside(sections_, copy):
    """The data sections as lists of their zero-ended strings, leaving out
    the texts a macro makes of its own arguments when they hold a u8, u, U
    or L literal (GCC turns such a text into GBK as a whole, the copy keeps
    the prefixed literal as it is), and, for the copy, with the escapes the
    # operator spells out turned back into bytes."""
    out = {}
    for name, data in sections_.items():
        chunks = [c for c in re.split(rb"\0+", data) if c]
        if copy:
            chunks = [_spelled(c) for c in chunks]
        out[name] = [c for c in chunks if not re.search(rb'(?:\bu8|\bu|\bU|\bL)\\?"', c)]
    return out


def gcc_command(entry, source, obj, gbk):
    args = shlex.split(entry["command"]) if "command" in entry else list(entry["arguments"])
    # The launcher and the compiler come first.
    while args and not args[0].endswith(("clang++", "c++", "g++", "clang++-14")):
        args.pop(0)
    out = ["g++"]
    skip = False
    for i, a in enumerate(args[1:], 1):
        if skip:
            skip = False
            continue
        if a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a in ("-c", "-MD", "-MMD") or a.startswith(DROP_PREFIXES) or a.startswith(("-fexec-charset", "-finput-charset")):
            continue
        if a == entry["file"] or os.path.abspath(os.path.join(entry["directory"], a)) == os.path.abspath(entry["file"]):
            continue
        out.append(a)
    out += ["-g0", "-O0", "-w"]
    if gbk:
        out += ["-finput-charset=UTF-8", "-fexec-charset=GBK"]
    else:
        out += ["-iquote", os.path.dirname(os.path.abspath(entry["file"]))]
    return out + ["-c", source, "-o", obj]


def main():
    build = os.path.abspath(sys.argv[1])
    only = sys.argv[2] if len(sys.argv) > 2 else ""
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    failed = 0
    checked = 0
    spelled = 0
    with tempfile.TemporaryDirectory(dir=build) as tmp:
        for entry in entries:
            cmd = entry.get("command", " ".join(entry.get("arguments", [])))
            charsets = [a for a in shlex.split(cmd) if a.startswith("-fexec-charset=")]
            if not charsets or charsets[-1].split("=")[1].upper() != "GBK":
                continue
            src = entry["file"]
            if only and only not in src:
                continue
            with open(src, encoding="utf-8") as f:
                if all(ord(c) < 0x80 for c in f.read()):
                    continue  # nothing to convert
            copy = os.path.join(tmp, "copy.cpp")
            gbk_literals.convert_to(src, copy)
            a, b = os.path.join(tmp, "gcc.o"), os.path.join(tmp, "copy.o")
            r1 = subprocess.run(gcc_command(entry, src, a, True), cwd=entry["directory"], capture_output=True, text=True)
            r2 = subprocess.run(gcc_command(entry, copy, b, False), cwd=entry["directory"], capture_output=True, text=True)
            if r1.returncode or r2.returncode:
                print("FAIL %s: GCC could not compile it\n%s%s" % (src, r1.stderr[-2000:], r2.stderr[-2000:]))
                failed += 1
                continue
            sa, sb = sections(a), sections(b)
            checked += 1
            if sa != sb and _assertion_texts_aside(sa, False) == _assertion_texts_aside(sb, True):
                # A macro that prints its own arguments (a test assertion)
                # shows a converted literal with its escapes spelled out.
                print("same %s, but for the texts assertions make of their own arguments" % os.path.relpath(src))
                spelled += 1
                continue
            if sa != sb:
                diff = sorted(k for k in set(sa) | set(sb) if sa.get(k) != sb.get(k))
                print("FAIL %s: data sections differ: %s" % (src, ", ".join(diff)))
                failed += 1
            else:
                print("same %s (%d bytes of data)" % (os.path.relpath(src), sum(len(v) for v in sa.values())))
    print("%d sources checked, %d differ, %d differ only in the texts assertions make of their own arguments" %
          (checked, failed, spelled))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
