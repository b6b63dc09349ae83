"""The scripts each engine check compares with `wyn colour`, and the shape
of its report: one "PASS|FAIL ENGINE SCRIPT: SHARE% (SAME/TOTAL)" line a
file, as scripts/test-grammars.sh counts them.

The samples are the examples, a hand-written script of the scanner's hard
cases (made here, so that its CR LF lines reach the engines as written), and
generated scripts of about 40 KB from a few seeds, turned into UTF-8.
"""
import glob
import os
import subprocess

import reference

# Share of characters whose category must agree: all of them in the hard
# cases, which are there to pin each rule down.
GOAL = 0.99
HARD_GOAL = 1.0

HARD_CASES = (
    "/*/ x = 1;\n"
    "/* a */ b = 2; /**/ c /***/ d /* ** */ e\n"
    "/* x *//y\n"
    "/* x */*y*/ z /* u */*/ v\n"
    "a*/b = \"esc\\\" still\\\\\" + 'it\\'s' + \"mixed ' \\q\" + 'a \" b';\n"
    "s = \"open at the line end\\\n"
    "t = 'open\n"
    "n = 1_ + 0x1F + 0X1F + 1.5.e + 12L + 1x_ + 9lx + 7l_ + 0xx1 + 1x1x;\n"
    "a.b = (a) -begin +begin !begin [begin ;begin :begin #include <x>; #define\n"
    "xbegin begin_ begin1 _begin 2begin begin#x BEGIN Begin\n"
    "// a line comment /* not a block */ \"no string\"\n"
    "x = a/b + c*d - e%f ^ g~h | i&j; x/=2; y=a/ /b;\n"
    "\"s\"begin 'q'1 (1) ,2 =3 é1 é begin é\n"
    "begin\r\n"
    "end; \"s\\\r\n"
    "if (x) then // c\r\n"
    "/* across\r\n"
    "   lines */ 0x10\r\n"
    "    \tbegin\t42\n"
    "/* open to the end\n"
    "begin 1\n"
)


def sample_files(wyn_gen, tmp):
    """The paths of the samples, the made ones written under tmp."""
    here = os.path.dirname(os.path.abspath(__file__))
    files = sorted(glob.glob(os.path.join(here, "..", "..", "examples", "*.wyn")))
    hard = os.path.join(tmp, "hard-cases.wyn")
    with open(hard, "wb") as f:
        f.write(HARD_CASES.encode("utf-8"))
    files.append(hard)
    for seed in (1, 2, 3):
        path = os.path.join(tmp, "generated-%d.wyn" % seed)
        made = subprocess.run([wyn_gen, "40K", str(seed), "real"], check=True,
                              capture_output=True).stdout
        # The generator writes single-byte text; the comparison reads UTF-8.
        with open(path, "wb") as f:
            f.write(made.decode("latin-1").encode("utf-8"))
        files.append(path)
    return files


def judge(engine, wyn, path, theirs):
    """Compares an engine's categories for the characters of the script
    (line breaks included or not: they are not compared) with `wyn colour`'s,
    prints the figures and the verdict, and returns whether it passed."""
    text = reference.text_of(path)
    ours = reference.wyn_categories(wyn, path)
    same, total, wrong = reference.agreement(text, ours, theirs)
    share = same / total if total else 1.0
    ok = share >= (HARD_GOAL if os.path.basename(path) == "hard-cases.wyn" else GOAL)
    print("%s %s %s: %.3f%% (%d/%d)" % ("PASS" if ok else "FAIL", engine,
                                        os.path.basename(path), 100 * share, same, total))
    for line, col, a, b in wrong:
        print("  line %d col %d: wyn %s, %s %s" % (line, col, a, engine, b))
    return ok
