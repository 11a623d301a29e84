// The toolbar's pictures, drawn by the program itself so that no image files
// have to travel with it.
#ifndef TAKT_UI_TOOLBAR_ICONS_H_
#define TAKT_UI_TOOLBAR_ICONS_H_

#include <QIcon>

namespace taktm {

QIcon SaveBufferIcon();  // a diskette
QIcon SettingsIcon();    // a gear wheel
QIcon AboutIcon();       // the programmer with a question mark

}  // namespace taktm

#endif  // TAKT_UI_TOOLBAR_ICONS_H_
