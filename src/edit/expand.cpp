/*
** Template expansion at the cursor.
*/
#include "../frame/exports.h"
#include "../frame/module.h"

cw_long WYNAPI _wyn_expand(void)
{
  return 0;
}
