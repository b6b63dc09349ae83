"""Runs an exported grammar through the engine that really reads it and
compares each character's category with `wyn colour`.

    python3 check.py [--config FILE] ENGINE WYN GRAMMAR THRESHOLD SCRIPT...

ENGINE is textmate (vscode-textmate, through textmate.js and Node) or
sublime (bat, with the grammar and a theme of one colour per category in a
private cache).

    python3 check.py npp WYN GRAMMAR

checks a Notepad++ user-defined language, which no engine here can run:
well-formed XML whose word lists are the plug-in's tables (less the words
the scanner can never read as one). --config FILE: the configuration the
grammar was exported with, given to wyn too. Prints one line per script, "PASS|FAIL ENGINE SCRIPT: P%
(same/compared)", then the first disagreements of a failing one; exits 1
when any script is below THRESHOLD per cent.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from reference import CATEGORIES, agreement, text_of, wyn_categories  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def textmate(grammar, scripts, tmp):
    out = subprocess.run(["node", os.path.join(HERE, "textmate.js"), grammar] + scripts,
                         check=True, capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines()]


# The theme bat colours with: one foreground per category, another for the rest.
SCOPES = {"comment": "comment", "string": "string", "number": "constant.numeric",
          "constant": "constant.language", "keyword": "keyword.control",
          "function": "support.function", "operator": "keyword.operator"}
PLAIN = (128, 128, 128)


def colour_of(cat):
    return (16 + CATEGORIES.index(cat), 32, 48)


def write_theme(path):
    def entry(scope, rgb):
        hexed = "#%02x%02x%02x" % rgb
        key = "<key>scope</key><string>%s</string>" % scope if scope else ""
        return "<dict>%s<key>settings</key><dict><key>foreground</key><string>%s</string>" \
               "<key>background</key><string>#000000</string></dict></dict>" % (key, hexed)
    body = entry(None, PLAIN) + "".join(entry(SCOPES[c], colour_of(c)) for c in CATEGORIES)
    with open(path, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
                "<key>name</key><string>wyn-check</string><key>settings</key><array>%s</array>"
                "</dict></plist>\n" % body)


_SGR = re.compile(r"\x1b\[([0-9;]*)m")


def ansi_categories(output):
    by_colour = {colour_of(c): c for c in CATEGORIES}
    out, fg, at = [], None, 0
    for m in _SGR.finditer(output + "\x1b[m"):
        out.extend([None if ch == "\n" else by_colour.get(fg) for ch in output[at:m.start()]])
        at = m.end()
        params = [int(p) if p else 0 for p in m.group(1).split(";")]
        i = 0
        while i < len(params):
            if params[i] == 38 and i + 4 < len(params) + 0 and params[i + 1] == 2:
                fg = tuple(params[i + 2:i + 5])
                i += 5
                continue
            if params[i] in (0, 39):
                fg = None
            i += 1
    return out


def sublime(grammar, scripts, tmp):
    src, cache = os.path.join(tmp, "bat-src"), os.path.join(tmp, "bat-cache")
    os.makedirs(os.path.join(src, "syntaxes"))
    os.makedirs(os.path.join(src, "themes"))
    with open(grammar) as f, open(os.path.join(src, "syntaxes", "wyn.sublime-syntax"), "w") as g:
        g.write(f.read())
    write_theme(os.path.join(src, "themes", "wyn-check.tmTheme"))
    env = dict(os.environ, HOME=tmp, BAT_CACHE_PATH=cache, COLORTERM="truecolor",
               BAT_CONFIG_PATH=os.path.join(tmp, "no-bat-config"), XDG_CONFIG_HOME=tmp,
               XDG_CACHE_HOME=tmp, BAT_PAGER="", BAT_THEME="", BAT_STYLE="")
    subprocess.run(["batcat", "cache", "--build", "--blank", "--source", src, "--target", cache],
                   check=True, capture_output=True, env=env)
    results = []
    for n, script in enumerate(scripts):
        # The reference leaves CRs out; so does the copy bat reads.
        copy = os.path.join(tmp, "script%d.wyn" % n)
        with open(copy, "w", encoding="utf-8") as f:
            f.write(text_of(script))
        shown = subprocess.run(["batcat", "--color=always", "--decorations=never", "--paging=never",
                                "--wrap=never", "--tabs=0", "--theme=wyn-check", "--language=wyn",
                                copy], check=True, capture_output=True, env=env).stdout
        results.append(ansi_categories(shown.decode("utf-8")))
    return results


ENGINES = {"textmate": textmate, "sublime": sublime}


CONFIG = []

# A word the scanner can read whole: word characters, at most 100 bytes.
_WHOLE = re.compile(r"[A-Za-z0-9_#]{1,100}")


def tables(wyn, cls):
    args = [wyn, "info", "--no-config"] + ["--config=" + c for c in CONFIG] + ["--keywords=%d" % cls]
    words = subprocess.run(args, check=True, capture_output=True).stdout.decode("utf-8").split("\n")
    return {w for w in words if _WHOLE.fullmatch(w)}


def npp(wyn, grammar):
    """The user-defined language is well-formed XML and lists each class's
    words as the plug-in's tables hold them."""
    import xml.etree.ElementTree as ET
    lists = {k.get("name"): (k.text or "").split() for k in ET.parse(grammar).iter("Keywords")}
    failed = 0
    for n, (name, cls) in enumerate((("Keywords1", 1), ("Keywords2", 0), ("Keywords3", 2))):
        # A word in two classes colours as the first that holds it.
        earlier = set()
        for c in range(cls):
            earlier |= tables(wyn, c)
        want = sorted(tables(wyn, cls) - earlier)
        ok = lists.get(name) == want
        failed += not ok
        print("    %s (class %d): %d words listed, %d in the tables%s" %
              (name, cls, len(lists.get(name, [])), len(want), "" if ok else ", DIFFERENT"))
    print("%s npp %s: the word lists equal the plug-in's tables" % ("FAIL" if failed else "PASS", grammar))
    return 1 if failed else 0


def main():
    if sys.argv[1] == "--config":
        CONFIG.append(sys.argv[2])
        del sys.argv[1:3]
    if sys.argv[1] == "npp":
        return npp(sys.argv[2], sys.argv[3])
    engine, wyn, grammar, threshold = sys.argv[1:5]
    scripts = sys.argv[5:]
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        theirs_all = ENGINES[engine](grammar, scripts, tmp)
    for script, theirs in zip(scripts, theirs_all):
        text = text_of(script)
        ours = wyn_categories(wyn, script, CONFIG)
        theirs = theirs[:len(text)] + [None] * (len(text) - len(theirs))
        same, total, wrong = agreement(text, ours, theirs)
        share = 100.0 * same / total if total else 100.0
        ok = share >= float(threshold)
        failed += not ok
        print("%s %s %s: %.3f%% (%d/%d)" % ("PASS" if ok else "FAIL", engine, script, share, same, total))
        if not ok:
            for line, col, a, b in wrong:
                print("    line %d column %d: wyn %s, %s %s" % (line, col, a, engine, b))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
