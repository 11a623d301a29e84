#include "ui/shell_browser.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

#include "ui/file_details.h"

namespace taktm {
namespace {

// The file system model with the column titles of this program, and sizes
// and dates in the program's locale.
class RussianFileModel : public QFileSystemModel {
 public:
  using QFileSystemModel::QFileSystemModel;
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole) {
      if (auto text = LocalDetailText(*this, index)) return *text;
    }
    return QFileSystemModel::data(index, role);
  }
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override {
    static const char* const kTitles[] = {"Имя", "Размер", "Тип", "Изменён"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole &&
        section >= 0 && section < 4) {
      return QString::fromUtf8(kTitles[section]);
    }
    return QFileSystemModel::headerData(section, orientation, role);
  }
};

}  // namespace

ShellBrowser::ShellBrowser(QWidget* group_box)
    : QObject(group_box),
      folders_(new RussianFileModel(this)),
      files_(new RussianFileModel(this)),
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

  // The model reads folders in the background and adds their rows later,
  // unsorted at first and sorted a moment after: a folder asked for before
  // that is revealed again after each such change, until the user acts on
  // the tree or another folder is chosen. No time limit: at start-up the
  // rows may arrive only after the windows are built, seconds later on a
  // busy machine.
  auto reveal_pending = [this] {
    if (pending_folder_.isEmpty()) return;
    // Deferred, so that the sort queued with new rows has run.
    QTimer::singleShot(0, this, [this] {
      if (pending_folder_.isEmpty()) return;
      const QModelIndex index = folders_->index(pending_folder_);
      if (index.isValid()) RevealInTree(index);
    });
  };
  connect(folders_, &QFileSystemModel::directoryLoaded, this, reveal_pending);
  connect(folders_, &QFileSystemModel::rowsInserted, this, reveal_pending);
  connect(folders_, &QFileSystemModel::layoutChanged, this, reveal_pending);

  tree_->setModel(folders_);
  tree_->setRootIndex(folders_->index(QDir::rootPath()));
  tree_->setHeaderHidden(true);
  for (int c = 1; c < folders_->columnCount(); ++c) tree_->hideColumn(c);
  tree_->setRootIsDecorated(true);
  tree_->setItemsExpandable(true);
  tree_->installEventFilter(this);
  tree_->viewport()->installEventFilter(this);
  // The scroll bar reports only the user's own scrolling here.
  connect(tree_->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this] { pending_folder_.clear(); });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (!current.isValid()) return;
            const QString path = folders_->filePath(current);
            if (path != pending_folder_) pending_folder_.clear();
            ShowFolder(path);
          });

  list_->setModel(files_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setSortingEnabled(true);
  list_->sortByColumn(0, Qt::AscendingOrder);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setAllColumnsShowFocus(true);
  // Names are never cut: the name and size columns take what their texts
  // need (the list scrolls sideways when that is more than its width) and
  // the date column the rest.
  list_->header()->setStretchLastSection(true);
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  list_->hideColumn(2);  // the type column: the name already tells it
  list_->installEventFilter(this);
  list_->viewport()->installEventFilter(this);

  SelectFolder(QDir::homePath());
}

bool ShellBrowser::SelectFolder(const QString& path) {
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isDir()) return false;
  const QModelIndex index = folders_->index(info.absoluteFilePath());
  if (!index.isValid()) return false;
  pending_folder_ = info.absoluteFilePath();
  RevealInTree(index);  // ShowFolder runs through currentChanged
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

void ShellBrowser::RevealInTree(const QModelIndex& index) {
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) {
    tree_->expand(up);
  }
  tree_->setCurrentIndex(index);
  tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
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
  if (watched == tree_ || watched == tree_->viewport()) {
    // The user takes over the tree: no more revealing behind their back.
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::KeyPress ||
        type == QEvent::Wheel) {
      pending_folder_.clear();
    }
    return QObject::eventFilter(watched, event);
  }
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
