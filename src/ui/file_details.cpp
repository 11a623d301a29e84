#include "ui/file_details.h"

#include <QDateTime>
#include <QLocale>

namespace taktm {
namespace {

// QFileSystemModel's columns.
constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;
constexpr int kModifiedColumn = 3;

}  // namespace

QString FileSizeText(qint64 bytes) {
  const qint64 kilobytes = bytes <= 0 ? 0 : (bytes + 1023) / 1024;
  return QLocale().toString(kilobytes) + QStringLiteral(" КБ");
}

std::optional<QString> LocalDetailText(const QFileSystemModel& model,
                                       const QModelIndex& index) {
  if (!index.isValid()) return std::nullopt;
  switch (index.column()) {
    case kSizeColumn:
      // Folders have no size of their own: the model leaves them blank.
      if (model.isDir(index)) return std::nullopt;
      return FileSizeText(model.size(index));
    case kTypeColumn:
      if (model.isDir(index)) return QStringLiteral("Папка");
      return std::nullopt;  // the file type's own, already localised
    case kModifiedColumn: {
      const QDateTime modified = model.lastModified(index);
      if (!modified.isValid()) return QString();
      return QLocale().toString(modified, QLocale::ShortFormat);
    }
    default:
      return std::nullopt;
  }
}

QVariant LocalFileDetails::data(const QModelIndex& index, int role) const {
  if (role == Qt::DisplayRole) {
    if (const auto* files =
            qobject_cast<const QFileSystemModel*>(sourceModel())) {
      if (auto text = LocalDetailText(*files, mapToSource(index))) {
        return *text;
      }
    }
  }
  return QIdentityProxyModel::data(index, role);
}

}  // namespace taktm
