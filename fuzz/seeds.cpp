// Writes the seed corpora of the fuzz targets: the example scripts, short
// buffers from the tests' edge cases, and generated text, each followed by
// a few argument bytes (the harness takes its arguments from the end); and a
// few configuration sequences. Run once; the output is committed.
//   wyn_fuzz_seeds <fuzz/corpus> <source folder>
#include <stdio.h>

#include <string>
#include <vector>

#include "support/files.h"
#include "support/wyn_text.h"

namespace {

struct seed {
  std::string name;
  std::string text;
};

void put(const std::string& path, const std::string& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    return;
  }
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
}

std::string random_bytes(wyn_text::rng& r, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; i++) out += (char)(r.next() & 0xFF);
  return out;
}

// Edge cases of the tests, written small.
const char* const hand_made[] = {
    "/* open\n still open\n*/ if (x) then\n\tMessageBox(\"a // b\", 0x1F);\nendif;\n",
    "x = 1; /* never closed\n\n\n",
    "s = \"unterminated\\\nNUMBER n;\n// last line comment",
    "a = \"\\\\\" + 'q\\'' ; b = 12ab 1e5 1.2.3 10L 5_ _5 0X1F\r\n",
    "line one \\\r\nline two \\\nline three */ x /* y\n",
    "function Foo(a)\nbegin\nend;\nprototype Bar(NUMBER);\nint foo() {\n}\n",
    "    if (a == b) then\nelseif(x) then\n// while (x) loop\n",
    "while\n",
    "if",
    "AskYesNo(",
    "\t \r\n",
    "/*/",
    "*/",
    "//*",
    "\"",
    "'",
    "/",
    "\\",
    "GetMode ( );\nVarSave\nSprintf\n#define X 1\n",
};

// One configuration call: kind, two strings, a number (run_config in the harness).
std::string call(int kind, const std::string& a, const std::string& t, int how, int value) {
  std::string s;
  s += (char)kind;
  s += (char)a.size();
  s += a;
  s += (char)t.size();
  s += t;
  s += (char)how;
  s += (char)(value & 0xFF);
  s += (char)((value >> 8) & 0xFF);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: wyn_fuzz_seeds <corpus folder> <source folder>\n");
    return 2;
  }
  std::string corpus = argv[1];
  std::string source = argv[2];

  std::vector<seed> seeds;
  const char* const examples[] = {"registry.wyn", "setup.wyn", "uninstall.wyn"};
  for (const char* e : examples)
    seeds.push_back({std::string("example-") + e, support::read_file(source + "/examples/" + e)});
  int i = 0;
  for (const char* h : hand_made) seeds.push_back({"hand-" + std::to_string(i++), h});
  for (int s = 0; s < 10; s++) {
    wyn_text::options o;
    o.crlf = s % 3 == 0;
    o.final_newline = s % 2 == 0;
    seeds.push_back({"gen-" + std::to_string(s), wyn_text::generate(s + 1, 200 + 300 * s, o)});
    seeds.push_back({"tricky-" + std::to_string(s), wyn_text::generate_tricky(s + 1, 40 + 16 * s)});
  }

  // Argument bytes each target takes from the end of its input.
  const char* const targets[] = {"colour", "update", "edit"};
  const size_t argument_bytes[] = {22, 16, 11};
  wyn_text::rng r(12345);
  for (int t = 0; t < 3; t++)
    for (const seed& s : seeds)
      put(corpus + "/" + targets[t] + "/" + s.name, s.text + random_bytes(r, argument_bytes[t]));

  // Flags (1: start-up first, 2: start-up after), the number of calls, the
  // calls, then the text.
  std::string text = "if (x) then\nMyWord(1);\nmytpl\nwhile\n";
  put(corpus + "/config/words-after-startup",
      std::string("\x01\x04", 2) + call(0, "MyWord", "", 3, 2) + call(0, "MyWord", "", 3, 2) +
          call(0, "TRUE", "", 3, 1) + call(1, "mytpl", "mytpl (&a, b);", 3, 0) + text);
  put(corpus + "/config/before-startup",
      std::string("\x02\x05", 2) + call(2, "", "", 3, 1) + call(0, "early", "", 3, 1) +
          call(0, "zero", "", 2, 0) + call(1, "x", "y", 3, 0) + call(3, ";", "", 0, 0) + text);
  put(corpus + "/config/odd-arguments", std::string("\x01\x06", 2) + call(0, "", "", 1, 0) +
                                            call(0, "x", "", 7, 5) + call(2, "", "", 5, 0) +
                                            call(3, "", "", 0, 0) + call(1, "", "", 0, 0) +
                                            call(1, "if", "", 0, 0) + text);
  return 0;
}
