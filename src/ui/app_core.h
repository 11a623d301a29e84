// AppCore: everything the program decides, wired together without any
// window: the image and its grid logic, the working file, the command queue
// and the receive parser, and the chip programmer. The main window owns one
// and implements AppHost; a command-line front-end or a test can do the same.
#ifndef TAKT_UI_APP_CORE_H_
#define TAKT_UI_APP_CORE_H_

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
class AppHost : public LinkHost, public BufferHost {
 public:
  // Both the link and the buffer show warnings; one box serves both.
  void ShowWarning(const std::string& text) override = 0;
  // One part of the programming state changed.
  virtual void Changed(Aspect aspect) = 0;
  // The about box's lines.
  virtual void RebuildLines(int n) = 0;
  virtual void SetLineText(int i, const std::string& text) = 0;
  // A settings option as ticked at this moment.
  virtual bool Check(Option option) = 0;
};

class AppCore : private ProgrammingHost {
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
  void ShowWarning(const std::string& text) override {
    host_.ShowWarning(text);
  }

  AppHost& host_;
  DataBuffer buffer_;
  BufferEditor editor_;
  WorkingFileController working_file_;
  CommandQueue queue_;
  ChipProgrammer programmer_;
  ReceiveParser parser_;
};

}  // namespace taktm

#endif  // TAKT_UI_APP_CORE_H_
