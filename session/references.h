// The uses of a name in a script's code: routines (headers, prototypes,
// calls), labels ("name:" and "goto name") and variables, each tied to the
// scope that owns it. What is code is what the plug-in coloured so: a word
// in a comment or a string is never a use, and a word the plug-in coloured
// as one of its own (a reserved word, a built-in function, a constant) is
// no user's name.
//
// Scopes: a routine's parameters and the variables declared between its
// header and its "begin" are that routine's own, and so is a label
// defined in it; a label outside every routine belongs to the code
// outside them. Every other name is global. Names compare byte for byte,
// letter case included, as the plug-in's word tables compare them.
#ifndef WYN_SESSION_REFERENCES_H
#define WYN_SESSION_REFERENCES_H

#include <stddef.h>

#include <string>
#include <vector>

namespace wyn {

// A routine of the outline, in bytes of the text: its header's line start
// to the end of its extent, and where its name stands.
struct RoutinePlace {
  size_t start = 0, end = 0;
  size_t name_start = 0, name_end = 0;
  bool declaration = false;  // a prototype: no body, no locals
};

// What a name stands for. Two uses are of the same symbol when all three
// agree.
struct NameSymbol {
  std::string name;
  bool label = false;
  long routine = -1;  // the owning routine's index among the places given; -1: none
  bool local() const { return label || routine >= 0; }
};

struct NameUse {
  size_t start = 0, end = 0;  // the name's bytes
  bool declaration = false;   // a header, a prototype, a declaration list, "name:", #define
  bool write = false;         // the target of a plain assignment ("name = ..." as a statement)
};

// A letter or '_' first, then letters, digits and '_'.
bool is_identifier(const std::string& word);

class NameMap {
 public:
  // text as the plug-in coloured it: cats[i] is the category of text[i]
  // (a shorter cats leaves the rest uncoloured). routines are the
  // outline's routines of text, in their order. Both are read here only.
  NameMap(const std::string& text, const std::vector<signed char>& cats,
          const std::vector<RoutinePlace>& routines);

  // The symbol of the name that pos is in or just after; false when there
  // is none there (a blank, a comment or string, a number, a word of the
  // plug-in's). [*start, *end) is the name, when those are not null.
  bool symbol_at(size_t pos, NameSymbol* out, size_t* start = nullptr, size_t* end = nullptr) const;
  // Every use of symbol, in text order.
  std::vector<NameUse> uses(const NameSymbol& symbol) const;

 private:
  struct Token {
    size_t start, end;
    signed char cat;
    int depth;  // parentheses open around it, counted from its statement's start
  };
  struct Scope {
    size_t start, end;  // bytes
    long routine;
    std::vector<std::string> locals;  // sorted once read
    size_t name_start;                // the routine's own name, which is global
  };
  void tokenise(const std::vector<signed char>& cats);
  void read_scopes(const std::vector<RoutinePlace>& routines);
  void read_declarations(size_t from, size_t to, Scope* scope);
  size_t token_at(size_t pos) const;  // the first token ending at or after pos
  bool is_name(size_t k) const;
  bool is_word(size_t k, const char* word) const;
  bool is_char(size_t k, char c) const;
  bool starts_statement(size_t k) const;
  const Scope* scope_of(size_t pos) const;
  NameSymbol classify(size_t k) const;
  std::string word(size_t k) const;

  const std::string& text_;
  std::vector<Token> tokens_;
  std::vector<Scope> scopes_;               // routines with a body, in text order
  std::vector<size_t> declared_, skipped_;  // token indexes, sorted
};

}  // namespace wyn

#endif
