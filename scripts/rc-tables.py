#!/usr/bin/env python3
"""Writes the dialogs and strings of a resource script as C++ data.

Usage: rc-tables.py RC_FILE RESOURCE_H OUTPUT_CPP

Reads the part of the resource-script language that res/zarv_settings.rc
uses: LANGUAGE, DIALOG and DIALOGEX with STYLE, EXSTYLE, CAPTION, FONT and
CONTROL statements, STRINGTABLE; ICON and VERSIONINFO are passed over.
Anything else stops the build, so that nothing in the file is silently left
out. The numbers of names come from RESOURCE_H, the style bits from the
table below; the tests compare the compiled Windows resources against the
output, so a wrong number here fails there.
"""

import re
import sys

# Windows' values of the names the script uses.
CONSTANTS = {
    "IDOK": 1, "IDCANCEL": 2,
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

TOKEN = re.compile(r'\s*(?:("(?:[^"]|"")*")|([A-Za-z_][A-Za-z0-9_]*)|(-?(?:0x[0-9A-Fa-f]+|\d+)L?)'
                   r'|([,|()]))')


class RcError(Exception):
    pass


def tokenize(line, where):
    tokens, pos = [], 0
    line = line.rstrip()
    while pos < len(line):
        if line.startswith("//", pos) or line[pos:].strip().startswith("//"):
            break
        match = TOKEN.match(line, pos)
        if not match:
            raise RcError(f"{where}: cannot read {line[pos:]!r}")
        string, name, number, punct = match.groups()
        if string is not None:
            if "\\" in string:
                raise RcError(f"{where}: escapes in strings are not supported")
            tokens.append(("str", string[1:-1].replace('""', '"')))
        elif name is not None:
            tokens.append(("name", name))
        elif number is not None:
            tokens.append(("num", int(number.rstrip("L"), 0)))
        else:
            tokens.append(("punct", punct))
        pos = match.end()
    return tokens


class Reader:
    def __init__(self, path, names):
        self.names = names
        self.lines = []
        with open(path, encoding="utf-8") as rc:
            for number, text in enumerate(rc, 1):
                if text.lstrip().startswith("#"):
                    continue
                tokens = tokenize(text, f"{path}:{number}")
                if tokens:
                    self.lines.append((f"{path}:{number}", tokens))
        self.pos = 0

    def next(self):
        if self.pos >= len(self.lines):
            raise RcError("unexpected end of file")
        self.pos += 1
        return self.lines[self.pos - 1]

    def value(self, token, where):
        kind, value = token
        if kind == "num":
            return value
        if kind == "name" and value in self.names:
            return self.names[value]
        if kind == "name" and value in CONSTANTS:
            return CONSTANTS[value]
        raise RcError(f"{where}: unknown name or value {value!r}")

    def expression(self, tokens, where):
        """A | B | ... of names and numbers."""
        result = 0
        for i, token in enumerate(tokens):
            if i % 2 == 1:
                if token != ("punct", "|"):
                    raise RcError(f"{where}: expected '|'")
                continue
            result |= self.value(token, where)
        return result

    def expect(self, word):
        where, tokens = self.next()
        if tokens != [("name", word)]:
            raise RcError(f"{where}: expected {word}")


def split_args(tokens, where):
    """Comma-separated arguments, each a list of tokens."""
    args = [[]]
    for token in tokens:
        if token == ("punct", ","):
            args.append([])
        else:
            args[-1].append(token)
    if any(not arg for arg in args):
        raise RcError(f"{where}: empty argument")
    return args


def read_dialog(reader, header, where, language):
    args = split_args(header[2:], where)
    if len(args) != 4:
        raise RcError(f"{where}: a dialog takes x, y, width, height")
    _, _, cx, cy = (reader.value(arg[0], where) for arg in args)
    dialog = {"id": reader.value(header[0], where), "language": language, "style": 0,
              "exStyle": 0, "cx": cx, "cy": cy, "caption": "", "font": "", "pointSize": 0,
              "controls": []}
    while True:
        where, tokens = reader.next()
        word = tokens[0][1]
        if word == "BEGIN":
            break
        if word == "STYLE":
            dialog["style"] = reader.expression(tokens[1:], where)
        elif word == "EXSTYLE":
            dialog["exStyle"] = reader.expression(tokens[1:], where)
        elif word == "CAPTION" and len(tokens) == 2 and tokens[1][0] == "str":
            dialog["caption"] = tokens[1][1]
        elif word == "FONT" and len(tokens) == 4 and tokens[3][0] == "str":
            dialog["pointSize"] = reader.value(tokens[1], where)
            dialog["font"] = tokens[3][1]
            dialog["style"] |= CONSTANTS["DS_SETFONT"]
        else:
            raise RcError(f"{where}: unsupported dialog statement {word}")
    while True:
        where, tokens = reader.next()
        if tokens == [("name", "END")]:
            return dialog
        if tokens[0] != ("name", "CONTROL"):
            raise RcError(f"{where}: only CONTROL statements are supported in a dialog")
        args = split_args(tokens[1:], where)
        if len(args) != 8 or args[2][0][0] != "str":
            raise RcError(f"{where}: CONTROL text, id, class, style, x, y, width, height")
        window_class = args[2][0][1].lower()
        style = reader.expression(args[3], where)
        type_bits = style & TYPE_MASK.get(window_class, 0)
        kind = KINDS.get((window_class, type_bits))
        if kind is None:
            raise RcError(f"{where}: unsupported control {window_class} {type_bits}")
        text, icon = "", 0
        if args[0][0][0] == "str":
            text = args[0][0][1]
        elif kind == "kIcon":
            icon = reader.value(args[0][0], where)
        else:
            raise RcError(f"{where}: a control's text must be a string")
        dialog["controls"].append({
            "id": reader.value(args[1][0], where) if len(args[1]) == 1
            else reader.expression(args[1], where),
            "kind": kind, "text": text, "icon": icon,
            "rect": [reader.value(arg[0], where) for arg in args[4:]],
            "typeStyle": style & 0xFFFF,
            "group": bool(style & CONSTANTS["WS_GROUP"]),
            "tabStop": bool(style & CONSTANTS["WS_TABSTOP"]),
        })


def skip_block(reader):
    """Everything up to the END that closes the next BEGIN."""
    depth = None
    while depth != 0:
        _, tokens = reader.next()
        if tokens == [("name", "BEGIN")]:
            depth = (depth or 0) + 1
        elif tokens == [("name", "END")]:
            depth -= 1


def read_rc(path, names):
    reader = Reader(path, names)
    dialogs, strings, language = [], [], None
    while reader.pos < len(reader.lines):
        where, tokens = reader.next()
        words = [value for kind, value in tokens if kind == "name"]
        if tokens[0] == ("name", "LANGUAGE"):
            primary, sub = (reader.value(arg[0], where) for arg in split_args(tokens[1:], where))
            language = (sub << 10) | primary
        elif len(tokens) >= 2 and tokens[1] in (("name", "DIALOG"), ("name", "DIALOGEX")):
            dialogs.append(read_dialog(reader, tokens, where, language))
        elif tokens == [("name", "STRINGTABLE")]:
            reader.expect("BEGIN")
            while True:
                where, tokens = reader.next()
                if tokens == [("name", "END")]:
                    break
                if len(tokens) != 2 or tokens[1][0] != "str":
                    raise RcError(f"{where}: a string is a name and a text")
                strings.append({"id": reader.value(tokens[0], where), "language": language,
                                "text": tokens[1][1]})
        elif len(tokens) == 3 and tokens[1] == ("name", "ICON"):
            pass
        elif len(words) >= 2 and words[1] == "VERSIONINFO":
            skip_block(reader)
        else:
            raise RcError(f"{where}: unsupported statement")
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


def write_cpp(dialogs, strings, rc_name):
    out = [f"// Generated from {rc_name} by scripts/rc-tables.py: edit the resource script.",
           '#include "res/dialog_tables.h"', "", "namespace {", "", "using K = ControlKind;", ""]
    for index, dialog in enumerate(dialogs):
        out.append(f"constexpr ControlTemplate kControls{index}[] = {{")
        for c in dialog["controls"]:
            x, y, cx, cy = c["rect"]
            out.append(f"    {{{c['id']}, K::{c['kind']}, {c_string(c['text'])}, {c['icon']}, "
                       f"{x}, {y}, {cx}, {cy}, 0x{c['typeStyle']:04X}, "
                       f"{str(c['group']).lower()}, {str(c['tabStop']).lower()}}},")
        out.append("};")
    out.append("")
    out.append("constexpr DialogTemplate kDialogs[] = {")
    for index, d in enumerate(dialogs):
        out.append(f"    {{{d['id']}, 0x{d['language']:04X}, 0x{d['style']:08X}, "
                   f"0x{d['exStyle']:08X}, {d['cx']}, {d['cy']}, {c_string(d['caption'])}, "
                   f"{c_string(d['font'])}, {d['pointSize']}, kControls{index}}},")
    out.append("};")
    out.append("")
    out.append("constexpr StringTemplate kStrings[] = {")
    for s in strings:
        out.append(f"    {{{s['id']}, 0x{s['language']:04X}, {c_string(s['text'])}}},")
    out += ["};", "", "}  // namespace", "",
            "std::span<const DialogTemplate> DialogTemplates() { return kDialogs; }", "",
            "std::span<const StringTemplate> StringTemplates() { return kStrings; }", ""]
    return "\n".join(out)


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    rc_path, header_path, output_path = argv[1:]
    try:
        dialogs, strings = read_rc(rc_path, read_names(header_path))
    except RcError as error:
        sys.exit(f"rc-tables: {error}")
    text = write_cpp(dialogs, strings, "res/" + rc_path.replace("\\", "/").split("/")[-1])
    with open(output_path, "w", encoding="utf-8") as output:
        output.write(text)


if __name__ == "__main__":
    main(sys.argv)
