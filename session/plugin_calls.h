// How the session's own files reach the plug-in: a registered function
// called by name, with whatever the editor refused for lack of memory on
// the way turned into std::bad_alloc. For this layer alone: front ends go
// through Plugin and Document.
#ifndef WYN_SESSION_PLUGIN_CALLS_H
#define WYN_SESSION_PLUGIN_CALLS_H

#include <string>

namespace wyn {

// Calls the registered function name as the editor does, arguments as it
// passes them; *result may be null. False, with *error saying so, when no
// function of that name takes argc arguments. Throws std::bad_alloc when
// the editor refused memory while the plug-in ran.
bool call_plugin(const char* name, int argc, const char* const* argv, long* result,
                 std::string* error);

}  // namespace wyn

#endif
