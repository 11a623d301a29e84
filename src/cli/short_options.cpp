#include "cli/short_options.h"

#include <algorithm>
#include <iterator>

namespace taktm {
namespace {

// An option with a short letter, a value, or both: the one list the reader
// and the short-option expansion go by. A value is given as "--name=value"
// or as the next word.
struct ShortOption {
  char letter;  // 0: none
  const char* long_name;
  bool takes_value;
};

constexpr ShortOption kShortOptions[] = {
    {'p', "--port", true},      {'b', "--baud", true},
    {'c', "--chip", true},      {'q', "--quiet", false},
    {'V', "--version", false},  {'h', "--help", false},
    {0, "--parity", true},      {0, "--timeout", true},
    {0, "--serial", true},      {0, "--log", true},
    {0, "--format", true},      {0, "--offset", true},
    {0, "--serial-name", true}, {0, "--station", true},
    {0, "--probe-ms", true},    {0, "--range", true},
    {0, "--trace", true},       {0, "--flash", true},
    {0, "--eeprom", true},      {0, "--fuses", true},
    {0, "--locks", true},
};

const ShortOption* FindShort(char letter) {
  const auto* found =
      std::find_if(std::begin(kShortOptions), std::end(kShortOptions),
                   [letter](const ShortOption& o) {
                     return letter != 0 && o.letter == letter;
                   });
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
  return std::any_of(std::begin(kShortOptions), std::end(kShortOptions),
                     [&](const ShortOption& o) {
                       return o.takes_value && long_name == o.long_name;
                     });
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
