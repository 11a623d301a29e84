// Shows the settings dialog (each tab) and the about box and saves a picture
// of each into the folder given as the first argument. Run it under a real
// display (Xvfb) to look at the windows as a person would.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "config/folder_tree.h"
#include "config/settings_dialog.h"
#include "link/comm32.h"
#include "ui/about_box.h"
#include "ui/app_setup.h"
#include "widgets/error_report.h"

namespace {

class NoTree : public taktm::FolderTree {
 public:
  bool SelectFolder(const QString&) override { return true; }
  QString SelectedFolder() const override { return {}; }
};

void Settle() {
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

bool Save(QWidget& window, const QString& path) {
  window.show();
  window.raise();
  Settle();
  return window.grab().save(path);
}

}  // namespace

int main(int argc, char** argv) {
  taktm::PrepareDisplayScaling();
  QApplication app(argc, argv);
  taktm::SetUpApplication(app);  // the program's font and language
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : ".";
  QDir().mkpath(out);

  // A settings folder of its own, so the user's settings stay untouched.
  QTemporaryDir store;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     store.path());
  taktm::SetErrorReporter([](QWidget*, const QString&) {});

  taktm::TComm32 comm;
  QTimer timer2;
  NoTree tree;
  taktm::TForm3 settings(comm, timer2, tree);
  const char* names[] = {"settings-link.png", "settings-programming.png",
                         "settings-files.png"};
  bool ok = true;
  for (int tab = 0; tab < 3; ++tab) {
    settings.PageControl()->setCurrentIndex(tab);
    ok = Save(settings, out + "/" + names[tab]) && ok;
  }
  settings.hide();
  settings.FormDestroy();

  taktm::TForm7 about;
  about.RebuildLines(3);
  // The lines the virtual programmer sends.
  about.SetLineText(0, QStringLiteral("Виртуальный программатор ТАКТ-М"));
  about.SetLineText(1,
                    QStringLiteral("Эмулятор устройства на псевдотерминале"));
  about.SetLineText(2, QStringLiteral("takt-m-devsim 0.1"));
  ok = Save(about, out + "/about.png") && ok;
  return ok ? 0 : 1;
}
