"""What `wyn colour` says of each character of a script, and how far a
highlighter's answer agrees with it.

A category is one of CATEGORIES or None (not coloured). Scripts given here
are UTF-8; line breaks are left out of every comparison, since no
highlighter colours them.
"""
import html
import re
import subprocess

CATEGORIES = ("comment", "constant", "keyword", "function", "string", "number", "operator")

_TOKEN = re.compile(r'<a class="ln"[^>]*>\d+</a>|<span class="wyn-([a-z]+)">|</span>|<[^>]+>|&[a-z#0-9]+;|[^<&]+', re.S)


def wyn_categories(wyn, path, config=()):
    """One category (or None) for each character of the script at path."""
    args = [wyn, "colour", "--no-config", "--html-fragment", "--encoding=utf-8"]
    for c in config:
        args += ["--config", c]
    page = subprocess.run(args + [path], check=True, capture_output=True).stdout.decode("utf-8")
    body = page[page.index(">") + 1:page.rindex("</pre>")]
    out, stack = [], []
    for m in _TOKEN.finditer(body):
        t = m.group(0)
        if t.startswith('<a class="ln"'):
            continue
        if m.group(1):
            stack.append(m.group(1))
        elif t == "</span>":
            stack.pop()
        elif t.startswith("<"):
            continue
        else:
            text = html.unescape(t) if t.startswith("&") else t
            cat = stack[-1] if stack else None
            out.extend([cat] * len(text))
    return out


def text_of(path):
    """The script's characters as the reference counts them (CR LF kept as
    in the file; the page shows no CR, so they are dropped on both sides)."""
    with open(path, "rb") as f:
        return f.read().decode("utf-8").replace("\r", "")


def agreement(text, ours, theirs):
    """(agreeing, compared, first few disagreements as (line, col, ours,
    theirs)) over the characters of text that are not line breaks."""
    assert len(ours) == len(text), (len(ours), len(text))
    assert len(theirs) == len(text), (len(theirs), len(text))
    same = total = 0
    wrong = []
    line, col = 1, 1
    for ch, a, b in zip(text, ours, theirs):
        if ch == "\n":
            line, col = line + 1, 1
            continue
        total += 1
        if a == b:
            same += 1
        elif len(wrong) < 10:
            wrong.append((line, col, a, b))
        col += 1
    return same, total, wrong
