// The programming core wired to the real queue, parser and buffer, with a
// fake host and the virtual programmer's device model answering the head
// command.
#ifndef TAKT_TESTS_PROGRAMMING_PROGRAMMING_FIXTURE_H_
#define TAKT_TESTS_PROGRAMMING_PROGRAMMING_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "buffer/data_buffer.h"
#include "device_model.h"
#include "link/command_queue.h"
#include "link/receive_parser.h"
#include "programming/chip_programmer.h"
#include "programming/opcodes.h"
#include "support/fake_link_host.h"

namespace taktm::testing {

class FakeProgrammingHost : public ProgrammingHost {
 public:
  explicit FakeProgrammingHost(DataBuffer& buffer) : buffer_(buffer) {}

  void Changed(Aspect aspect) override { changes.push_back(aspect); }
  void RebuildLines(int n) override { lines.assign(n, ""); }
  void SetLineText(int i, const std::string& text) override {
    if (i < static_cast<int>(lines.size())) lines[i] = text;
  }
  void ResizeBuffer(size_t n) override {
    buffer_.Resize(n);
    resizes.push_back(n);
  }
  void FormatGrid() override { ++grid_refreshes; }
  // As the working file does: only an image that loaded and is not empty
  // replaces the buffer.
  ReloadResult ReloadWorkingFile() override {
    ++loads;
    if (!file_loads) {
      return {false, "Рабочий файл не загружен. Нет такого файла или папки."};
    }
    if (file.empty()) return {false, "Рабочий файл пуст."};
    buffer_.Assign(file);
    return {true, std::string()};
  }
  bool Check(Option option) override {
    return !options_off.count(OptionNumber(option));
  }
  void ShowWarning(const std::string& text) override {
    warnings.push_back(text);
    if (on_warning) on_warning();
  }

  std::vector<Aspect> changes;
  std::vector<std::string> lines;
  std::vector<size_t> resizes;
  int grid_refreshes = 0;
  int loads = 0;
  std::vector<uint8_t> file;
  bool file_loads = true;
  std::map<int, bool> options_off;
  std::vector<std::string> warnings;
  std::function<void()> on_warning;

 private:
  DataBuffer& buffer_;
};

// The device: the virtual programmer's own model (devsim::DeviceModel) in
// this process. The fields are the test's handles on its first chip: they are
// handed to the model before each command and read back after it, so a test
// may change the chip between commands.
class ModelDevice {
 public:
  ModelDevice();

  uint32_t mask = 0x001FFFFF;  // codes 0..20
  uint32_t flash_size = 448;
  int lock_bits = 2;
  uint8_t signature_verdict = 1;
  int stuck_address = -1;  // a flash byte that writes do not change
  std::vector<uint8_t> flash = std::vector<uint8_t>(448, 0xFF);
  std::vector<uint8_t> eeprom = std::vector<uint8_t>(224, 0xFF);
  std::vector<uint8_t> fuse_states = {1, 0, 1};

  // The model's reply payload for a command; writes and erases change it.
  Bytes ReplyFor(const Bytes& command);

 private:
  devsim::DeviceModel model_;
};

class ProgrammingTest : public ::testing::Test {
 protected:
  // Feeds one reply frame to the parser, as the device sends it: after the
  // head command has gone out (an acknowledgement first sends it when it
  // has not). An empty payload is an acknowledgement alone.
  void Reply(const Bytes& payload) {
    if (!payload.empty() && !queue_.empty() && queue_.HeadSends() == 0) {
      Ack();
    }
    const Bytes frame = Frame(payload);
    parser_.Comm321ReceiveData(frame.data(), frame.size());
  }
  void Ack() {
    const Bytes ack = Frame({});
    parser_.Comm321ReceiveData(ack.data(), ack.size());
  }
  void Enqueue(const Bytes& command) {
    queue_.EnqueueCommand(command.data(), command.size());
  }
  // The device answers the head command.
  void AnswerHead() { Reply(device_.ReplyFor(queue_.entry(0))); }
  // The device answers until the queue is empty (or `limit` replies).
  void AnswerAll(int limit = 100000) {
    while (!queue_.empty() && limit-- > 0) AnswerHead();
  }
  std::vector<Bytes> Queued() const {
    std::vector<Bytes> out;
    for (size_t i = 0; i < queue_.count(); ++i) out.push_back(queue_.entry(i));
    return out;
  }
  // The queue in short: opcode, then ":index" for two-byte commands and
  // "@address+count" for memory commands.
  std::string Summary() const;
  // Discovery and selection of chip 0 with the device's answers.
  void Discover() {
    programmer_.StartDiscovery();
    AnswerAll();
    programmer_.SelectChip(0);
    AnswerAll();
  }
  void Choose(int code) { programmer_.RunOperation(0, code); }

  FakeLinkHost link_;
  CommandQueue queue_{link_};
  DataBuffer buffer_;
  FakeProgrammingHost host_{buffer_};
  ChipProgrammer programmer_{queue_, buffer_, host_};
  ReceiveParser parser_{queue_, link_, programmer_};
  ModelDevice device_;
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_PROGRAMMING_PROGRAMMING_FIXTURE_H_
