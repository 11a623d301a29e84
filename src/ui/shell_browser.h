// The file browser of the "Файл" group: a folder combo box, a folder tree and
// the list of the current folder's files, all on QFileSystemModel and kept in
// step. A file is picked only when a mouse button or Enter is released over
// the list; moving the selection with the arrow keys picks nothing.
#ifndef TAKT_UI_SHELL_BROWSER_H_
#define TAKT_UI_SHELL_BROWSER_H_

#include <QComboBox>
#include <QFileSystemModel>
#include <QObject>
#include <QString>
#include <QTreeView>
#include <string>
#include <vector>

#include "buffer/working_file.h"
#include "config/folder_tree.h"

namespace taktm {

class ShellBrowser : public QObject, public FolderTree, public FileList {
  Q_OBJECT

 public:
  explicit ShellBrowser(QWidget* group_box);

  QComboBox* ShellComboBox1() const { return combo_; }
  QTreeView* ShellTreeView1() const { return tree_; }
  QTreeView* ShellListView1() const { return list_; }

  // Shows `path` in the tree, the combo box and the file list; false when
  // it is not an existing folder.
  bool SelectFolder(const QString& path) override;
  // The folder selected in the tree, or empty when none is.
  QString SelectedFolder() const override;
  // The file list's items in their shown order.
  size_t ItemCount() const override;
  std::string ItemPath(size_t i) const override;
  bool ItemSelected(size_t i) const override;

 signals:
  // A mouse button or Enter was released over the file list.
  void FilePicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowFolder(const QString& path);
  // Expands the folders above `index`, selects it and scrolls to it.
  void RevealInTree(const QModelIndex& index);
  void FillCombo(const QString& path);

  QFileSystemModel* folders_;
  QFileSystemModel* files_;
  QComboBox* combo_;
  QTreeView* tree_;
  QTreeView* list_;
  // Asked for by the program (start-up, SelectFolder), revealed again as
  // the model reads and sorts the folders above it.
  QString pending_folder_;
};

}  // namespace taktm

#endif  // TAKT_UI_SHELL_BROWSER_H_
