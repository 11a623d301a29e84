// The application's icon for every window (and the task bar), from the
// sizes drawn for the desktop's icon theme.
#ifndef TAKT_APP_APP_ICON_H_
#define TAKT_APP_APP_ICON_H_

#include <QIcon>

namespace taktm {

QIcon ApplicationIcon();

}  // namespace taktm

#endif  // TAKT_APP_APP_ICON_H_
