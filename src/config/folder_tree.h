// What the settings dialog needs of the main window's folder tree.
#ifndef TAKT_CONFIG_FOLDER_TREE_H_
#define TAKT_CONFIG_FOLDER_TREE_H_

#include <QString>

namespace taktm {

class FolderTree {
 public:
  virtual ~FolderTree() = default;
  // Makes the folder the selected one (its files then show in the file
  // list); false when the tree cannot show it.
  virtual bool SelectFolder(const QString& path) = 0;
  // Full path of the selected folder; empty when none is selected.
  virtual QString SelectedFolder() const = 0;
};

}  // namespace taktm

#endif  // TAKT_CONFIG_FOLDER_TREE_H_
