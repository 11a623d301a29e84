// A small JSON writer for the results of takt-m-cli: one object, members in
// the order they are added, strings escaped; the text is always valid UTF-8.
#ifndef TAKT_CLI_JSON_TEXT_H_
#define TAKT_CLI_JSON_TEXT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace taktm {

// The JSON string literal for `text`, quotes included; bytes that are not
// UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

class JsonObject {
 public:
  JsonObject& Add(const std::string& key, const std::string& value);
  JsonObject& Add(const std::string& key, const char* value);
  JsonObject& AddNumber(const std::string& key, int64_t value);
  JsonObject& AddBool(const std::string& key, bool value);
  JsonObject& Add(const std::string& key, const JsonObject& value);
  JsonObject& Add(const std::string& key,
                  const std::vector<std::string>& value);
  JsonObject& Add(const std::string& key, const std::vector<JsonObject>& value);
  // `json` is already JSON text.
  JsonObject& AddRaw(const std::string& key, const std::string& json);

  std::string Text() const { return "{" + members_ + "}"; }

 private:
  std::string members_;
};

}  // namespace taktm

#endif  // TAKT_CLI_JSON_TEXT_H_
