#!/usr/bin/env python3
"""Prints the delay-loaded imports of a 32-bit PE file, one "dll:function" a
line (the DLL's name in lower case, an ordinal as "#N").

objdump does not list them, and the linker need not record them in the
delay-import data directory (GNU ld 2.40 leaves it empty for dlltool's
delay-import libraries), so the image's sections are searched for the
descriptors themselves: eight 32-bit fields, the first 1 (the others are
RVAs), with the RVAs of the DLL's name, its handle, its import address
table and its table of function names.

Usage: delay_imports.py PROGRAM.exe
"""

import struct
import sys


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        count, = struct.unpack_from("<H", data, pe + 6)
        optional_size, = struct.unpack_from("<H", data, pe + 20)
        self.size, = struct.unpack_from("<I", data, pe + 24 + 56)  # SizeOfImage
        self.directories = pe + 24 + 96  # the data directory of a PE32 header
        self.sections = []  # (RVA, bytes in the file, file offset)
        for i in range(count):
            vsize, rva, raw_size, raw = struct.unpack_from("<4I", data, pe + 24 + optional_size + 40 * i + 8)
            self.sections.append((rva, min(vsize, raw_size) if vsize else raw_size, raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        return None

    def name(self, rva):
        """The printable ASCII text at rva, or None."""
        at = self.offset(rva)
        if at is None:
            return None
        end = self.data.find(b"\0", at, at + 256)
        if end <= at:  # no end, or empty
            return None
        text = self.data[at:end].decode("latin-1")
        return text if text.isascii() and text.isprintable() else None

    def functions(self, rva):
        """The functions of a name table at rva, or None if it is not one."""
        result, at = [], self.offset(rva)
        while at is not None and at + 4 <= len(self.data) and len(result) < 4096:
            thunk, = struct.unpack_from("<I", self.data, at)
            if thunk == 0:
                return result or None
            name = f"#{thunk & 0xFFFF}" if thunk & 0x80000000 else self.name(thunk + 2)  # after the hint
            if name is None:
                return None
            result.append(name)
            at += 4
        return None

    def delay_imports(self):
        for _start, size, raw in self.sections:
            for at in range(raw, raw + size - 31, 4):
                attributes, dll, handle, iat, names, _bound, _unload, _time = struct.unpack_from("<8I", self.data, at)
                if attributes != 1 or not all(0 < rva < self.size for rva in (dll, handle, iat, names)):
                    continue
                dll_name = self.name(dll)
                functions = self.functions(names)
                if dll_name and dll_name.lower().endswith(".dll") and functions:
                    yield from (f"{dll_name.lower()}:{function}" for function in functions)


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    with open(argv[1], "rb") as program:
        for entry in Image(program.read()).delay_imports():
            print(entry)


if __name__ == "__main__":
    main(sys.argv)
