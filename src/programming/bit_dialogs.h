// The lock bits dialog TForm4 and the fuse bits dialog TForm6: a column of
// check boxes, one per bit of the selected chip, and a "Записать" button that
// queues the writes. Both render the core's BitRows model and forward the
// user's ticks and the write to the ChipProgrammer; they differ only in the
// parameters of BitDialog.
#ifndef TAKT_PROGRAMMING_BIT_DIALOGS_H_
#define TAKT_PROGRAMMING_BIT_DIALOGS_H_

#include <QCheckBox>
#include <QColor>
#include <QPushButton>
#include <QWidget>
#include <vector>

#include "programming/chip_programmer.h"

namespace taktm {

class BitDialog : public QWidget {
  Q_OBJECT

 public:
  struct Look {
    BitKind kind;
    const char* caption;
    int client_width;
    int button_left;
    QColor background;
  };

  BitDialog(ChipProgrammer& programmer, const Look& look,
            QWidget* parent = nullptr);

  // Brings rows, captions, ticks, the button's state and the visibility in
  // line with the core; the main window calls it on every change of the
  // dialog's rows or its shown state.
  void Render();

  QPushButton* button1() const { return button1_; }
  const std::vector<QCheckBox*>& rows() const { return rows_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // The window system frames a shown window a moment later: the outer
  // height then follows the real frame.
  void moveEvent(QMoveEvent* event) override;

 private:
  BitRows& model() const { return programmer_.bits(look_.kind); }
  void RebuildRows(int n);
  void ClearRows();
  void LayOut();
  void CentreOnScreen();
  // "Записать" released under the mouse, or Enter released on it.
  void Button1MouseUp() { programmer_.Button1Click(look_.kind); }
  void Button1KeyUp() { programmer_.Button1Click(look_.kind); }
  // Enter released on a row or the dialog: hide without writing.
  void FormKeyUp() { model().Hide(); }
  // True for an Enter release whose press this dialog saw: an Enter pressed
  // elsewhere (the operation list that showed the dialog) must not act here.
  bool EnterReleaseCounts(const QKeyEvent* event);

  ChipProgrammer& programmer_;
  const Look look_;
  QPushButton* button1_;
  std::vector<QCheckBox*> rows_;
  int seen_rebuilds_ = 0;
  int seen_show_requests_ = 0;
  bool enter_down_ = false;
};

// "Lock биты": emptied when the device is lost.
class TForm4 : public BitDialog {
  Q_OBJECT

 public:
  explicit TForm4(ChipProgrammer& programmer, QWidget* parent = nullptr);
};

// "Fuse биты": writes every bit with its state.
class TForm6 : public BitDialog {
  Q_OBJECT

 public:
  explicit TForm6(ChipProgrammer& programmer, QWidget* parent = nullptr);
};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_BIT_DIALOGS_H_
