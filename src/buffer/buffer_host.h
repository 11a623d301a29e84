// What the buffer, grid and working-file logic need from the windows around
// them: modal boxes, the save-file dialog, the error report, two settings
// options, the status bar and the hex grid's re-layout and refresh. The main
// window implements it; unit tests fake it.
#ifndef TAKT_BUFFER_BUFFER_HOST_H_
#define TAKT_BUFFER_BUFFER_HOST_H_

#include <optional>
#include <string>

namespace taktm {

// The answer to a modal question. kCancel also stands for a box closed by its
// title bar or by Escape where the box has no Cancel button.
enum class Answer { kYes, kNo, kCancel };

class BufferHost {
 public:
  virtual ~BufferHost() = default;

  // Modal warning with a single OK button; returns when it is closed.
  virtual void ShowWarning(const std::string& text) = 0;
  // Modal question with Yes, No and Cancel.
  virtual Answer AskYesNoCancel(const std::string& text) = 0;
  // Modal question with Yes and No.
  virtual Answer AskYesNo(const std::string& text) = 0;
  // The save-file dialog, preset with `file_name`; the chosen path, or
  // nothing when the user cancelled.
  virtual std::optional<std::string> PromptSaveFileName(
      const std::string& file_name) = 0;
  // The program's general error report: a message box with `text`, which
  // already holds the system's reason.
  virtual void ReportError(const std::string& text) = 0;

  // The settings options "понимать HEX-файлы" (Check4) and "понимать
  // EEP-файлы" (Check12), read each time they are needed.
  virtual bool Check4() = 0;
  virtual bool Check12() = 0;

  // The status bar's single panel, and its colour back to the window's.
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void ResetStatusColour() = 0;

  // The grid must be laid out again in its group box (its row count may have
  // changed) and then refreshed: HexGrid::FormatGrid.
  virtual void GridNeedsLayout() = 0;
  // The grid must bring its visible rows in line with the buffer:
  // HexGrid::RefreshGrid.
  virtual void GridNeedsRefresh() = 0;
};

}  // namespace taktm

#endif  // TAKT_BUFFER_BUFFER_HOST_H_
