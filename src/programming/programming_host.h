// What the chip programming core needs from the windows around it. The main
// window implements it (forwarding to the about box, the hex grid, the
// working file and the settings dialog); unit tests fake it.
#ifndef TAKT_PROGRAMMING_PROGRAMMING_HOST_H_
#define TAKT_PROGRAMMING_PROGRAMMING_HOST_H_

#include <cstddef>
#include <string>

#include "programming/option_id.h"

namespace taktm {

// The parts of the programming state a window renders; each change is
// reported with the one part it touched.
enum class Aspect {
  kCaption,        // main window caption
  kStatus,         // status line text and its error colour
  kChipList,       // rows of the chip list
  kOperationList,  // rows of the operation list
  kLockRows,       // rows of the lock bits dialog (count, captions, ticks)
  kFuseRows,       // rows of the fuse bits dialog
  kLockDialog,  // lock dialog shown or hidden, "Записать" enabled or not
  kFuseDialog,  // the same for the fuse dialog
  kOutcome,     // what the last thing done came to (ChipProgrammer::outcome)
};

// The reload of the working file before a write.
struct ReloadResult {
  bool loaded = false;
  std::string why;  // when not loaded: why, in whole sentences
};

class ProgrammingHost {
 public:
  virtual ~ProgrammingHost() = default;

  // One part of the state changed; the windows showing it repaint.
  virtual void Changed(Aspect aspect) = 0;

  // About box: rebuild with n empty lines; set the text of line i.
  virtual void RebuildLines(int n) = 0;
  virtual void SetLineText(int i, const std::string& text) = 0;

  // Hex grid: size the buffer to n bytes (new bytes 0) and lay the grid out
  // for it; re-render the grid after the buffer's bytes changed.
  virtual void ResizeBuffer(size_t n) = 0;
  virtual void FormatGrid() = 0;

  // Reloads the working file. The buffer is replaced only by an image that
  // loaded and is not empty; otherwise buffer, grid and BufferModified stay
  // as they were.
  virtual ReloadResult ReloadWorkingFile() = 0;

  // A settings option as ticked at this moment.
  virtual bool Check(Option option) = 0;

  // Modal warning with a single OK button; returns when it is closed.
  virtual void ShowWarning(const std::string& text) = 0;
};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_PROGRAMMING_HOST_H_
