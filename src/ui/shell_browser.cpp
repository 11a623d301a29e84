#include "ui/shell_browser.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>

namespace taktm {

ShellBrowser::ShellBrowser(QWidget* group_box)
    : QObject(group_box),
      folders_(new QFileSystemModel(this)),
      files_(new QFileSystemModel(this)),
      combo_(new QComboBox(group_box)),
      tree_(new QTreeView(group_box)),
      list_(new QTreeView(group_box)) {
  folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  folders_->setRootPath(QDir::rootPath());
  files_->setFilter(QDir::Files);
  files_->setReadOnly(false);  // the list allows renaming in place

  combo_->setMaxVisibleItems(8);
  connect(combo_, &QComboBox::activated, this,
          [this](int i) { ShowFolder(combo_->itemData(i).toString()); });

  tree_->setModel(folders_);
  tree_->setRootIndex(folders_->index(QDir::rootPath()));
  tree_->setHeaderHidden(true);
  for (int c = 1; c < folders_->columnCount(); ++c) tree_->hideColumn(c);
  tree_->setRootIsDecorated(true);
  tree_->setItemsExpandable(true);
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) ShowFolder(folders_->filePath(current));
          });

  list_->setModel(files_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setSortingEnabled(true);
  list_->sortByColumn(0, Qt::AscendingOrder);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setAllColumnsShowFocus(true);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  list_->installEventFilter(this);
  list_->viewport()->installEventFilter(this);

  SelectFolder(QDir::homePath());
}

bool ShellBrowser::SelectFolder(const QString& path) {
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isDir()) return false;
  const QModelIndex index = folders_->index(info.absoluteFilePath());
  if (!index.isValid()) return false;
  tree_->setCurrentIndex(index);  // ShowFolder runs through currentChanged
  tree_->scrollTo(index);
  ShowFolder(info.absoluteFilePath());
  return true;
}

QString ShellBrowser::SelectedFolder() const {
  const QModelIndex current = tree_->currentIndex();
  return current.isValid() ? folders_->filePath(current) : QString();
}

size_t ShellBrowser::ItemCount() const {
  return static_cast<size_t>(files_->rowCount(list_->rootIndex()));
}

std::string ShellBrowser::ItemPath(size_t i) const {
  const QModelIndex item =
      files_->index(static_cast<int>(i), 0, list_->rootIndex());
  return QFile::encodeName(files_->filePath(item)).toStdString();
}

bool ShellBrowser::ItemSelected(size_t i) const {
  return list_->selectionModel()->isRowSelected(static_cast<int>(i),
                                                list_->rootIndex());
}

void ShellBrowser::ShowFolder(const QString& path) {
  if (files_->rootPath() != path) {
    list_->setRootIndex(files_->setRootPath(path));
  }
  const QModelIndex index = folders_->index(path);
  if (index.isValid() && tree_->currentIndex() != index) {
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
  }
  FillCombo(path);
}

void ShellBrowser::FillCombo(const QString& path) {
  // The combo lists the folder and every folder above it, as a path bar.
  QStringList chain;
  for (QDir dir(path);;) {
    chain.prepend(dir.absolutePath());
    if (dir.isRoot() || !dir.cdUp()) break;
  }
  const QSignalBlocker block(combo_);
  combo_->clear();
  for (int i = 0; i < chain.size(); ++i) {
    const QString& folder = chain[i];
    QString name = QDir(folder).dirName();
    if (name.isEmpty()) name = folder;
    combo_->addItem(QString(i * 2, QLatin1Char(' ')) + name, folder);
  }
  combo_->setCurrentIndex(combo_->count() - 1);
}

bool ShellBrowser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() &&
      event->type() == QEvent::MouseButtonRelease) {
    emit FilePicked();
  } else if (watched == list_ && event->type() == QEvent::KeyRelease) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) emit FilePicked();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace taktm
