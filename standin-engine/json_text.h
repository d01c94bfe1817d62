#pragma once
// JSON texts of the stand-in's call log: strings, GUIDs, argument lists.
#include <cstddef>
#include <cstring>
#include <string>

#include "engine/build_engine.h"

namespace standin {

std::string jsonString(const char* data, size_t length);
std::string jsonString(const std::string& s);
std::string guidText(const Guid& g);

class JsonArgs {
 public:
  JsonArgs& num(long long v) { return add(std::to_string(v)); }
  JsonArgs& text(const char* s) { return add(s ? jsonString(s, std::strlen(s)) : "null"); }
  JsonArgs& bytesText(const void* s, size_t n) {
    return add(s ? jsonString(static_cast<const char*>(s), n) : "null");
  }
  JsonArgs& guid(const Guid* g) { return add(g ? jsonString(guidText(*g)) : "null"); }
  JsonArgs& name(const std::string* objectName) { return add(objectName ? jsonString(*objectName) : "null"); }
  JsonArgs& raw(const std::string& json) { return add(json); }
  const std::string& str() const { return json_; }

 private:
  JsonArgs& add(const std::string& item) {
    if (!json_.empty()) json_ += ", ";
    json_ += item;
    return *this;
  }
  std::string json_;
};

}  // namespace standin
