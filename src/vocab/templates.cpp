/*
** The built-in template table: block skeletons and built-in function calls
** that _wyn_expand puts in place of the word at the cursor.
*/
#include "../frame/exports.h"
#include "../frame/module.h"

/* Written by wyn_build_template_table at start-up; read by
** _wyn_assign_template and edit/expand.cpp. Null until start-up. */
cw_table wyn_template_table = 0;

/*
** Built-in templates: the six block words first, then one call per built-in
** function. ORDER: the function rows follow wyn_class2_words (vocab/words.cpp)
** except that "RGB" stands after "ReplaceProfString". In a text '&' marks
** where the cursor goes and '@' starts a closing line; the editor's expander
** reads both.
*/
const wyn_template wyn_builtin_templates[] = {
  {"if", "if ( & ) then\n\t\n@endif;"},
  {"case", "case &:\n\t"},
  {"while", "while ( & )\n\t\n@endwhile;"},
  {"for", "for & =  to \n\t\n@endfor;"},
  {"repeat", "repeat\n\t\n@until ( & );"},
  {"function", "function & (  )\nbegin\n\n\t\n\n@end;"},
  {"AskOptions", "AskOptions (&nValue, szMsg, szText1, nvCheck1 ,szText2, nvCheck2);"},
  {"ComponentMoveData", "ComponentMoveData (&szMedia, nvDisk, nReserved );"},
  {"CreateRegistrySet", "CreateRegistrySet (&szRegistrySet );"},
  {"GetMemFree", "GetMemFree ( );"},
  {"GetMode", "GetMode ( );"},
  {"SdInit", "SdInit ( );"},
  {"Sprintf", "Sprintf (&svResult, szFormat, );"},
  {"SprintfBox", "SprintfBox (&nType, szTitle, szFormat, );"},
  {"VarRestore", "VarRestore (SRCTARGETDIR);\n&"},
  {"VarSave", "VarSave (SRCTARGETDIR);\n&"},
  {0, 0}
};

/*
** Create the template table and load every built-in template into it.
** Nothing is tested: a null handle or a refused entry is the editor's
** matter, and the next pair goes in regardless.
*/
void wyn_build_template_table(void) {
  const wyn_template* t;
  /* The slot holds one pointer to the text: 4 bytes on Win32, 8 on a
  ** 64-bit build. */
  wyn_template_table = HashCreate(17, static_cast<cw_long>(sizeof(void*)), 1);
  for (t = wyn_builtin_templates; t->name != 0; t++)
    /* The export takes char* as registered; the texts are never written. */
    _wyn_assign_template(const_cast<char*>(t->name), const_cast<char*>(t->text));
}

/*
** Add or replace one template. Neither argument nor the handle is tested:
** before start-up the null handle goes to the editor as it is.
*/
void WYNAPI _wyn_assign_template(char* name, char* text) {
  TemplateAssign(wyn_template_table, name, text);
}
