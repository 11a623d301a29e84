#include "ui/app_setup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace taktm {
namespace {

constexpr int kWindowFontPixels = 11;
constexpr char kScalingVariable[] = "QT_ENABLE_HIGHDPI_SCALING";

// Set by PrepareDisplayScaling for the application object only.
bool scaling_variable_set = false;

// Qt's catalogues that hold texts a user of this program can meet: widgets
// and dialogs (qtbase), the serial port's own errors (qtserialport).
constexpr const char* kQtCatalogues[] = {"qtbase", "qtserialport"};

}  // namespace

QFont WindowFont() {
  QFont font;
  // Liberation Sans first: at 11 pixels its widest pair of hex digits is 15
  // pixels of ink, inside a 17-pixel grid column. The DejaVu faces stand in
  // where it is missing.
  font.setFamilies({QStringLiteral("Liberation Sans"),
                    QStringLiteral("DejaVu Sans Condensed"),
                    QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kWindowFontPixels);
  // Hinted to whole pixels and drawn without smoothing: crisp strokes, as
  // a bitmap face has.
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

void PrepareDisplayScaling() {
  if (qEnvironmentVariableIsSet(kScalingVariable) ||
      qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ||
      qEnvironmentVariableIsSet("QT_SCREEN_SCALE_FACTORS")) {
    return;
  }
  qputenv(kScalingVariable, "0");
  scaling_variable_set = true;
}

bool LoadQtTranslations(QCoreApplication& app) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  const QLocale russian(QLocale::Russian, QLocale::Russia);
  bool loaded_base = false;
  for (const char* catalogue : kQtCatalogues) {
    auto* translator = new QTranslator(&app);
    if (translator->load(russian, QString::fromLatin1(catalogue),
                         QStringLiteral("_"), folder)) {
      app.installTranslator(translator);
      if (QLatin1String(catalogue) == QLatin1String("qtbase")) {
        loaded_base = true;
      }
    } else {
      delete translator;
    }
  }
  return loaded_base;
}

void SetUpApplication(QCoreApplication& app) {
  // Read when the application object was made; programs started from here
  // (the help document's viewer) keep the user's own setting.
  if (scaling_variable_set) {
    qunsetenv(kScalingVariable);
    scaling_variable_set = false;
  }
  QCoreApplication::setOrganizationName(QStringLiteral("ZARVENTIK"));
  QCoreApplication::setApplicationName(QStringLiteral("TAKT-M"));
  // Numbers, sizes and dates read as the rest of the windows do.
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  LoadQtTranslations(app);
  if (qobject_cast<QApplication*>(&app) != nullptr) {
    QApplication::setFont(WindowFont());
  }
}

}  // namespace taktm
