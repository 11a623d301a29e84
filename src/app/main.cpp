// takt-m: creates the windows in their start-up order and runs the event
// loop. The settings dialog's creation opens the serial port; errors raised
// while a window is created are shown and the program goes on.
#include <QApplication>
#include <memory>

#include "app/app_icon.h"
#include "config/settings_dialog.h"
#include "programming/bit_dialogs.h"
#include "ui/about_box.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/shell_browser.h"

int main(int argc, char** argv) {
  taktm::PrepareDisplayScaling();
  QApplication app(argc, argv);
  taktm::SetUpApplication(app);
  // The desktop entry takt-m.desktop names the same icon.
  QApplication::setWindowIcon(taktm::ApplicationIcon());
  QApplication::setDesktopFileName(QStringLiteral("takt-m"));

  taktm::TForm1 form1;
  // The settings dialog starts the watchdog and opens the port.
  auto* form3 = new taktm::TForm3(form1.Comm321(), form1.Timer2(),
                                  form1.Browser(), &form1);
  form1.AttachSettings(form3);
  taktm::ChipProgrammer& programmer = form1.core().programmer();
  taktm::TForm4 form4(programmer);
  taktm::TForm5 form5;
  taktm::TForm6 form6(programmer);
  taktm::TForm7 form7;
  form1.AttachWindows(&form4, &form5, &form6, &form7);

  form1.showMaximized();
  return app.exec();
}
