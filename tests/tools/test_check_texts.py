#!/usr/bin/env python3
"""The sources hold no Czech text outside the numbered messages and named widgets, and the
checker does find one put anywhere else."""

import importlib.util
import os
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECKER = os.path.join(ROOT, "tools", "check_texts.py")

_spec = importlib.util.spec_from_file_location("check_texts", CHECKER)
checker = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(checker)


class CheckTexts(unittest.TestCase):
    def test_the_sources_are_clean(self):
        found = checker.check(os.path.join(ROOT, "src"))
        self.assertEqual(found, [], "\n".join(f"{f}:{n}: {t}" for f, n, t in found))

    def test_a_czech_literal_is_found_wherever_it_hides(self):
        source = "\n".join([
            '// "Komentář" in a comment is no text',
            '/* nor "tady" over',
            '   two lines */',
            'throw Error(W("Soubor ") + name + W(" chybí"));',
            'const char* kText = "x" "Přidat";',
            'Open1.text = W("Otevři...");',
            'Dialog.Filter =',
            '    W("Projekt (*.RSK)|*.RSK|"',
            '      "Záloha|*.ZLB");',
            'Show(W("Uložit"));',
            "char c = '\"'; auto s = \"žluť\";",
        ])
        found = [(n, t) for _, n, t in checker.findings("app/x.cpp", source)]
        self.assertEqual(found, [(4, '" chybí"'), (5, '"Přidat"'), (10, '"Uložit"'),
                                 (11, '"žluť"')])
        # The same text in the message table or a named-widget window is where it belongs.
        self.assertEqual(checker.findings("base/messages.cpp", source), [])
        self.assertEqual(checker.findings("ui/main_form_window.cpp", source), [])


if __name__ == "__main__":
    unittest.main()
