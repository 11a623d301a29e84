#include "cli/json_text.h"

#include <cstdio>

#include "cli/utf8_text.h"

namespace taktm {

std::string JsonString(const std::string& given) {
  // JSON text is UTF-8: bytes of another encoding (a file name, a port)
  // become U+FFFD instead of making the whole object unreadable.
  const std::string text = ValidUtf8(given);
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", u);
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

JsonObject& JsonObject::AddRaw(const std::string& key,
                               const std::string& json) {
  if (!members_.empty()) members_ += ",";
  members_ += JsonString(key) + ":" + json;
  return *this;
}

JsonObject& JsonObject::Add(const std::string& key, const std::string& value) {
  return AddRaw(key, JsonString(value));
}

JsonObject& JsonObject::Add(const std::string& key, const char* value) {
  return AddRaw(key, JsonString(value));
}

JsonObject& JsonObject::AddNumber(const std::string& key, int64_t value) {
  return AddRaw(key, std::to_string(value));
}

JsonObject& JsonObject::AddBool(const std::string& key, bool value) {
  return AddRaw(key, value ? "true" : "false");
}

JsonObject& JsonObject::Add(const std::string& key, const JsonObject& value) {
  return AddRaw(key, value.Text());
}

JsonObject& JsonObject::Add(const std::string& key,
                            const std::vector<std::string>& value) {
  std::string list;
  for (const std::string& v : value) {
    if (!list.empty()) list += ',';
    list += JsonString(v);
  }
  return AddRaw(key, "[" + list + "]");
}

JsonObject& JsonObject::Add(const std::string& key,
                            const std::vector<JsonObject>& value) {
  std::string list;
  for (const JsonObject& v : value) {
    if (!list.empty()) list += ',';
    list += v.Text();
  }
  return AddRaw(key, "[" + list + "]");
}

}  // namespace taktm
