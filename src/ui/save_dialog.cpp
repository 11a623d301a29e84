#include "ui/save_dialog.h"

#include <QHeaderView>
#include <QTreeView>

#include "ui/file_details.h"

namespace taktm {

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent,
                                            const QString& file) {
  // The file's folder is shown and its name preset, as a path given as the
  // dialog's directory does.
  auto dialog = std::make_unique<QFileDialog>(parent, QString(), file);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite);
  // Only Qt's own dialog uses it; a desktop's dialog speaks its language.
  dialog->setProxyModel(new LocalFileDetails(dialog.get()));
  // Qt's own dialog has one detail list: sizes, types and dates whole, the
  // names the rest.
  if (auto* details = dialog->findChild<QTreeView*>()) {
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
  }
  return dialog;
}

}  // namespace taktm
