// TForm5: the small borderless window that shows how much of a long command
// queue is left.
#ifndef TAKT_UI_PROGRESS_WINDOW_H_
#define TAKT_UI_PROGRESS_WINDOW_H_

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include "link/command_queue.h"

namespace taktm {

class TForm5 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm5(QWidget* parent = nullptr);

  // Brings the bar and the window's visibility in line with the queue.
  void Render(const ProgressModel& progress);

  QLabel* Label1() const { return label1_; }
  QProgressBar* ProgressBar1() const { return progress_bar1_; }

 private:
  QLabel* label1_;
  QProgressBar* progress_bar1_;
};

}  // namespace taktm

#endif  // TAKT_UI_PROGRESS_WINDOW_H_
