#!/usr/bin/env python3
"""The library source checker passes the shipped file and refuses a copy with
one fault of each kind, naming the fault."""

import contextlib
import importlib.util
import io
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECKER = os.path.join(ROOT, "tools", "check_library_source.py")
SHIPPED = os.path.join(ROOT, "data", "risk_library.tsv")


_module_info = importlib.util.spec_from_file_location("check_library_source", CHECKER)
checker = importlib.util.module_from_spec(_module_info)
_module_info.loader.exec_module(checker)


def run(path, *extra):
    """The command line as a user runs it."""
    return subprocess.run([sys.executable, CHECKER, path, *extra],
                          capture_output=True, text=True)


def check(path):
    """The same check in this process: (exit status, printed faults)."""
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        status = checker.check(path, 0, 0)
    return status, err.getvalue()


class CheckLibrarySource(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(SHIPPED, encoding="utf-8") as f:
            cls.lines = f.read().split("\n")
        rows = [l.split("\t") for l in cls.lines]
        cls.risk = next(i for i in range(1, len(rows) - 1)
                        if rows[i][1] == "1" and rows[i + 1][1] == "1"
                        and rows[i + 1][2] == rows[i][2])
        cls.node = next(i for i in range(1, len(rows)) if rows[i][1] == "0")
        cls.tmp = tempfile.TemporaryDirectory()

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def field(self, row, col):
        return self.lines[row].split("\t")[col]

    def refused(self, lines, expect, raw=None):
        path = os.path.join(self.tmp.name, "bad.tsv")
        with open(path, "wb") as f:
            f.write(raw if raw is not None else "\n".join(lines).encode("utf-8"))
        status, faults = check(path)
        self.assertEqual(status, 1, faults)
        self.assertIn(expect, faults)

    def with_field(self, row, col, value):
        lines = list(self.lines)
        f = lines[row].split("\t")
        f[col] = value
        lines[row] = "\t".join(f)
        return lines

    def test_shipped_file_passes_with_its_content_targets(self):
        r = run(SHIPPED, "--min-risks", "220", "--min-groups", "14")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("OK", r.stdout)

    def test_content_targets_are_enforced(self):
        r = run(SHIPPED, "--min-risks", "100000", "--min-groups", "1000")
        self.assertEqual(r.returncode, 1)
        self.assertIn("risks, at least 100000 wanted", r.stderr)
        self.assertIn("hazard groups, at least 1000 wanted", r.stderr)

    def test_layout_faults(self):
        r, n = self.risk, self.node
        cases = [
            ([self.lines[0].replace("Opatreni", "Opatření")] + self.lines[1:], "the header"),
            (self.lines[:r] + [self.lines[r] + "\tx"] + self.lines[r + 1:], "12 fields"),
            (self.with_field(r, 8, "3a"), "not a whole number"),
            (self.with_field(r, 9, "+3"), "not a whole number"),
            (self.with_field(r, 1, "2"), "Type must be 0"),
            (self.with_field(r, 0, self.field(n, 0)), "already used"),
            (self.with_field(r, 0, "0"), "at least 1"),
            (self.with_field(r, 2, "99999"), "is not an earlier record"),
            (self.with_field(n, 2, self.field(len(self.lines) - 2, 0)), "is not an earlier record"),
            (self.with_field(r + 1, 2, self.field(r, 0)), "is a risk"),
            (self.with_field(r, 6, self.field(r, 6) + "\\x"), "unknown escape"),
        ]
        for lines, expect in cases:
            with self.subTest(expect=expect):
                self.refused(lines, expect)

    def test_record_content_faults(self):
        r, n = self.risk, self.node
        cases = [
            (self.with_field(r, 5, ""), "a risk needs Source"),
            (self.with_field(r, 6, ""), "a risk needs Ident"),
            (self.with_field(r, 7, ""), "a risk needs Opatreni"),
            (self.with_field(r, 3, ""), "Text (the tree caption) is empty"),
            (self.with_field(r, 8, "0"), "Pravdep must be 1..5"),
            (self.with_field(r, 8, ""), "Pravdep must be 1..5"),
            (self.with_field(r, 9, "6"), "Nasledky must be 1..5"),
            (self.with_field(r, 10, "2"), "Hodnocen must be 1"),
            (self.with_field(r, 4, "pozn."), "has no Comment"),
            (self.with_field(r, 7, "zakrýt stroj"), "is not '- measure'"),
            (self.with_field(r, 7, self.field(r, 7).replace("\\r\\n", "\\n", 1)), "not CR LF"),
            (self.with_field(r + 1, 3, self.field(r, 3)), "already under node"),
            (self.with_field(r, 3, "a" * 101), "Text has 101 characters"),
            (self.with_field(r, 5, "a" * 251), "Source has 251 characters"),
            (self.with_field(r, 6, "šipka \u2192 dál"), "U+2192 has no windows-1250 form"),
            (self.with_field(n, 3, "Sklad \U0001F4E6"), "has no windows-1250 form"),
            (self.with_field(n, 8, "2"), "a node has no rating"),
            (self.with_field(n, 6, "popis"), "a node has no Ident"),
        ]
        for lines, expect in cases:
            with self.subTest(expect=expect):
                self.refused(lines, expect)

    def test_file_encoding_faults(self):
        text = "\n".join(self.lines)
        self.refused(None, "not UTF-8", text.encode("cp1250"))
        self.refused(None, "raw CR", text.replace("\n", "\r\n").encode("utf-8"))
        self.refused(None, "no line end", text.rstrip("\n").encode("utf-8"))


if __name__ == "__main__":
    unittest.main()
