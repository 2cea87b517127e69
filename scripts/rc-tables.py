#!/usr/bin/env python3
"""Writes the dialogs and strings of a resource script as C++ data.

Usage: rc-tables.py RC_FILE RESOURCE_H OUTPUT_CPP

Reads the part of the resource-script language res/zarv_settings.rc uses:
LANGUAGE, DIALOG and DIALOGEX with STYLE, EXSTYLE, CAPTION, FONT and
CONTROL statements, STRINGTABLE; ICON, VERSIONINFO and the application
manifest (CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST "file") are passed
over.
Anything else stops the build, so that nothing in the file is silently
left out. Numbers of names come from RESOURCE_H, style bits from the table
below; the Windows tests compare the compiled resources with the output,
so a wrong number here fails there.
"""

import re
import sys

# Windows' values of the names the script uses.
CONSTANTS = {
    "IDOK": 1, "IDCANCEL": 2,
    "LANG_NEUTRAL": 0, "SUBLANG_NEUTRAL": 0,
    "LANG_CHINESE": 0x04, "SUBLANG_CHINESE_TRADITIONAL": 0x01,
    "SUBLANG_CHINESE_SIMPLIFIED": 0x02,
    "WS_POPUP": 0x80000000, "WS_VISIBLE": 0x10000000, "WS_CAPTION": 0x00C00000,
    "WS_SYSMENU": 0x00080000, "WS_GROUP": 0x00020000, "WS_TABSTOP": 0x00010000,
    "WS_EX_APPWINDOW": 0x00040000,
    "DS_MODALFRAME": 0x80, "DS_SETFONT": 0x40, "DS_CENTER": 0x800,
    "BS_PUSHBUTTON": 0, "BS_DEFPUSHBUTTON": 1, "BS_AUTOCHECKBOX": 3, "BS_GROUPBOX": 7,
    "BS_AUTORADIOBUTTON": 9,
    "SS_LEFT": 0, "SS_ICON": 3, "SS_NOPREFIX": 0x80,
}

# (window class, type bits of the style) -> kind of control.
KINDS = {
    ("button", 1): "kDefPushButton", ("button", 0): "kPushButton",
    ("button", 9): "kAutoRadioButton", ("button", 3): "kAutoCheckBox",
    ("button", 7): "kGroupBox", ("static", 3): "kIcon", ("static", 0): "kText",
}
TYPE_MASK = {"button": 0x0F, "static": 0x1F}

TOKEN = re.compile(r'\s*(?:("(?:[^"\\]|"")*")|(-?(?:0x[0-9A-Fa-f]+|\d+))L?|(\w+)|([,|])|(//.*)|(\S))')


def fail(message):
    sys.exit(f"rc-tables: {message}")


def tokenize(line, where):
    """Strings as ("str", text), numbers as ("num", n), names and , | as themselves."""
    tokens = []
    for string, number, name, punct, _comment, other in TOKEN.findall(line):
        if other:
            fail(f"{where}: cannot read {line.strip()!r}")
        if string:
            tokens.append(("str", string[1:-1].replace('""', '"')))
        elif number:
            tokens.append(("num", int(number, 0)))
        elif name or punct:
            tokens.append(name or punct)
    return tokens


def args(tokens):
    """Comma-separated arguments, each a list of tokens."""
    result = [[]]
    for token in tokens:
        if token == ",":
            result.append([])
        else:
            result[-1].append(token)
    return result


class Script:
    def __init__(self, path, names):
        self.names, self.lines, self.pos = names, [], 0
        with open(path, encoding="utf-8") as rc:
            for number, text in enumerate(rc, 1):
                tokens = [] if text.lstrip().startswith("#") else tokenize(text, f"{path}:{number}")
                if tokens:
                    self.lines.append((f"{path}:{number}", tokens))

    def next(self):
        if self.pos == len(self.lines):
            fail("unexpected end of file")
        self.pos += 1
        self.where, tokens = self.lines[self.pos - 1]
        return tokens

    def number(self, tokens):
        """A | B | ... of names and numbers."""
        if not tokens:
            fail(f"{self.where}: a number is missing")
        result = 0
        for i, token in enumerate(tokens):
            if i % 2 == 1 and token == "|":
                continue
            if isinstance(token, tuple) and token[0] == "num" and i % 2 == 0:
                result |= token[1]
            elif isinstance(token, str) and i % 2 == 0 and token in {**CONSTANTS, **self.names}:
                result |= {**CONSTANTS, **self.names}[token]
            else:
                fail(f"{self.where}: cannot read the number at {token!r}")
        return result

    def text(self, tokens):
        if len(tokens) != 1 or not isinstance(tokens[0], tuple) or tokens[0][0] != "str":
            fail(f"{self.where}: expected one string")
        return tokens[0][1]

    def dialog(self, header, language):
        size = [self.number(arg) for arg in args(header[2:])]
        if len(size) != 4:
            fail(f"{self.where}: a dialog takes x, y, width, height")
        dialog = {"id": self.number(header[:1]), "language": language, "style": 0, "exStyle": 0,
                  "cx": size[2], "cy": size[3], "caption": "", "font": "", "pointSize": 0,
                  "controls": []}
        while (tokens := self.next()) != ["BEGIN"]:
            if tokens[0] in ("STYLE", "EXSTYLE"):
                dialog["style" if tokens[0] == "STYLE" else "exStyle"] |= self.number(tokens[1:])
            elif tokens[0] == "CAPTION":
                dialog["caption"] = self.text(tokens[1:])
            elif tokens[0] == "FONT" and len(args(tokens[1:])) == 2:
                points, face = args(tokens[1:])
                dialog["pointSize"], dialog["font"] = self.number(points), self.text(face)
                dialog["style"] |= CONSTANTS["DS_SETFONT"]
            else:
                fail(f"{self.where}: unsupported dialog statement")
        while (tokens := self.next()) != ["END"]:
            fields = args(tokens[1:])
            if tokens[0] != "CONTROL" or len(fields) != 8:
                fail(f"{self.where}: expected CONTROL text, id, class, style, x, y, cx, cy")
            window_class = self.text(fields[2]).lower()
            style = self.number(fields[3])
            kind = KINDS.get((window_class, style & TYPE_MASK.get(window_class, 0)))
            if kind is None:
                fail(f"{self.where}: unsupported control")
            icon = self.number(fields[0]) if kind == "kIcon" else 0
            dialog["controls"].append({
                "id": self.number(fields[1]), "kind": kind,
                "text": "" if icon else self.text(fields[0]), "icon": icon,
                "rect": [self.number(field) for field in fields[4:]],
                "typeStyle": style & 0xFFFF, "group": bool(style & CONSTANTS["WS_GROUP"]),
                "tabStop": bool(style & CONSTANTS["WS_TABSTOP"])})
        return dialog

    def read(self):
        dialogs, strings, language = [], [], None
        while self.pos < len(self.lines):
            tokens = self.next()
            if tokens[0] == "LANGUAGE" and len(args(tokens[1:])) == 2:
                primary, sub = (self.number(arg) for arg in args(tokens[1:]))
                language = (sub << 10) | primary
            elif tokens[1:2] in (["DIALOG"], ["DIALOGEX"]):
                dialogs.append(self.dialog(tokens, language))
            elif tokens == ["STRINGTABLE"] and self.next() == ["BEGIN"]:
                while (tokens := self.next()) != ["END"]:
                    strings.append({"id": self.number(tokens[:1]), "language": language,
                                    "text": self.text(tokens[1:])})
            elif tokens[1:2] == ["ICON"]:
                pass
            elif tokens[:2] == ["CREATEPROCESS_MANIFEST_RESOURCE_ID", "RT_MANIFEST"]:
                self.text(tokens[2:])  # the file's name and nothing else
            elif tokens[1:2] == ["VERSIONINFO"]:
                depth = 0  # up to the END of the first BEGIN
                while (tokens := self.next()) != ["END"] or depth > 1:
                    depth += (tokens == ["BEGIN"]) - (tokens == ["END"])
            else:
                fail(f"{self.where}: unsupported statement")
        return dialogs, strings


def read_names(path):
    names = {}
    with open(path, encoding="utf-8") as header:
        for line in header:
            match = re.match(r"\s*#define\s+(\w+)\s+\(?(-?(?:0x[0-9A-Fa-f]+|\d+))\)?\s*$", line)
            if match:
                names[match.group(1)] = int(match.group(2), 0)
    return names


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def cpp(dialogs, strings):
    out = ["// Generated from res/zarv_settings.rc by scripts/rc-tables.py: edit the resource script.",
           '#include "res/dialog_tables.h"', "", "namespace {", "", "using K = ControlKind;", ""]
    for index, dialog in enumerate(dialogs):
        out.append(f"constexpr ControlTemplate kControls{index}[] = {{")
        for c in dialog["controls"]:
            out.append(f"    {{{c['id']}, K::{c['kind']}, {c_string(c['text'])}, {c['icon']}, "
                       + "".join(f"{n}, " for n in c["rect"])
                       + f"0x{c['typeStyle']:04X}, {str(c['group']).lower()}, "
                       f"{str(c['tabStop']).lower()}}},")
        out.append("};")
    out += ["", "constexpr DialogTemplate kDialogs[] = {"]
    for index, d in enumerate(dialogs):
        out.append(f"    {{{d['id']}, 0x{d['language']:04X}, 0x{d['style']:08X}, "
                   f"0x{d['exStyle']:08X}, {d['cx']}, {d['cy']}, {c_string(d['caption'])}, "
                   f"{c_string(d['font'])}, {d['pointSize']}, kControls{index}}},")
    out += ["};", "", "constexpr StringTemplate kStrings[] = {"]
    for s in strings:
        out.append(f"    {{{s['id']}, 0x{s['language']:04X}, {c_string(s['text'])}}},")
    out += ["};", "", "}  // namespace", "",
            "std::span<const DialogTemplate> DialogTemplates() { return kDialogs; }", "",
            "std::span<const StringTemplate> StringTemplates() { return kStrings; }", ""]
    return "\n".join(out)


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    text = cpp(*Script(argv[1], read_names(argv[2])).read())
    with open(argv[3], "w", encoding="utf-8") as output:
        output.write(text)


if __name__ == "__main__":
    main(sys.argv)
