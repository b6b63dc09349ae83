/*
** Library attach and detach on ELF systems. The C and C++ runtimes are
** set up by the dynamic loader; no plug-in state is made or freed here:
** the vocabulary tables belong to the editor.
*/
extern "C" void wyn_attach(void) {}
extern "C" void wyn_detach(void) {}
