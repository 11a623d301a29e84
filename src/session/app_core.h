// AppCore: everything the program decides, wired together without any
// window: the image and its grid logic, the working file, the command queue
// and the receive parser, and the chip programmer. The main window owns one
// and implements AppHost; the command line and the end-to-end host do the
// same. What the core can answer itself (the status line, the grid's
// buffer size, the two file options) never goes round through the host.
#ifndef TAKT_SESSION_APP_CORE_H_
#define TAKT_SESSION_APP_CORE_H_

#include <optional>
#include <string>

#include "buffer/buffer_editor.h"
#include "buffer/buffer_host.h"
#include "buffer/data_buffer.h"
#include "buffer/working_file.h"
#include "link/command_queue.h"
#include "link/link_host.h"
#include "link/receive_parser.h"
#include "programming/chip_programmer.h"
#include "programming/programming_host.h"

namespace taktm {

// What the whole core needs from its front-end.
class AppHost : public LinkHost {
 public:
  // The link, the buffer and the programmer show warnings; one box serves
  // all three.
  void ShowWarning(const std::string& text) override = 0;
  // The buffer's boxes, the save dialog, the error report and the grid
  // (BufferHost's, less what the core answers).
  virtual Answer AskYesNoCancel(const std::string& text) = 0;
  virtual Answer AskYesNo(const std::string& text) = 0;
  virtual std::optional<std::string> PromptSaveFileName(
      const std::string& file_name) = 0;
  virtual void ReportError(const std::string& text) = 0;
  virtual void GridNeedsLayout() = 0;
  virtual void GridNeedsRefresh() = 0;
  // One part of the programming state changed.
  virtual void Changed(Aspect aspect) = 0;
  // The about box's lines.
  virtual void RebuildLines(int n) = 0;
  virtual void SetLineText(int i, const std::string& text) = 0;
  // A settings option as ticked at this moment.
  virtual bool Check(Option option) = 0;
};

class AppCore : private ProgrammingHost, private BufferHost {
 public:
  explicit AppCore(AppHost& host);
  AppCore(const AppCore&) = delete;
  AppCore& operator=(const AppCore&) = delete;

  DataBuffer& buffer() { return buffer_; }
  BufferEditor& editor() { return editor_; }
  WorkingFileController& working_file() { return working_file_; }
  CommandQueue& queue() { return queue_; }
  ChipProgrammer& programmer() { return programmer_; }
  ReceiveParser& parser() { return parser_; }

 private:
  // ProgrammingHost: the grid and the working file are handled here, the
  // rest goes to the front-end.
  void Changed(Aspect aspect) override { host_.Changed(aspect); }
  void RebuildLines(int n) override { host_.RebuildLines(n); }
  void SetLineText(int i, const std::string& text) override {
    host_.SetLineText(i, text);
  }
  void ResizeBuffer(size_t n) override { editor_.ResizeBuffer(n); }
  void FormatGrid() override { editor_.FormatGrid(); }
  ReloadResult ReloadWorkingFile() override;
  bool Check(Option option) override { return host_.Check(option); }
  // Both hosts' warning.
  void ShowWarning(const std::string& text) override {
    host_.ShowWarning(text);
  }

  // BufferHost: the status line is the programmer's; the rest goes to the
  // front-end.
  Answer AskYesNoCancel(const std::string& text) override {
    return host_.AskYesNoCancel(text);
  }
  Answer AskYesNo(const std::string& text) override {
    return host_.AskYesNo(text);
  }
  std::optional<std::string> PromptSaveFileName(
      const std::string& file_name) override {
    return host_.PromptSaveFileName(file_name);
  }
  void ReportError(const std::string& text) override {
    host_.ReportError(text);
  }
  bool Check4() override { return host_.Check(Option::kReadHexFiles); }
  bool Check12() override { return host_.Check(Option::kReadEepFiles); }
  void ShowStatus(const std::string& text) override {
    programmer_.SetStatusText(text);
  }
  void ResetStatusColour() override { programmer_.ResetStatusColour(); }
  void GridNeedsLayout() override { host_.GridNeedsLayout(); }
  void GridNeedsRefresh() override { host_.GridNeedsRefresh(); }

  // The queue's link host: the front-end's, except that the retry limit is
  // first reported to the programmer, which sets its outcome and, when the
  // device answered another command, puts that on the status line.
  class QueueHost : public LinkHost {
   public:
    explicit QueueHost(AppCore& core) : core_(core) {}
    bool WriteData(const uint8_t* bytes, uint16_t count) override {
      return core_.host_.WriteData(bytes, count);
    }
    void RestartWatchdog() override { core_.host_.RestartWatchdog(); }
    void ShowWarning(const std::string& text) override {
      core_.host_.ShowWarning(text);
    }
    void ShowRetryWarning(const std::string& text) override;
    void ProgressChanged() override { core_.host_.ProgressChanged(); }

   private:
    AppCore& core_;
  };

  AppHost& host_;
  QueueHost queue_host_{*this};
  DataBuffer buffer_;
  BufferEditor editor_;
  WorkingFileController working_file_;
  CommandQueue queue_;
  ChipProgrammer programmer_;
  ReceiveParser parser_;
};

}  // namespace taktm

#endif  // TAKT_SESSION_APP_CORE_H_
