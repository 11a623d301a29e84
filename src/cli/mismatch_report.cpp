#include "cli/mismatch_report.h"

#include <vector>

#include "link/memory_command.h"
#include "programming/mismatch_details.h"

namespace taktm {

std::string MismatchText(const MismatchDetails& details) {
  std::string text;
  bool in_bytes = false;  // a run of byte lines, which end in no full stop
  for (const std::string& line : MismatchLines(details)) {
    const bool byte_line = line.empty() || line.back() != '.';
    if (!text.empty()) text += in_bytes && byte_line ? "; " : " ";
    if (in_bytes && !byte_line) text.insert(text.size() - 1, ".");
    text += line;
    in_bytes = byte_line;
  }
  if (in_bytes) text += '.';
  return text;
}

JsonObject MismatchJson(const MismatchDetails& d) {
  std::vector<JsonObject> bytes;
  for (const ByteMismatch& m : d.first) {
    JsonObject b;
    b.AddNumber("address", m.address)
        .AddNumber("file", m.expected)
        .AddNumber("chip", m.actual);
    bytes.push_back(b);
  }
  JsonObject o;
  o.AddNumber("address", d.chunk_address)
      .Add("address_hex", Hex(d.chunk_address))
      .AddNumber("length", d.chunk_length)
      .AddNumber("read_back", d.read_back)
      .AddNumber("differing_bytes", d.differing_bytes)
      .AddNumber("bits_cleared", d.bits_cleared)
      .AddNumber("bits_set", d.bits_set)
      .AddBool("only_cleared_bits", OnlyClearedBits(d))
      .Add("bytes", bytes);
  if (OnlyClearedBits(d)) o.Add("hint", kUnerasedHint);
  return o;
}

}  // namespace taktm
