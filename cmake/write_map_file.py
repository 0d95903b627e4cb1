#!/usr/bin/env python3
"""Writes the detailed map file the error report reads to resolve fault addresses.

Usage: write_map_file.py MODULE LINKER_MAP OUTPUT BINUTILS_PREFIX

MODULE still carries its DWARF line tables. Units (segments) come from the linker's own map
(the object file that contributed each part of .text), publics from nm, line numbers from the
decoded DWARF line table; every offset is relative to the start of .text, segment 0001.
"""
import os
import re
import subprocess
import sys


def run(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def unit_name(path):
    name = os.path.basename(path.rstrip(")"))
    if "(" in name:  # archive member: libx.a(unit.cpp.obj)
        name = name.split("(")[-1]
    return name.split(".")[0]


def text_start(prefix, module):
    for line in run(prefix + "objdump", "-h", module).splitlines():
        fields = line.split()
        if len(fields) >= 4 and fields[1] == ".text":
            return int(fields[3], 16), int(fields[2], 16)
    sys.exit("no .text section in " + module)


def address_digits(prefix, module):
    # A 64-bit module's addresses take 16 digits; offsets within it still fit in 8.
    return 16 if "pei-x86-64" in run(prefix + "objdump", "-f", module) else 8


def segments(linker_map, start, size):
    # Input sections of .text: " .text  0xADDRESS  0xSIZE object", the name and the numbers
    # sometimes on two lines when the section name is long.
    found, pending = [], None
    with open(linker_map, errors="replace") as lines:
        for line in lines:
            m = re.match(r"^ (\.text\S*)\s*$", line)
            if m:
                pending = m.group(1)
                continue
            m = re.match(r"^ (\.text\S*)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            if m and (m.group(1) or pending):
                address, length = int(m.group(2), 16), int(m.group(3), 16)
                if length and start <= address < start + size:
                    found.append((address - start, unit_name(m.group(4).strip())))
            pending = None
    found.sort()
    merged = []
    for offset, unit in found:
        if not merged or merged[-1][1] != unit:
            merged.append((offset, unit))
    return merged


def publics(prefix, module, start, size):
    result = []
    for line in run(prefix + "nm", "-C", "--defined-only", module).splitlines():
        m = re.match(r"^([0-9a-f]+) [Tt] (.+)$", line)
        if m:
            address = int(m.group(1), 16)
            if start <= address < start + size:
                result.append((address - start, m.group(2)))
    return result


def line_numbers(prefix, module, start, size):
    # Decoded rows: "file  line  address  [view]  [stmt]"; rows are grouped by source file.
    units = {}
    for line in run(prefix + "objdump", "--dwarf=decodedline", module).splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[1].isdigit() and fields[2].startswith("0x"):
            address = int(fields[2], 16)
            if start <= address < start + size and int(fields[1]) > 0:
                units.setdefault(fields[0], set()).add((address - start, int(fields[1])))
    return units


def main():
    module, linker_map, output, prefix = sys.argv[1:5]
    start, size = text_start(prefix, module)
    out = [" Start         Length     Name                   Class",
           " 0001:%0*X %08XH .text                   CODE" % (address_digits(prefix, module), start, size), "",
           "Detailed map of segments", ""]
    segs = segments(linker_map, start, size)
    for index, (offset, unit) in enumerate(segs):
        end = segs[index + 1][0] if index + 1 < len(segs) else size
        line = " 0001:%08X %08X C=CODE     S=.text    G=(none)   M=" % (offset, end - offset)
        out.append(line.ljust(59) + unit + " ACBP=A9")
    syms = publics(prefix, module, start, size)
    out += ["", "", "  Address         Publics by Name", ""]
    out += [" 0001:%08X       %s" % (offset, name) for offset, name in sorted(syms, key=lambda s: s[1])]
    out += ["", "", "  Address         Publics by Value", ""]
    out += [" 0001:%08X       %s" % (offset, name) for offset, name in sorted(syms)]
    out.append("")
    for source, rows in sorted(line_numbers(prefix, module, start, size).items()):
        out += ["", "Line numbers for %s(%s) segment .text" % (unit_name(source), source), ""]
        groups = [" %5d 0001:%08X" % (number % 100000, offset) for offset, number in sorted(rows)]
        out += ["".join(groups[i:i + 4]) for i in range(0, len(groups), 4)]
    out += ["", "Bound resource files", ""]
    with open(output, "w", newline="\r\n") as f:
        f.write("\n".join(out))


main()
