// file: URIs both ways: escapes, authorities, trailing slashes, other
// schemes, and bytes a path may hold that a URI may not.
#include <gtest/gtest.h>

#include <string>

#include "uri.h"

namespace {

TEST(LspUri, ToPath) {
  struct Case {
    const char* uri;
    std::string path;  // "" when the URI names no path
  } cases[] = {
      {"file:///a/b.wyn", "/a/b.wyn"},
      {"file://localhost/a/b.wyn", "/a/b.wyn"},
      {"file:///a%20b/c%2Fd.wyn", "/a b/c/d.wyn"},
      {"file:///%c3%A4.wyn", "/\xC3\xA4.wyn"},
      {"file:///a/b/", "/a/b"},
      {"file:///", "/"},
      {"file:///a%2", "/a%2"},    // a cut escape is taken as written
      {"file:///a%zz", "/a%zz"},  // ... and so is one that is not hex
      {"file:///a%00b", ""},      // a NUL would end the path early
      {"file://host", ""},
      {"untitled:Untitled-1", ""},
      {"FILE:///a", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(wyn::lsp::uri_to_path(c.uri), c.path) << c.uri;
}

TEST(LspUri, ToUriAndBack) {
  struct Case {
    std::string path, uri;
  } cases[] = {
      {"/a/b.wyn", "file:///a/b.wyn"},
      {"/a b/c#d?e%f.wyn", "file:///a%20b/c%23d%3Fe%25f.wyn"},
      {"/\xC3\xA4~-._", "file:///%C3%A4~-._"},
      {std::string("/a\0b", 4), "file:///a%00b"},  // never a raw NUL
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wyn::lsp::path_to_uri(c.path), c.uri);
    if (c.path.find('\0') == std::string::npos) {
      EXPECT_EQ(wyn::lsp::uri_to_path(wyn::lsp::path_to_uri(c.path)), c.path);
    }
  }
}

}  // namespace
