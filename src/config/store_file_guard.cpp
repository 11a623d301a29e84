#include "config/store_file_guard.h"

#include <QFileInfo>
#include <QSettings>

namespace taktm {
namespace {

// The folder the per-user store's files are in. QSettings tells it only
// through a store's file name, so it is asked about a store of a name no
// one uses; opening that store reads nothing.
QString UserStoreFolder() {
  static const QString kProbe = QStringLiteral(".takt-m-store-folder-probe");
  const QSettings probe(QSettings::NativeFormat, QSettings::UserScope, kProbe,
                        kProbe);
  const QString name = probe.fileName();
  const QString tail = kProbe + QLatin1Char('/') + kProbe;
  const qsizetype at = name.lastIndexOf(tail);
  if (at <= 0) return {};  // not a file in a folder: a registry key
  return name.left(at);
}

bool FitToRead(const QString& path) {
  const QFileInfo info(path);       // follows links, as the read would
  if (!info.exists()) return true;  // nothing is read
  return info.isFile() && info.size() <= kMaxStoreFileBytes;
}

}  // namespace

QString UnfitStoreFile(const QString& organisation,
                       const QString& application) {
#ifdef Q_OS_WIN
  Q_UNUSED(organisation);
  Q_UNUSED(application);
  return {};
#else
  const QString folder = UserStoreFolder();
  if (folder.isEmpty()) return {};
  for (const QString& name :
       {organisation + QLatin1Char('/') + application, organisation}) {
    const QString path = folder + name + QStringLiteral(".conf");
    if (!FitToRead(path)) return path;
  }
  return {};
#endif
}

}  // namespace taktm
