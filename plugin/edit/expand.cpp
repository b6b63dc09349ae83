/*
** Template expansion: put the template named by the word at the cursor in
** place of that word.
*/
#include <string.h>

#include "../frame/exports.h"
#include "../colour/chars.h"
#include "../frame/module.h"

/* How much of the buffer is read from the cursor: the longest word. */
enum { EXPAND_READ_LIMIT = 0xFFFF };

/* End the text at its first whitespace character, in place: tab, line
** feed, vertical tab, form feed, carriage return or space, whatever the
** locale. */
static void cut_at_whitespace(char* text) {
  char* p;
  for (p = text; *p != '\0'; p++) {
    if (wyn_char_class(static_cast<unsigned char>(*p)) & WYN_CC_SPACE) {
      *p = '\0';
      return;
    }
  }
}

/*
** Look the word that begins at the cursor up in the template table and, if
** it names a template, hand that template to the editor's expander.
** Returns 1 after expanding, with the saved cursor dropped so the cursor
** stays where the expander leaves it. Returns 0 otherwise (inside a comment,
** no word, no such template, the editor gave no string), with the saved
** cursor restored and the buffer untouched. Every string read is released.
*/
cw_long WYNAPI _wyn_expand(void) {
  char* text;           /* buffer text from the cursor on */
  char* word;           /* that text cut and trimmed */
  cw_slot slot;         /* template-table entry for the word */
  const char* skeleton; /* the template text; the table owns it */

  PushPosition();
  if (find_comment_start(CW_AT_CURSOR) != WYN_NOT_IN_COMMENT) {
    PopPosition();
    return 0;
  }
  text = GetTextAtCursor(EXPAND_READ_LIMIT);
  if (text == NULL) {
    PopPosition();
    return 0;
  }
  cut_at_whitespace(text);
  word = StrTrim(text, " \t");
  StrFree(text);
  if (word == NULL) {
    PopPosition();
    return 0;
  }
  /* Before start-up there is no table to ask. */
  slot = NULL;
  if (wyn_template_table != NULL)
    slot = HashFind(wyn_template_table, word, static_cast<cw_long>(strlen(word)));
  StrFree(word);
  /* An entry without text is no template. */
  if (slot == NULL || *slot == NULL) {
    PopPosition();
    return 0;
  }
  DropPosition(CW_DROP_HOW);
  skeleton = static_cast<const char*>(*slot);
  ExpandPrepare();
  ExpandTemplate(skeleton);
  return 1;
}
