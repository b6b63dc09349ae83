// file: URIs as clients send them and the paths they stand for. Only
// file: URIs name something the server can read; any other is no path.
#ifndef WYN_LSP_URI_H
#define WYN_LSP_URI_H

#include <string>

namespace wyn::lsp {

// The path of a file: URI, percent escapes decoded and any authority
// ("localhost") and trailing slashes dropped; "" for another scheme, a URI
// without a path, or one whose escapes hold a NUL byte.
std::string uri_to_path(const std::string& uri);
// A file: URI for path, every byte outside the unreserved set and '/'
// percent-escaped.
std::string path_to_uri(const std::string& path);

}  // namespace wyn::lsp

#endif
