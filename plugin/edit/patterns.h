/*
** The search patterns the editing aids pass to RegexSearch, byte for byte,
** in the editor's own dialect: \t and \n stand for the tab and line-feed
** bytes themselves, \c marks where a successful search leaves the cursor,
** \( and \) match parentheses and bare parentheses only group.
** Defined here once, so that tests and benchmarks of the editor's search
** use the very bytes the plug-in passes.
*/
#ifndef WYN_EDIT_PATTERNS_H
#define WYN_EDIT_PATTERNS_H

/* Smart indent, both searched backward from the cursor. The line pattern
** leaves the cursor just after the line's first word, the word-start
** pattern on that word's first letter. */
inline constexpr char wyn_line_pattern[] = "^[ \t]*[a-zA-Z_]+\\c([ \t(]|$)";
inline constexpr char wyn_word_start_pattern[] = "(^[ \t]*)\\c[a-zA-Z_]";

/* The routine list, both searched forward. A header starts in the first
** column and has a parenthesised list that may run over line ends; the
** follower pattern leaves the cursor on the first non-blank after that
** list's ')'. */
inline constexpr char wyn_header_pattern[] = "^[a-zA-Z0-9_].*\\((.|\n)*\\)";
inline constexpr char wyn_follower_pattern[] = "^[a-zA-Z0-9_].*\\((.|\n)*\\)[ \t\n]*\\c[^ \t\n]";

#endif /* WYN_EDIT_PATTERNS_H */
