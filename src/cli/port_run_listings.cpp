// The steps of a port's run that list what the chip has: its operations,
// memories and bits (ops), and the bits read or written.
#include <string>
#include <vector>

#include "cli/port_run.h"
#include "programming/operation_table.h"

namespace taktm {

void PortRun::ReportOps() {
  ChipProgrammer& p = programmer();
  std::vector<JsonObject> operations;
  Say("Память программ: " + std::to_string(p.FlashSize()) + " байт");
  Say("EEPROM: " + std::to_string(p.EepromSize()) + " байт");
  Say("F1: " + std::to_string(p.SizeF1()));
  Say("Операции:");
  for (size_t k = 0; k < p.operation_rows().size(); ++k) {
    const int code = p.OperationCodes()[k];
    const char* command = CommandForOperation(code);
    Say("  " + std::to_string(code) + "\t" + p.operation_rows()[k] +
        (command ? std::string("\t") + command : std::string()));
    JsonObject op;
    op.AddNumber("code", code).Add("name", p.operation_rows()[k]);
    if (command) op.Add("command", command);
    operations.push_back(op);
  }
  facts()
      .AddNumber("flash_size", p.FlashSize())
      .AddNumber("eeprom_size", p.EepromSize())
      .AddNumber("f1", p.SizeF1())
      .Add("operations", operations);
  for (BitKind kind : {BitKind::kLock, BitKind::kFuse}) {
    BitRows& rows = p.bits(kind);
    Say(kind == BitKind::kLock ? "LOCK биты:" : "FUSE биты:");
    std::vector<std::string> names;
    for (int i = 0; i < rows.count(); ++i) {
      Say("  " + std::to_string(i) + "\t" + rows.row(i).caption);
      names.push_back(rows.row(i).caption);
    }
    facts().Add(kind == BitKind::kLock ? "locks" : "fuses", names);
  }
}

void PortRun::ReportBits(BitKind kind) {
  BitRows& rows = programmer().bits(kind);
  std::vector<JsonObject> bits;
  for (int i = 0; i < rows.count(); ++i) {
    Say(std::to_string(i) + "\t" + rows.row(i).caption + "\t" +
        (rows.row(i).ticked ? "1" : "0"));
    JsonObject bit;
    bit.AddNumber("index", i)
        .Add("name", rows.row(i).caption)
        .AddBool("ticked", rows.row(i).ticked);
    bits.push_back(bit);
  }
  facts().Add("bits", bits);
}

}  // namespace taktm
