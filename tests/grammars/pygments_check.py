#!/usr/bin/env python3
"""The Pygments package `wyn export --format=pygments` writes, checked by
Pygments itself: the package is pip-installed into a fresh virtual
environment over Debian's Pygments (no index, no network), `pygmentize -l
wyn` must find the lexer by its entry point, and the token types of every
character of each sample are compared with `wyn colour`.

Usage: pygments_check.py [WYN [WYN_GEN]] (default: build/linux/wyn, build/linux/wyn_gen).
Exit status 0 when every sample passes. Needs /usr/bin/python3 with the
venv module, pip, setuptools, wheel and Pygments (scripts/install-deps.sh).
"""
import json
import os
import subprocess
import sys
import tempfile

import samples

# Run inside the environment: the categories of each named file, as JSON.
LEX = r"""
import json, sys
from pygments.lexers import get_lexer_by_name
from pygments.token import Comment, Keyword, Name, Number, Operator, String

KINDS = ((Comment, "comment"), (String, "string"), (Number, "number"),
         (Operator, "operator"), (Keyword, "keyword"),
         (Name.Constant, "constant"), (Name.Builtin, "function"))
lexer = get_lexer_by_name("wyn", stripnl=False, ensurenl=False)
out = []
for path in sys.argv[1:]:
    with open(path, "rb") as f:
        raw = f.read().decode("utf-8")
    cats = []
    for ttype, value in lexer.get_tokens(raw):
        cat = next((c for t, c in KINDS if ttype in t), None)
        cats.extend([cat] * len(value))
    # Pygments reads CR LF and a lone CR as LF; the reference drops CRs.
    kept, at = [], 0
    for i, ch in enumerate(raw):
        if ch == "\r" and raw[i + 1:i + 2] == "\n":
            continue
        if ch != "\r":
            kept.append(cats[at])
        at += 1
    out.append(kept)
json.dump(out, sys.stdout)
"""


def main():
    wyn = sys.argv[1] if len(sys.argv) > 1 else "build/linux/wyn"
    wyn_gen = sys.argv[2] if len(sys.argv) > 2 else "build/linux/wyn_gen"
    passed = failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        package, venv = os.path.join(tmp, "package"), os.path.join(tmp, "venv")
        subprocess.run([wyn, "export", "--format=pygments", "-o", package], check=True)
        subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", venv],
                       check=True)
        python = os.path.join(venv, "bin", "python")
        subprocess.run([python, "-m", "pip", "install", "-q", "--no-deps", "--no-index",
                        "--no-build-isolation", package], check=True)
        files = samples.sample_files(wyn_gen, tmp)
        # The command (pygmentize, as the environment runs it) finds the lexer
        # and the style by their entry points.
        page = subprocess.run([python, "-m", "pygments", "-l", "wyn", "-f", "html",
                               "-O", "style=wyn,noclasses", files[0]],
                              capture_output=True, text=True)
        shown = page.returncode == 0 and "#0000ff" in page.stdout
        print("%s pygments pygmentize -l wyn: the lexer and style found by name%s"
              % ("PASS" if shown else "FAIL", "" if shown else "\n" + page.stderr))
        passed, failed = passed + shown, failed + (not shown)
        lexed = subprocess.run([python, "-c", LEX] + files, check=True,
                               capture_output=True).stdout
        for path, theirs in zip(files, json.loads(lexed)):
            if samples.judge("pygments", wyn, path, theirs):
                passed += 1
            else:
                failed += 1
    print("pygments: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
