#!/usr/bin/env python3
"""Checks the built plug-in DLL as a host and the error report will meet it, without running it.

Usage: check_plugin_module.py DLL MAP BINUTILS_PREFIX MACHINE VERSION

MACHINE is i386 or x86-64. Checked: the PE format and machine; exactly the two exports, by
their plain names; large-address-aware (32-bit); the map beside it placing .text and the
exports where the DLL has them; no test equipment (the modal and message-box drivers, the
simulated user's key state, the headless backend, anything of tests/equipment) in the map or
the DLL's symbol table; the version resource with VERSION as file and product version.
Prints each finding and exits 1 if any check failed.
"""
import re
import struct
import subprocess
import sys

passed, failed = [], []

# Names of the test equipment and of the headless backend, which the DLL must not contain: a
# public or a unit whose name holds one of them means a test library went into the module.
TEST_EQUIPMENT = ["SetModalDriver", "TakeModalDriver", "SimulatedShift", "ShownMessages",
                  "SetMessageBoxDriver", "RunPendingDriver", "headless", "user_input", "user_win32",
                  "user_headless", "equipment"]


def check(ok, what):
    print(("ok      " if ok else "FAILED  ") + what)
    (passed if ok else failed).append(what)


def run(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def plain(name):
    # A 32-bit stdcall symbol reads _Name@N in the symbol table.
    return re.sub(r"@\d+$", "", name.lstrip("_"))


def exports(private_headers):
    # "[Ordinal/Name Pointer] Table" lists "[index] name"; the export address table before it
    # lists "[index] +base[ordinal] RVA Export RVA" in the same order of indices.
    rvas = {int(i): int(rva, 16) for i, rva in
            re.findall(r"^\s*\[\s*(\d+)\] \+base\[\s*\d+\]\s+([0-9a-f]+) Export RVA", private_headers, re.M)}
    table = private_headers.split("[Ordinal/Name Pointer] Table", 1)[-1]
    names = re.findall(r"^\s*\[\s*(\d+)\] (\S+)\s*$", table, re.M)
    return {name: rvas.get(int(i)) for i, name in names}


def equipment_in(text):
    lowered = text.lower()
    return sorted(name for name in TEST_EQUIPMENT if name.lower() in lowered)


def version_resource(objdump, dll):
    try:
        dump = run(objdump, "-s", "-j", ".rsrc", dll)
    except subprocess.CalledProcessError:  # no resource section at all
        return None
    data = bytearray()
    for line in dump.splitlines():
        m = re.match(r"^ [0-9a-f]+ ((?:[0-9a-f]{2,8} ?){1,4})", line)
        if m:
            data += bytes.fromhex(m.group(1).replace(" ", ""))
    at = data.find("VS_VERSION_INFO".encode("utf-16-le"))
    if at < 0:
        return None
    fixed = data.find(struct.pack("<I", 0xFEEF04BD), at)
    if fixed < 0:
        return None
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, fixed + 8)
    return file_ms, file_ls, product_ms, product_ls


def main():
    dll, map_file, prefix, machine, version = sys.argv[1:6]
    objdump = prefix + "objdump"
    file_header = run(objdump, "-f", dll)
    check(("file format pei-" + machine) in file_header, "a PE file for " + machine)

    headers = run(objdump, "-p", dll)
    found = exports(headers)
    check(sorted(found) == ["ProcessImage", "RegisterPlugin"],
          "exports exactly ProcessImage and RegisterPlugin, undecorated (found %s)" % sorted(found))
    if machine == "i386":
        check("large address aware" in headers, "large-address-aware")

    image_base = int(re.search(r"^ImageBase\s+([0-9a-f]+)", headers, re.M).group(1), 16)
    text = next(line.split() for line in run(objdump, "-h", dll).splitlines()
                if len(line.split()) > 3 and line.split()[1] == ".text")
    text_size, text_start = int(text[2], 16), int(text[3], 16)
    with open(map_file, newline="") as f:
        map_text = f.read().replace("\r\n", "\n")
    segment = re.search(r"^ 0001:([0-9A-F]+) ([0-9A-F]{8})H \.text", map_text, re.M)
    digits = 16 if machine == "x86-64" else 8
    check(segment is not None and len(segment.group(1)) == digits and int(segment.group(1), 16) == text_start
          and int(segment.group(2), 16) == text_size,
          "the map places .text at %0*X, %08X bytes, as the DLL has it" % (digits, text_start, text_size))
    publics = {plain(name): int(offset, 16) for offset, name in
               re.findall(r"^ 0001:([0-9A-F]{8})       (\S+)$", map_text, re.M)}
    for name, rva in sorted(found.items()):
        expected = rva + image_base - text_start if rva is not None else None
        check(publics.get(name) == expected, "the map places %s where the DLL exports it" % name)

    # Mangled names hold the plain ones ("_ZN7toolkit14SetModalDriver..."); so do the units.
    # The map has the code; the DLL's symbol table has its data too.
    check(not equipment_in(map_text), "the map lists no test equipment (found %s)" % ", ".join(equipment_in(map_text)))
    symbols = run(prefix + "nm", dll)
    check(not equipment_in(symbols), "the DLL's symbols name no test equipment (found %s)" % ", ".join(equipment_in(symbols)))

    major, minor, patch = (int(part) for part in version.split("."))
    expected = (major << 16 | minor, patch << 16)
    resource = version_resource(objdump, dll)
    check(resource is not None and resource[0:2] == expected and resource[2:4] == expected,
          "the version resource names file and product version %s" % version)

    print("%d passed, %d failed" % (len(passed), len(failed)))
    sys.exit(1 if failed else 0)


main()
