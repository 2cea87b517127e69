#!/usr/bin/env python3
"""Exec and Path of a desktop entry as the desktop entry format reads them:
the string escapes, then arguments split at blanks, double quotes grouping
and, inside them, a backslash taking the next character. Prints Path and the
arguments, each ended by a NUL.

    desktop_exec.py ENTRY
"""
import sys
keys = {}
for line in open(sys.argv[1], encoding="utf-8").read().splitlines():
    key, sep, value = line.partition("=")
    if sep and key in ("Exec", "Path"):
        keys[key] = value
def unescape(value):
    out, chars = [], iter(value)
    for c in chars:
        out.append({"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(next(chars), "?")
                   if c == "\\" else c)
    return "".join(out)
args, arg, quoted, chars = [], None, False, iter(unescape(keys["Exec"]))
for c in chars:
    if quoted and c == "\\":
        arg.append(next(chars))
    elif c == '"':
        quoted, arg = not quoted, arg if arg is not None else []
    elif c == " " and not quoted:
        if arg is not None:
            args.append("".join(arg))
        arg = None
    else:
        arg = (arg or []) + [c]
if arg is not None:
    args.append("".join(arg))
if quoted or any("%" in a for a in args):
    sys.exit(f"unexpected Exec: {keys['Exec']}")
sys.stdout.write("\0".join([unescape(keys.get("Path", ""))] + args) + "\0")
