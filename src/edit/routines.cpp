/*
** The routine list: mark the header lines of function definitions.
*/
#include "../frame/exports.h"
#include "../frame/module.h"

void WYNAPI _wyn_routines(void)
{
}
