#!/usr/bin/env python3
"""Renders the help document (docs/help.md) to the PDF shipped beside the executable.

The source is a small subset of Markdown: "# " title, "## "/"### " headings, paragraphs,
"- " bullets and "1. " numbered items (continued by indented lines), **bold** and `code`.
Anything else is an error, so a typo shows up at build time instead of as odd text.
"""
import argparse
import os
import re
import sys
from dataclasses import dataclass, field
from typing import List


class HelpSyntaxError(ValueError):
    pass


@dataclass
class Block:
    kind: str  # title, h2, h3, para, bullets, numbers
    text: str = ""
    items: List[str] = field(default_factory=list)
    line: int = 0


_ITEM = re.compile(r"^(?:(- )|(\d+)\. )(.*)$")


def parse(source: str) -> List[Block]:
    """Splits the source into blocks; item and paragraph lines are joined into one text."""
    blocks: List[Block] = []
    current = None  # the block that following lines continue

    def join(old: str, new: str) -> str:
        # Japanese text has no spaces between words: a line break inside a paragraph
        # must not become one between two Japanese characters.
        if not old:
            return new
        if ord(old[-1]) < 0x80 and ord(new[0]) < 0x80:
            return old + " " + new
        return old + new

    for number, raw in enumerate(source.splitlines(), 1):
        line = raw.rstrip()
        if "\t" in line:
            raise HelpSyntaxError(f"line {number}: tab character; indent with spaces")
        if not line:
            current = None
            continue
        heading = re.match(r"^(#{1,3}) (.+)$", line)
        item = _ITEM.match(line)
        if heading:
            kind = {1: "title", 2: "h2", 3: "h3"}[len(heading.group(1))]
            if kind == "title" and any(b.kind == "title" for b in blocks):
                raise HelpSyntaxError(f"line {number}: a second title")
            blocks.append(Block(kind, heading.group(2).strip(), line=number))
            current = None
        elif line.startswith("#"):
            raise HelpSyntaxError(f"line {number}: unsupported heading: {line}")
        elif item:
            kind = "bullets" if item.group(1) else "numbers"
            if not (current is not None and current.kind == kind and current.items):
                current = Block(kind, line=number)
                blocks.append(current)
            current.items.append(item.group(3).strip())
        elif line.startswith(" "):
            if current is None:
                raise HelpSyntaxError(f"line {number}: indented line outside a list or paragraph")
            if current.items:
                current.items[-1] = join(current.items[-1], line.strip())
            else:
                current.text = join(current.text, line.strip())
        else:
            if current is not None and current.kind == "para":
                current.text = join(current.text, line.strip())
            elif current is not None and current.items:
                raise HelpSyntaxError(f"line {number}: continue a list item with an indented line")
            else:
                current = Block("para", line.strip(), line=number)
                blocks.append(current)
    if not any(b.kind == "title" for b in blocks):
        raise HelpSyntaxError("the document has no title line (# ...)")
    return blocks


def inline_markup(text: str, code_font: str) -> str:
    """Turns **bold** and `code` into the paragraph markup of the PDF library; every other
    character is escaped, so "<" or "&" in the help text cannot break the page."""
    out = []
    pos = 0
    for m in re.finditer(r"\*\*(.+?)\*\*|`([^`]+)`", text):
        out.append(_escape(text[pos:m.start()]))
        if m.group(1) is not None:
            out.append(BOLD_OPEN + _escape(m.group(1)) + BOLD_CLOSE)
        else:
            out.append(f'<font face="{code_font}" color="#7a2a00">' + _escape(m.group(2)) + "</font>")
        pos = m.end()
    rest = text[pos:]
    if "**" in rest or "`" in rest:
        raise HelpSyntaxError(f"unclosed ** or ` in: {text}")
    out.append(_escape(rest))
    return "".join(out)


# The face has no bold cut: emphasis is shown in the headings' colour instead.
BOLD_OPEN = '<font color="#12355b">'
BOLD_CLOSE = "</font>"


def _escape(text: str) -> str:
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def render(blocks: List[Block], font_path: str, output: str) -> None:
    from reportlab.lib import colors
    from reportlab.lib.enums import TA_LEFT
    from reportlab.lib.pagesizes import A4
    from reportlab.lib.styles import ParagraphStyle
    from reportlab.lib.units import mm
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    from reportlab.platypus import ListFlowable, ListItem, Paragraph, SimpleDocTemplate, Spacer
    from reportlab.lib.fonts import addMapping

    pdfmetrics.registerFont(TTFont("HelpGothic", font_path))
    for bold in (0, 1):
        for italic in (0, 1):
            addMapping("HelpGothic", bold, italic, "HelpGothic")

    base = dict(fontName="HelpGothic", wordWrap="CJK", alignment=TA_LEFT)
    styles = {
        "title": ParagraphStyle("title", fontSize=20, leading=28, spaceAfter=10, textColor=colors.HexColor("#12355b"), **base),
        "h2": ParagraphStyle("h2", fontSize=14, leading=20, spaceBefore=12, spaceAfter=4, keepWithNext=1, textColor=colors.HexColor("#12355b"), **base),
        "h3": ParagraphStyle("h3", fontSize=11.5, leading=16, spaceBefore=8, spaceAfter=2, keepWithNext=1, textColor=colors.HexColor("#1f4f82"), **base),
        "para": ParagraphStyle("para", fontSize=10, leading=16, spaceAfter=5, **base),
        "item": ParagraphStyle("item", fontSize=10, leading=16, **base),
    }

    story = []
    title = ""
    for block in blocks:
        if block.kind in ("title", "h2", "h3", "para"):
            if block.kind == "title":
                title = block.text
            story.append(Paragraph(inline_markup(block.text, "HelpGothic"), styles[block.kind]))
        else:
            items = [ListItem(Paragraph(inline_markup(t, "HelpGothic"), styles["item"]), leftIndent=14) for t in block.items]
            if block.kind == "bullets":
                flow = ListFlowable(items, bulletType="bullet", start="・", bulletFontName="HelpGothic", leftIndent=14)
            else:
                flow = ListFlowable(items, bulletType="1", bulletFontName="HelpGothic", bulletFormat="%s.", leftIndent=16)
            story.append(flow)
            story.append(Spacer(1, 4))

    def footer(canvas, doc):
        canvas.saveState()
        canvas.setFont("HelpGothic", 8)
        canvas.setFillColor(colors.grey)
        canvas.drawCentredString(A4[0] / 2, 10 * mm, f"{title}  —  {doc.page}")
        canvas.restoreState()

    # invariant: the same source gives the same bytes, whenever it is built.
    doc = SimpleDocTemplate(output, pagesize=A4, leftMargin=20 * mm, rightMargin=20 * mm,
                            topMargin=18 * mm, bottomMargin=18 * mm, title=title,
                            author="Fernwick", invariant=1)
    doc.build(story, onFirstPage=footer, onLaterPages=footer)


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("source")
    ap.add_argument("output")
    ap.add_argument("--font", required=True, help="TrueType font with Japanese glyphs")
    args = ap.parse_args(argv)
    with open(args.source, encoding="utf-8") as f:
        text = f.read()
    try:
        blocks = parse(text)
        # Markup errors are found before the output file is touched.
        for b in blocks:
            for t in [b.text] + b.items:
                inline_markup(t, "x")
    except HelpSyntaxError as e:
        print(f"{args.source}: {e}", file=sys.stderr)
        return 1
    # Written beside the target and renamed, so a failed build leaves no half a PDF
    # that make would take as up to date.
    partial = args.output + ".part"
    try:
        render(blocks, args.font, partial)
        os.replace(partial, args.output)
    finally:
        if os.path.exists(partial):
            os.remove(partial)
    return 0


if __name__ == "__main__":
    sys.exit(main())
