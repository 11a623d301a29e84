// The program's look and language, applied to the application object before
// any window exists: its names, Qt's own texts in Russian, the Russian
// locale and the 11-pixel window font.
#ifndef TAKT_UI_APP_SETUP_H_
#define TAKT_UI_APP_SETUP_H_

#include <QFont>

class QCoreApplication;

namespace taktm {

// The windows' font: a sans-serif face 11 pixels high, set in pixels so that
// it keeps that size whatever the screen's density.
QFont WindowFont();

// Runs before the application object is made: window sizes stay in the
// screen's own pixels (no scaling with its density) unless the user asked
// for a scale through the environment.
void PrepareDisplayScaling();

// Installs Qt's own Russian catalogues (dialogs, context menus, message box
// buttons) from Qt's translations folder; false when they are not installed,
// and Qt's texts then stay English.
bool LoadQtTranslations(QCoreApplication& app);

// Organisation and application names (the settings' key), no display name
// (captions stay exactly as the windows set them), the Russian locale, Qt's
// Russian texts and the window font.
void SetUpApplication(QCoreApplication& app);

}  // namespace taktm

#endif  // TAKT_UI_APP_SETUP_H_
