/*
** Smart indent after a block word.
*/
#include "../frame/exports.h"
#include "../frame/module.h"

cw_long WYNAPI _wyn_indent(void)
{
  return 0;
}
