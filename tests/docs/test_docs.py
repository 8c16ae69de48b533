"""Tests of the help generator and the read-me converter, and of the shipped sources
they turn into the help PDF and the archive's read-me."""
import os
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))

import mkhelp  # noqa: E402
import mktext  # noqa: E402


class HelpSourceParsing(unittest.TestCase):
    def test_blocks_and_joined_lines(self):
        src = (
            "# 題名\n"
            "\n"
            "## 見出し\n"
            "日本語の段落は\n"
            "行をまたいでも続く。\n"
            "\n"
            "ascii words\n"
            "join with a space\n"
            "\n"
            "- 項目その1は\n"
            "  続きの行\n"
            "- item two\n"
            "  continued\n"
            "\n"
            "1. 最初\n"
            "2. 次\n"
            "### 小見出し\n"
        )
        blocks = mkhelp.parse(src)
        got = [(b.kind, b.text, b.items) for b in blocks]
        self.assertEqual(got, [
            ("title", "題名", []),
            ("h2", "見出し", []),
            ("para", "日本語の段落は行をまたいでも続く。", []),
            ("para", "ascii words join with a space", []),
            ("bullets", "", ["項目その1は続きの行", "item two continued"]),
            ("numbers", "", ["最初", "次"]),
            ("h3", "小見出し", []),
        ])

    def test_malformed_sources_are_refused(self):
        cases = {
            "no title": "## only a heading\n",
            "second title": "# a\n# b\n",
            "deep heading": "# a\n#### too deep\n",
            "heading without space": "# a\n##b\n",
            "tab": "# a\n\tindented\n",
            "indent outside a block": "# a\n\n  floating\n",
            "list item continued unindented": "# a\n- item\nnot indented\n",
        }
        for name, src in cases.items():
            with self.subTest(name):
                with self.assertRaises(mkhelp.HelpSyntaxError):
                    mkhelp.parse(src)

    def test_inline_markup_escapes_everything_else(self):
        cases = [
            ("a < b & c > d", "a &lt; b &amp; c &gt; d"),
            ("**強調**と`code`", '<font color="#12355b">強調</font>と<font face="F" color="#7a2a00">code</font>'),
            ("`<tag>`", '<font face="F" color="#7a2a00">&lt;tag&gt;</font>'),
            ("**a&b**", '<font color="#12355b">a&amp;b</font>'),
        ]
        for text, want in cases:
            with self.subTest(text):
                self.assertEqual(mkhelp.inline_markup(text, "F"), want)
        for bad in ("**open", "`open", "a ** b"):
            with self.subTest(bad):
                with self.assertRaises(mkhelp.HelpSyntaxError):
                    mkhelp.inline_markup(bad, "F")

    def test_shipped_help_parses(self):
        with open(os.path.join(ROOT, "docs", "help.md"), encoding="utf-8") as f:
            blocks = mkhelp.parse(f.read())
        for b in blocks:
            for t in [b.text] + b.items:
                mkhelp.inline_markup(t, "F")
        headings = [b.text for b in blocks if b.kind == "h3"]
        # The dialog's settings each have a section of their own.
        for name in ("NTPサーバー", "NTPサーバーリスト", "更新間隔", "基本優先度",
                     "起動時に時刻を更新する", "0分と30分近辺での同期を行なわない"):
            self.assertIn(name, headings)


class ReadmeConversion(unittest.TestCase):
    def test_line_ends_and_bytes(self):
        cases = [
            ("時刻\n", b"\x8e\x9e\x8d\x8f\r\n"),
            ("a\r\nb\r\n", b"a\r\nb\r\n"),  # CR LF is not doubled
            ("a\rb\nc", b"a\r\nb\r\nc\r\n"),  # lone CR, lone LF, no final end
            ("a\n\nb\n", b"a\r\n\r\nb\r\n"),  # empty lines kept
            ("", b""),
            ("ｶﾅ～\n", b"\xb6\xc5\x81\x60\r\n"),  # half-width kana, full-width tilde
        ]
        for text, want in cases:
            with self.subTest(text=text):
                self.assertEqual(mktext.convert(text), want)

    def test_characters_outside_the_code_page_fail(self):
        for text in ("ok\n絵文字😀\n", "한국어\n", "€\n"):
            with self.subTest(text=text):
                with self.assertRaises(ValueError) as ctx:
                    mktext.convert(text)
                self.assertIn("line", str(ctx.exception))

    def test_output_is_replaced_only_by_a_whole_conversion(self):
        with tempfile.TemporaryDirectory() as d:
            src = os.path.join(d, "in.txt")
            out = os.path.join(d, "out.txt")
            with open(out, "wb") as f:
                f.write(b"old\r\n")

            def run(text):
                with open(src, "w", encoding="utf-8") as f:
                    f.write(text)
                rc = mktext.main([src, out])
                with open(out, "rb") as f:
                    return rc, f.read(), sorted(os.listdir(d))

            self.assertEqual(run("bad 😀\n"), (1, b"old\r\n", ["in.txt", "out.txt"]))
            self.assertEqual(run("\ufeff時\n"), (0, b"\x8e\x9e\r\n", ["in.txt", "out.txt"]))  # BOM dropped

    def test_shipped_readme_converts(self):
        with open(os.path.join(ROOT, "docs", "readme.txt"), encoding="utf-8") as f:
            text = f.read()
        data = mktext.convert(text)
        self.assertTrue(data.endswith(b"\r\n"))
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
        self.assertEqual(data.decode("cp932").replace("\r\n", "\n"), text if text.endswith("\n") else text + "\n")


@unittest.skipUnless(os.environ.get("HOROLAN_HELP_FONT"), "HOROLAN_HELP_FONT not set")
class HelpPdf(unittest.TestCase):
    def build(self, d, name, src):
        source = os.path.join(d, name + ".md")
        out = os.path.join(d, name + ".pdf")
        with open(source, "w", encoding="utf-8") as f:
            f.write(src)
        rc = mkhelp.main([source, out, "--font", os.environ["HOROLAN_HELP_FONT"]])
        return rc, out

    def test_pdf_embeds_the_font_and_is_reproducible(self):
        with open(os.path.join(ROOT, "docs", "help.md"), encoding="utf-8") as f:
            src = f.read()
        with tempfile.TemporaryDirectory() as d:
            rc1, first = self.build(d, "a", src)
            rc2, second = self.build(d, "b", src)
            self.assertEqual((rc1, rc2), (0, 0))
            with open(first, "rb") as f:
                a = f.read()
            with open(second, "rb") as f:
                b = f.read()
        self.assertTrue(a.startswith(b"%PDF-"))
        # The Japanese face travels inside the file as a TrueType subset: a reader
        # without the font must still show the text.
        self.assertTrue(b"/FontFile2" in a and b"+IPAGothic" in a)
        self.assertGreaterEqual(a.count(b"/Type /Page\n"), 2)
        self.assertTrue(a == b, "two builds of the same source differ")

    def test_bad_source_writes_nothing(self):
        with tempfile.TemporaryDirectory() as d:
            rc, out = self.build(d, "bad", "# t\n**unclosed\n")
            self.assertEqual(rc, 1)
            self.assertFalse(os.path.exists(out))
            self.assertEqual(sorted(os.listdir(d)), ["bad.md"])


if __name__ == "__main__":
    unittest.main()
