// A client's settings read into plain values: the three ways of nesting
// them, every form of keywords and templates, and entries the client got
// wrong kept in their place.
#include <gtest/gtest.h>

#include <string>

#include "settings.h"

namespace {

using wyn::lsp::ClientSettings;
using wyn::lsp::json;

// "word:class" per keyword, "name=text" per template, in order (an
// object's members come sorted by name).
std::string summary(const ClientSettings& s) {
  std::string out = "config[" + s.config_file + "]";
  for (const ClientSettings::Word& w : s.keywords)
    out += " " + w.word + ":" + std::to_string(w.cls);
  for (const auto& [name, text] : s.templates) out += " " + name + "=" + text;
  if (!s.keywords_problem.empty()) out += " !keywords";
  if (!s.templates_problem.empty()) out += " !templates";
  if (s.include_dirs_set) out += " dirs";
  for (const std::string& d : s.include_dirs) out += " <" + d + ">";
  return out;
}

TEST(LspSettings, Read) {
  struct Case {
    const char* name;
    const char* settings;
    const char* want;
  } cases[] = {
      {"nested", R"({"wyn":{"configFile":"a.cfg","keywords":{"keyword":["A","B"]}}})",
       "config[a.cfg] A:1 B:1"},
      {"inner", R"({"configFile":"a.cfg","templates":{"t":"x &"}})", "config[a.cfg] t=x &"},
      {"flat", R"({"wyn.configFile":"/a.cfg","wyn.keywords":{"F":"function"}})",
       "config[/a.cfg] F:2"},
      {"wyn_not_an_object_is_a_flat_key", R"({"wyn":1,"wyn.keywords":{"C":0}})", "config[] C:0"},
      {"config_not_a_string", R"({"configFile":7})", "config[]"},
      {"class_names_and_digits",
       R"({"keywords":{"constant":["C"],"2":["F"],"K":"keyword","N":1,"X":"verb"}})",
       "config[] F:2 K:1 N:1 :-1 C:0"},
      {"number_out_of_range", R"({"keywords":{"A":3,"B":-1,"C":1.5}})", "config[] :-1 :-1 :-1"},
      {"empty_or_odd_words", R"({"keywords":{"keyword":["","A",7]}})", "config[] :-1 A:1 :-1"},
      {"list_form",
       R"({"keywords":[{"word":"A","class":"function"},{"word":"B","class":0},{"word":"C"},3,
                       {"word":"D","class":4294967297},{"word":"E","class":-1}]})",
       "config[] A:2 B:0 :-1 :-1 :-1 :-1"},
      {"keywords_of_no_shape", R"({"keywords":"A"})", "config[] !keywords"},
      {"keywords_null", R"({"keywords":null,"templates":null})", "config[]"},
      {"templates_in_order", R"({"templates":{"a":"1","b":2,"":"3","c":"4"}})",
       "config[] = a=1 = c=4"},
      {"templates_of_no_shape", R"({"templates":["a"]})", "config[] !templates"},
      {"include_dirs", R"({"wyn.includeDirs":["inc","/abs",7,""]})", "config[] dirs <inc> </abs>"},
      {"include_dirs_emptied", R"({"includeDirs":[]})", "config[] dirs"},
      {"include_dirs_of_no_shape", R"({"includeDirs":"inc"})", "config[]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(summary(wyn::lsp::read_settings(json::parse(c.settings))), c.want) << c.name;
}

}  // namespace
