#!/usr/bin/env python3
"""Checks a risk library source file (the tab-separated form of --list-library)
before it is built into a library, and prints what it holds.

Usage: tools/check_library_source.py [FILE] [--min-risks N] [--min-groups N]
FILE defaults to data/risk_library.tsv beside this tool. Exit status 0 when the
file passes, 1 when it has faults (each named with its line), 2 on a usage error.
"""

import argparse
import collections
import os
import re
import sys

HEADER = [
    "Index", "Type", "UpLink", "Text", "Comment", "Source", "Ident",
    "Opatreni", "Pravdep", "Nasledky", "Hodnocen",
]
TEXT_MAX = 100
SOURCE_MAX = 250
CATEGORIES = [  # risk bands of P x N x H and their categories
    (0, 3, "Bezvýznamné riziko"),
    (4, 10, "Akceptovatelné riziko"),
    (11, 50, "Mírné riziko"),
    (51, 100, "Nežádoucí riziko"),
    (101, 125, "Nepřijatelné riziko"),
]


def unescape(field):
    """Reverses the \\\\ \\t \\r \\n escapes; raises ValueError on any other."""
    out = []
    i = 0
    while i < len(field):
        c = field[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        if i + 1 >= len(field):
            raise ValueError("a lone backslash at the end of a field")
        nxt = field[i + 1]
        if nxt not in "\\trn":
            raise ValueError("an unknown escape \\" + nxt)
        out.append({"\\": "\\", "t": "\t", "r": "\r", "n": "\n"}[nxt])
        i += 2
    return "".join(out)


def parse_int(field):
    if field == "":
        return None
    if not re.fullmatch(r"-?[0-9]+", field):
        raise ValueError(f"'{field}' is not a whole number")
    return int(field)


def cp1250_fault(text):
    for ch in text:
        try:
            ch.encode("cp1250")
        except UnicodeEncodeError:
            return f"character U+{ord(ch):04X} has no windows-1250 form"
    return None


def line_end_fault(text):
    """Line breaks inside a text must be CR LF, the program's line end."""
    s = text.replace("\r\n", "")
    if "\r" in s or "\n" in s:
        return "a line break that is not CR LF"
    return None


def check(path, min_risks, min_groups):
    faults = []

    def fault(line_no, msg):
        faults.append(f"{path}:{line_no}: {msg}")

    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        print(f"{path}: cannot read: {e.strerror}", file=sys.stderr)
        return 1
    try:
        content = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        print(f"{path}: not UTF-8 (byte {e.start})", file=sys.stderr)
        return 1
    if content.startswith("\ufeff"):
        fault(1, "starts with a byte order mark")
        content = content[1:]
    if "\r" in content:
        fault(1, "holds a raw CR; line ends in the file are LF, inside texts \\r")
    lines = content.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    else:
        fault(len(lines), "the last line has no line end")
    if not lines:
        fault(1, "the file is empty")
        return report(faults, [], {}, min_risks, min_groups)
    if lines[0].split("\t") != HEADER:
        fault(1, "the header is not: " + "\\t".join(HEADER))

    records = []
    kinds = {}  # Index -> Type of every record seen so far
    line_of = {}
    captions = collections.defaultdict(dict)  # UpLink -> caption -> line
    for line_no, line in enumerate(lines[1:], start=2):
        fields = line.split("\t")
        if len(fields) != len(HEADER):
            fault(line_no, f"{len(fields)} fields instead of {len(HEADER)}")
            continue
        rec = {}
        bad = False
        for name, value in zip(HEADER, fields):
            try:
                if name in ("Index", "Type", "UpLink", "Pravdep", "Nasledky",
                            "Hodnocen"):
                    rec[name] = parse_int(value)
                else:
                    rec[name] = unescape(value)
            except ValueError as e:
                fault(line_no, f"{name}: {e}")
                bad = True
        if bad:
            continue
        rec["line"] = line_no
        idx, typ, up = rec["Index"], rec["Type"], rec["UpLink"]

        if idx is None or idx < 1:
            fault(line_no, "Index must be a whole number of at least 1")
        elif idx in kinds:
            fault(line_no, f"Index {idx} already used on line {line_of[idx]}")
        if typ not in (0, 1):
            fault(line_no, f"Type must be 0 (node) or 1 (risk), not {typ}")
        if up is None:
            fault(line_no, "UpLink is empty; a top-level record has 0")
        elif up != 0:
            if up not in kinds:
                fault(line_no, f"UpLink {up} is not an earlier record")
            elif kinds[up] != 0:
                fault(line_no, f"UpLink {up} is a risk; only nodes have children")

        for name in ("Text", "Comment", "Source", "Ident", "Opatreni"):
            msg = cp1250_fault(rec[name]) or line_end_fault(rec[name])
            if msg:
                fault(line_no, f"{name}: {msg}")
            if rec[name] != rec[name].strip():
                fault(line_no, f"{name}: blanks or line breaks at an end")
        if len(rec["Text"]) > TEXT_MAX:
            fault(line_no, f"Text has {len(rec['Text'])} characters, at most {TEXT_MAX}")
        if len(rec["Source"]) > SOURCE_MAX:
            fault(line_no, f"Source has {len(rec['Source'])} characters, at most {SOURCE_MAX}")
        if "\r" in rec["Text"] or "\r" in rec["Source"]:
            fault(line_no, "Text and Source are single-line")
        if rec["Text"] == "":
            fault(line_no, "Text (the tree caption) is empty")

        if typ == 0:
            for name in ("Source", "Ident", "Opatreni"):
                if rec[name]:
                    fault(line_no, f"a node has no {name}")
            for name in ("Pravdep", "Nasledky", "Hodnocen"):
                if rec[name] is not None:
                    fault(line_no, f"a node has no rating {name}")
        elif typ == 1:
            for name in ("Source", "Ident", "Opatreni"):
                if not rec[name]:
                    fault(line_no, f"a risk needs {name}")
            if rec["Comment"]:
                fault(line_no, "a risk of the library has no Comment")
            for name in ("Pravdep", "Nasledky"):
                v = rec[name]
                if v is None or not 1 <= v <= 5:
                    fault(line_no, f"{name} must be 1..5, not {v}")
            if rec["Hodnocen"] != 1:
                fault(line_no, f"Hodnocen must be 1, not {rec['Hodnocen']}")
            for item in rec["Opatreni"].split("\r\n"):
                if not item.startswith("- ") or len(item) < 4:
                    fault(line_no, f"Opatreni: line '{item}' is not '- measure'")
            if up is not None and rec["Text"]:
                seen = captions[up]
                if rec["Text"] in seen:
                    fault(line_no, f"caption '{rec['Text']}' already under node "
                          f"{up} on line {seen[rec['Text']]}")
                else:
                    seen[rec["Text"]] = line_no

        if idx is not None and idx not in kinds:
            kinds[idx] = typ
            line_of[idx] = line_no
        records.append(rec)

    return report(faults, records, kinds, min_risks, min_groups)


def report(faults, records, kinds, min_risks, min_groups):
    nodes = [r for r in records if r["Type"] == 0]
    risks = [r for r in records if r["Type"] == 1]
    groups = [r for r in nodes if r["UpLink"] == 0]
    parent = {r["Index"]: r["UpLink"] for r in records}

    def group_of(rec):
        i = rec["Index"]
        seen = set()
        while parent.get(i, 0) != 0 and i not in seen:
            seen.add(i)
            i = parent[i]
        return i

    per_group = collections.Counter(group_of(r) for r in risks)
    if len(risks) < min_risks:
        faults.append(f"only {len(risks)} risks, at least {min_risks} wanted")
    if len(groups) < min_groups:
        faults.append(f"only {len(groups)} hazard groups, at least {min_groups} wanted")
    for g in groups:
        if per_group[g["Index"]] == 0:
            faults.append(f"line {g['line']}: group '{g['Text']}' holds no risk")

    print(f"records {len(records)}, nodes {len(nodes)}, risks {len(risks)}, "
          f"hazard groups {len(groups)}")
    for g in groups:
        sub = sum(1 for n in nodes if n["UpLink"] == g["Index"])
        print(f"  {per_group[g['Index']]:4d} risks  {sub:2d} sub-nodes  {g['Text']}")
    rated = [r for r in risks if r["Pravdep"] and r["Nasledky"]]
    if rated:
        print("P: " + ", ".join(f"{v}: {sum(1 for r in rated if r['Pravdep'] == v)}"
                                for v in range(1, 6)))
        print("N: " + ", ".join(f"{v}: {sum(1 for r in rated if r['Nasledky'] == v)}"
                                for v in range(1, 6)))
        for lo, hi, name in CATEGORIES:
            n = sum(1 for r in rated
                    if lo <= r["Pravdep"] * r["Nasledky"] * (r["Hodnocen"] or 0) <= hi)
            print(f"  R {lo}-{hi} {name}: {n}")
    sys.stdout.flush()
    for f in faults:
        print(f, file=sys.stderr)
    print(f"{len(faults)} faults" if faults else "OK")
    return 1 if faults else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("file", nargs="?",
                    default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                         "..", "data", "risk_library.tsv"))
    ap.add_argument("--min-risks", type=int, default=0)
    ap.add_argument("--min-groups", type=int, default=0)
    args = ap.parse_args()
    return check(os.path.normpath(args.file), args.min_risks, args.min_groups)


if __name__ == "__main__":
    sys.exit(main())
