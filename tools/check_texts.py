#!/usr/bin/env python3
"""Finds user-visible Czech texts in the sources that a language file cannot replace.

Every fixed text the program shows or writes is a numbered message (src/base/messages.cpp) or
the text of a named widget, which the language file addresses by window and name. A string
literal with a letter outside ASCII anywhere else is reported with its file and line.

    tools/check_texts.py [SOURCE_DIR]        exit 0 when clean, 1 with a list otherwise
"""
import pathlib
import re
import sys

# The message table itself.
MESSAGE_TABLE = {"base/messages.cpp"}

# Windows built from named widgets: their texts are what CreateLang writes and the language file
# replaces, by object name.
WIDGET_FILES = {
    "ui/main_form_window.cpp",
    "ui/find_bar_widget.cpp",
    "ui/record_page_widget.cpp",
    "ui/about_form_window.cpp",
    "ui/splash_form_window.cpp",
}

# A line of a form's definition giving a control its text: "Open1.text = W(...)",
# "Caption = W(...)", "Caption(W(...))", "Dialog.Filter = W(...)", "Items = {W(...)}".
WIDGET_LINE = re.compile(
    r"^\s*(?:[A-Za-z_][A-Za-z0-9_]*\.)*"
    r"(?:text|hint|Caption|Filter|Title|[A-Za-z0-9_]*Title|[A-Za-z0-9_]*Items)\s*(?:=|\()\s*"
    r"(?:\{?\s*W\(|$)"
    r"|^\s*:\s*Caption\(W\("
    r"|^\s*FileDialog\s+\w+\{W\("
    r"|^\s*std::string\s+\w+Title\s*=\s*W\("
)

STRING = re.compile(r'"(?:[^"\\\n]|\\.)*"')


def code_lines(text):
    """The lines of a C++ file with comments blanked out, keeping string literals."""
    out = []
    in_block = False
    for line in text.split("\n"):
        kept = []
        i = 0
        while i < len(line):
            if in_block:
                end = line.find("*/", i)
                if end < 0:
                    i = len(line)
                    break
                in_block = False
                i = end + 2
                continue
            c = line[i]
            if c == '"':
                m = STRING.match(line, i)
                if m is None:
                    kept.append(line[i:])
                    break
                kept.append(m.group(0))
                i = m.end()
            elif c == "'" and i + 2 < len(line):
                end = line.find("'", i + 1 if line[i + 1] != "\\" else i + 3)
                kept.append("' '")  # a character holds no text, and may be a quote
                i = end + 1 if end > 0 else len(line)
            elif line.startswith("//", i):
                break
            elif line.startswith("/*", i):
                in_block = True
                i += 2
            else:
                kept.append(c)
                i += 1
        out.append("".join(kept))
    return out


def findings(relative, text):
    found = []
    if relative in MESSAGE_TABLE or relative in WIDGET_FILES:
        return found
    in_widget_statement = False
    for number, line in enumerate(code_lines(text), 1):
        # A widget's text may go on over the next lines of its statement.
        widget = in_widget_statement or WIDGET_LINE.search(line) is not None
        in_widget_statement = widget and not line.rstrip().endswith(";")
        literals = [s for s in STRING.findall(line) if any(ord(ch) > 127 for ch in s)]
        if literals and not widget:
            found.append((relative, number, literals[0]))
    return found


def check(source_dir):
    source_dir = pathlib.Path(source_dir)
    found = []
    for path in sorted(source_dir.rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        relative = path.relative_to(source_dir).as_posix()
        found += findings(relative, path.read_text(encoding="utf-8"))
    return found


def main():
    source_dir = sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src"
    found = check(source_dir)
    for relative, number, literal in found:
        print(f"{relative}:{number}: {literal} is not a numbered message")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
