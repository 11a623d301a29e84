// The size, type and date columns of a file list in the program's (Russian)
// locale. Qt's file system model formats them in the system's locale, and
// names folders in English; the file browser and the save dialog show them
// as the rest of the windows read.
#ifndef TAKT_UI_FILE_DETAILS_H_
#define TAKT_UI_FILE_DETAILS_H_

#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QString>
#include <optional>

namespace taktm {

// A file's size as a file list shows it: whole kilobytes, rounded up, in the
// default locale ("586 КБ").
QString FileSizeText(qint64 bytes);

// The text the default locale gives a size, type or date cell of `model`
// (an index of `model` itself), or nothing for other cells, which keep the
// model's own text.
std::optional<QString> LocalDetailText(const QFileSystemModel& model,
                                       const QModelIndex& index);

// Puts LocalDetailText over a file system model; over any other model it
// changes nothing.
class LocalFileDetails : public QIdentityProxyModel {
  Q_OBJECT

 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override;
};

}  // namespace taktm

#endif  // TAKT_UI_FILE_DETAILS_H_
