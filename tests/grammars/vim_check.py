#!/usr/bin/env python3
"""The Vim syntax `wyn export --format=vim` writes, checked by the syntax
engines of Neovim and, when it is there, Vim: the export is installed as a
package on 'packpath', each sample opened headless (its file type detected
from the name), and the syntax group under every character compared with
`wyn colour`.

Usage: vim_check.py [WYN [WYN_GEN]] (default: build/linux/wyn, build/linux/wyn_gen).
Exit status 0 when every sample passes.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import reference
import samples

CATEGORY = {"m": "comment", "c": "constant", "k": "keyword", "f": "function",
            "s": "string", "n": "number", "o": "operator", "-": None}


# Each editor run headless, without a user's set-up.
EDITORS = {"nvim": ["nvim", "--headless", "-u", "NONE", "-i", "NONE", "-n"],
           "vim": ["vim", "-N", "-u", "NONE", "-i", "NONE", "-n", "-es"]}


def categories(editor, pack, path, out, setup=""):
    """(file type, syntax name and the reserved words' colour, one category a
    character, line breaks None)."""
    env = dict(os.environ, WYN_FILE=path, WYN_OUT=out)
    dump = os.path.join(os.path.dirname(os.path.abspath(__file__)), "vim_check.vim")
    setup = "set packpath=" + pack + (" | " + setup if setup else "")
    subprocess.run(EDITORS[editor] + ["--cmd", setup, "-S", dump],
                   env=env, check=True, timeout=300, stdin=subprocess.DEVNULL)
    with open(out, encoding="utf-8") as f:
        head, *lines = f.read().split("\n")[:-1]
    cats = []
    for row in lines:
        cats.extend(CATEGORY[ch] for ch in row)
        cats.append(None)
    return head, cats


def keyword_colour(wyn):
    """The plug-in's colour of reserved words, as `wyn info` shows it."""
    info = subprocess.run([wyn, "--no-config", "info"], check=True, capture_output=True,
                          text=True).stdout
    return re.search(r"colour of keywords\s+(#[0-9a-f]{6})", info).group(1)


def main():
    wyn = sys.argv[1] if len(sys.argv) > 1 else "build/linux/wyn"
    wyn_gen = sys.argv[2] if len(sys.argv) > 2 else "build/linux/wyn_gen"
    passed = failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        pack = os.path.join(tmp, "pack")
        subprocess.run([wyn, "export", "--format=vim", "-o",
                        os.path.join(pack, "pack", "wyn", "start", "wyn")], check=True)
        files = samples.sample_files(wyn_gen, tmp)
        # The detection takes the extension in any case.
        upper = os.path.join(tmp, "UPPER.WYN")
        shutil.copy(files[0], upper)
        editors = ["nvim"] + (["vim"] if shutil.which("vim") else [])
        runs = [(e, p, "", "") for e in editors for p in files + [upper]]
        # The plug-in's own colours on request, in place of the scheme's.
        runs.append(("nvim", files[0], "let g:wyn_plugin_colours = 1 | set termguicolors",
                     keyword_colour(wyn)))
        for editor, path, setup, colour in runs:
            head, theirs = categories(editor, pack, path, os.path.join(tmp, "out"), setup)
            text = reference.text_of(path)
            if not text.endswith("\n"):
                theirs.pop()  # no line break after the last line
            fields = dict(f.split("=", 1) for f in head.split(" "))
            wrong = fields["ft"] != "wyn" or fields["syntax"] != "wyn"
            wrong = wrong or (colour and fields["keyword-fg"] != colour)
            if wrong or len(theirs) != len(text):
                print("FAIL %s %s: %s, %d characters for %d"
                      % (editor, os.path.basename(path), head, len(theirs), len(text)))
                failed += 1
            elif samples.judge(editor, wyn, path, theirs):
                passed += 1
            else:
                failed += 1
    print("vim: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
