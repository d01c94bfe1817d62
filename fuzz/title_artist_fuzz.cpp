// Fuzz target of splitTitleArtist on arbitrary paths (any bytes, NUL ends).
//
// Properties, checked against the name independently of how the function
// finds its parts: without a dash in the file name both parts are empty;
// with one, the first part is the text before the last dash (one trailing
// space dropped), and the second part is a piece of the text after it that
// starts right after the dash (one leading space skipped) and holds no dash.
// Nothing of the folders ever shows.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/clip_metadata.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& path) {
  std::fprintf(stderr, "splitTitleArtist property broken: %s (path of %zu bytes)\n", what, path.size());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  const std::string terminated = path.c_str();  // what a C caller sees: up to the first NUL
  const TitleArtistParts parts = splitTitleArtist(terminated.c_str());

  const size_t separator = terminated.find_last_of("\\/");
  const std::string name = separator == std::string::npos ? terminated : terminated.substr(separator + 1);
  const size_t dash = name.rfind('-');
  if (dash == std::string::npos) {
    if (!parts.first.empty() || !parts.second.empty()) fail("parts without a dash", path);
    return 0;
  }
  std::string before = name.substr(0, dash);
  if (!before.empty() && before.back() == ' ') before.pop_back();
  if (parts.first != before) fail("first part is not the text before the last dash", path);

  std::string after = name.substr(dash + 1);
  if (!after.empty() && after.front() == ' ') after.erase(0, 1);
  if (after.compare(0, parts.second.size(), parts.second) != 0) fail("second part does not follow the dash", path);
  if (parts.second.find('-') != std::string::npos) fail("second part holds a dash", path);
  if (parts.first.find_first_of("\\/") != std::string::npos || parts.second.find_first_of("\\/") != std::string::npos)
    fail("a part reaches into the folders", path);
  // The second part stops only at the name's end or at its last dot.
  const size_t end = after.size() == parts.second.size() ? std::string::npos : parts.second.size();
  if (end != std::string::npos && after.substr(end).find('.') == std::string::npos)
    fail("second part stops before the end without a dot", path);
  if (end != std::string::npos && after.find('.', end + 1) != std::string::npos)
    fail("second part stops at a dot that is not the last", path);

  // Null is a valid argument and gives nothing.
  const TitleArtistParts none = splitTitleArtist(nullptr);
  if (!none.first.empty() || !none.second.empty()) fail("parts of a null path", path);
  return 0;
}
