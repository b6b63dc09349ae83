/*
** CWSTART.dll of the Windows stand-in: the five start-up and editing
** operations the plug-in imports from it, each a thin forwarder into
** CWDLL32.dll, which holds the one editor model both DLLs share.
*/
#include "../plugin/host/host.h"

/* Exported at their import numbers by cwstart.def. */
extern "C" {

cw_long CWAPI cwstart_register_extension(const char* extension) {
  return RegisterExtension(extension);
}

cw_long CWAPI cwstart_expand_template(const char* text) {
  return ExpandTemplate(text);
}

cw_long CWAPI cwstart_insert_new_line(void) {
  return InsertNewLine();
}

cw_long CWAPI cwstart_scan_line_limit(cw_long limit) {
  return ScanLineLimit(limit);
}

cw_long CWAPI cwstart_template_assign(cw_table table, const char* name, const char* text) {
  return TemplateAssign(table, name, text);
}

}  // extern "C"
