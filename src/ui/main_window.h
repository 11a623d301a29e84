// TForm1: the main window. It holds the four work areas (file browser, chip
// list, operation list, hex grid), the toolbar, the status bar, the two
// timers and the serial port, renders the core's state and forwards every
// event to the core's handler of the same name.
#ifndef TAKT_UI_MAIN_WINDOW_H_
#define TAKT_UI_MAIN_WINDOW_H_

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <memory>

#include "link/comm32.h"
#include "session/app_core.h"
#include "session/port_session.h"

namespace taktm {

class HexGrid;
class MismatchButton;
class ShellBrowser;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;

class TForm1 : public QMainWindow, public AppHost {
  Q_OBJECT

 public:
  // `comm` replaces the serial port component (tests record its calls).
  explicit TForm1(QWidget* parent = nullptr,
                  std::unique_ptr<TComm32> comm = nullptr);
  ~TForm1() override;

  // The windows created after this one, in start-up order; the main window
  // renders into them and owns the settings dialog until it closes.
  void AttachSettings(TForm3* form3);
  void AttachWindows(TForm4* form4, TForm5* form5, TForm6* form6,
                     TForm7* form7);

  AppCore& core() { return core_; }
  TComm32& Comm321() { return session_.comm(); }
  QTimer& Timer1() { return timer1_; }
  QTimer& Timer2() { return session_.watchdog(); }
  ShellBrowser& Browser() { return *browser_; }
  QListWidget* ListBox1() const { return list_box1_; }
  QListWidget* ListBox2() const { return list_box2_; }
  QLabel* StatusPanel() const { return status_panel_; }
  QStatusBar* StatusBar1() const { return status_bar1_; }
  // Opens the details of a failed verify; shown only while there are some.
  MismatchButton* DetailsButton() const { return mismatch_button_; }
  HexGrid* StringGrid1() const { return grid_; }
  QGroupBox* GroupBox(int n) const;
  TForm3* Settings() const { return form3_; }
  bool LayoutEnabled() const { return layout_enabled_; }

  // Handlers of the toolbar and the timers.
  void ToolButton5Click();
  void ToolButton6Click();
  void ToolButton8Click();
  void Timer2Timer();

  // LinkHost
  bool WriteData(const uint8_t* bytes, uint16_t count) override;
  void RestartWatchdog() override;
  void ShowWarning(const std::string& text) override;
  void ProgressChanged() override;
  // AppHost
  Answer AskYesNoCancel(const std::string& text) override;
  Answer AskYesNo(const std::string& text) override;
  std::optional<std::string> PromptSaveFileName(
      const std::string& file_name) override;
  void ReportError(const std::string& text) override;
  void GridNeedsLayout() override;
  void GridNeedsRefresh() override;
  void Changed(Aspect aspect) override;
  void RebuildLines(int n) override;
  void SetLineText(int i, const std::string& text) override;
  bool Check(Option option) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void FormResize();
  void FormShow();
  // The close sequence; false when the user kept the window open.
  bool FormClose();
  void RenderCaption();
  void RenderStatus();
  void RenderList(QListWidget* list, const std::vector<std::string>& rows);

  AppCore core_;
  PortSession session_;  // Comm321 and Timer2
  QTimer timer1_;

  QToolBar* tool_bar1_ = nullptr;
  QStatusBar* status_bar1_ = nullptr;
  QLabel* status_panel_ = nullptr;
  MismatchButton* mismatch_button_ = nullptr;
  QGroupBox* group_box1_ = nullptr;
  QGroupBox* group_box2_ = nullptr;
  QGroupBox* group_box3_ = nullptr;
  QGroupBox* group_box4_ = nullptr;
  ShellBrowser* browser_ = nullptr;
  QListWidget* list_box1_ = nullptr;
  QListWidget* list_box2_ = nullptr;
  HexGrid* grid_ = nullptr;

  TForm3* form3_ = nullptr;
  TForm4* form4_ = nullptr;
  TForm5* form5_ = nullptr;
  TForm6* form6_ = nullptr;
  TForm7* form7_ = nullptr;

  bool layout_enabled_ = true;
  bool shown_once_ = false;
  bool closing_ = false;
};

}  // namespace taktm

#endif  // TAKT_UI_MAIN_WINDOW_H_
