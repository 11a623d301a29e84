#include "cli/short_options.h"

#include <algorithm>
#include <iterator>

namespace taktm {
namespace {

struct ShortOption {
  char letter;
  const char* long_name;
  bool takes_value;
};

constexpr ShortOption kShortOptions[] = {
    {'p', "--port", true},   {'b', "--baud", true},     {'c', "--chip", true},
    {'q', "--quiet", false}, {'V', "--version", false}, {'h', "--help", false},
};

// The long options that take a value, given as "--name=value" or as the
// next word.
constexpr const char* kValueOptions[] = {
    "--port",    "--baud",     "--parity", "--chip",   "--timeout",
    "--serial",  "--log",      "--format", "--offset", "--serial-name",
    "--station", "--probe-ms", "--range",  "--trace",  "--flash",
    "--eeprom",  "--fuses",    "--locks",
};

const ShortOption* FindShort(char letter) {
  const auto* found = std::find_if(
      std::begin(kShortOptions), std::end(kShortOptions),
      [letter](const ShortOption& o) { return o.letter == letter; });
  return found != std::end(kShortOptions) ? found : nullptr;
}

// The long forms of the short options in `word` ("-qpX"), or nothing when
// a letter is none of them.
bool ExpandWord(const std::string& word, std::vector<std::string>* out) {
  std::vector<std::string> expanded;
  for (size_t i = 1; i < word.size(); ++i) {
    const ShortOption* option = FindShort(word[i]);
    if (option == nullptr) return false;
    if (option->takes_value && i + 1 < word.size()) {
      expanded.push_back(std::string(option->long_name) + "=" +
                         word.substr(i + 1));
      break;
    }
    expanded.push_back(option->long_name);
  }
  out->insert(out->end(), expanded.begin(), expanded.end());
  return true;
}

}  // namespace

bool IsValueOption(const std::string& long_name) {
  return std::any_of(std::begin(kValueOptions), std::end(kValueOptions),
                     [&](const char* name) { return long_name == name; });
}

std::vector<std::string> ExpandShortOptions(
    const std::vector<std::string>& args) {
  std::vector<std::string> out;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") {
      out.insert(out.end(), args.begin() + static_cast<long>(i), args.end());
      break;
    }
    const bool short_word = word.size() > 1 && word[0] == '-' && word[1] != '-';
    if (!short_word || !ExpandWord(word, &out)) out.push_back(word);
    // An option left waiting for its value takes the next word as it is.
    if (IsValueOption(out.back()) && i + 1 < args.size()) {
      out.push_back(args[++i]);
    }
  }
  return out;
}

bool AsksForJson(const std::vector<std::string>& args) {
  const std::vector<std::string> words = ExpandShortOptions(args);
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--") break;
    if (words[i] == "--json" || words[i].rfind("--json=", 0) == 0) return true;
    if (IsValueOption(words[i])) ++i;
  }
  return false;
}

}  // namespace taktm
