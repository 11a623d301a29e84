// The hex grid widget on the offscreen platform: geometry, texts, colours,
// the keys of the cell editor, and a large buffer.
#include "buffer/hex_grid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <vector>

#include "buffer/fake_buffer_host.h"
#include "buffer/hex_grid_model.h"

namespace taktm {
namespace {

class HexGridTest : public ::testing::Test {
 protected:
  HexGridTest() {
    window.resize(800, 600);
    box = new QGroupBox("Данные", &window);
    box->setGeometry(427, 34, 360, 515);
    // What the main window does with the two notifications.
    host.on_layout = [this] {
      if (grid) grid->FormatGrid();
    };
    host.on_refresh = [this] {
      if (grid) grid->RefreshGrid();
    };
    grid = new HexGrid(box, editor);
    window.show();
    QApplication::processEvents();
  }

  void Load(std::vector<uint8_t> bytes) {
    ASSERT_EQ(editor.LoadBufferFromImage(std::move(bytes)),
              StreamLoad::kLoaded);
    QApplication::processEvents();
  }
  // Keys go where the user's keys would: into the open cell editor, else
  // into the grid.
  void Key(int key, const QString& text = QString()) {
    QWidget* target = grid->cell_editor();
    if (!target) target = grid;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    if (QWidget* now = grid->cell_editor()) target = now;
    QApplication::sendEvent(target, &release);
    QApplication::processEvents();
  }
  void Type(const QString& text) {
    for (QChar c : text) {
      Key(c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A')
                       : c.unicode(),
          QString(c));
    }
  }
  void Enter() { Key(Qt::Key_Return, "\r"); }
  QString Shown(size_t col, size_t row) const {
    return grid->hex_model()
        ->index(static_cast<int>(row) - 1, static_cast<int>(col) - 1)
        .data()
        .toString();
  }

  DataBuffer buffer;
  testing::FakeBufferHost host;
  BufferEditor editor{buffer, host};
  QWidget window;
  QGroupBox* box = nullptr;
  HexGrid* grid = nullptr;
};

TEST_F(HexGridTest, SitsInItsGroupBoxWithTheGivenColumnsAndRows) {
  EXPECT_EQ(grid->geometry(), QRect(5, 15, 350, 495));
  // Sections are the cells plus the 1-pixel grid line after each: data
  // cells 17 wide, labels 32, rows 15 high.
  for (int c = 0; c < 16; ++c) EXPECT_EQ(grid->columnWidth(c), 18);
  EXPECT_EQ(grid->visualRect(grid->model()->index(0, 3)).size(), QSize(17, 15));
  EXPECT_EQ(grid->rowHeight(0), 16);
  EXPECT_EQ(grid->verticalHeader()->width(), 33);
  EXPECT_EQ(grid->horizontalHeader()->height(), 16);
  EXPECT_EQ(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

  box->resize(520, 300);
  grid->FormatGrid();
  EXPECT_EQ(grid->geometry(), QRect(5, 15, 510, 280));
  EXPECT_EQ(grid->columnWidth(15), (510 - 49) / 16);
}

TEST_F(HexGridTest, ShowsHeadersLabelsAndTwoDigitBytes) {
  EXPECT_EQ(grid->hex_model()->rowCount(), 1);  // the empty grid's one row
  EXPECT_EQ(Shown(1, 1), "");
  Load({5, 171, 0, 1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(grid->hex_model()->rowCount(), 2);
  EXPECT_EQ(Shown(1, 1), "05");
  EXPECT_EQ(Shown(2, 1), "AB");
  EXPECT_EQ(Shown(11, 1), "");
  const auto* model = grid->hex_model();
  EXPECT_EQ(model->headerData(10, Qt::Horizontal, Qt::DisplayRole), "A");
  EXPECT_EQ(model->headerData(1, Qt::Vertical, Qt::DisplayRole), "1");
  EXPECT_EQ(model->headerData(4096, Qt::Vertical, Qt::DisplayRole), "1000");
}

TEST_F(HexGridTest, FixedCellsArePaintedYellow) {
  Load(std::vector<uint8_t>(64, 0));
  const QImage header = grid->horizontalHeader()->grab().toImage();
  const QImage labels = grid->verticalHeader()->grab().toImage();
  const int right_of_f =
      grid->horizontalHeader()->sectionViewportPosition(15) + 13;
  EXPECT_EQ(header.pixelColor(right_of_f, 3), kFixedCellColour);
  EXPECT_EQ(labels.pixelColor(28, 20), kFixedCellColour);
}

TEST_F(HexGridTest, TypedDigitsAndEnterStoreTheByteAndMoveRight) {
  Load(std::vector<uint8_t>(48, 0));
  grid->SetCurrentCell(GridCell{3, 2});
  Type("ab");
  ASSERT_NE(grid->cell_editor(), nullptr);
  EXPECT_EQ(grid->cell_editor()->text(), "ab");
  Enter();
  EXPECT_EQ(buffer.at(16 + 2), 0xAB);
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(Shown(3, 2), "AB");
  EXPECT_EQ(grid->CurrentCell(), (GridCell{4, 2}));
  EXPECT_EQ(grid->cell_editor(), nullptr);

  Type("7");
  Enter();
  EXPECT_EQ(buffer.at(16 + 3), 0x07);
  EXPECT_EQ(Shown(4, 2), "07");

  // Enter without typing commits what the cell shows; in column 16 the
  // cursor wraps to the next row.
  grid->SetCurrentCell(GridCell{16, 1});
  buffer.set_modified(false);
  Enter();
  EXPECT_EQ(buffer.at(15), 0);
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(grid->CurrentCell(), (GridCell{1, 2}));
}

TEST_F(HexGridTest, CharactersOtherThanHexDigitsAreDropped) {
  Load(std::vector<uint8_t>(16, 0x11));
  grid->SetCurrentCell(GridCell{1, 1});
  Type("G x");
  EXPECT_EQ(grid->cell_editor(), nullptr);  // nothing reached an editor
  Type("a");
  Type("G");
  Key(Qt::Key_Backspace, "\b");
  Type("b");
  ASSERT_NE(grid->cell_editor(), nullptr);
  EXPECT_EQ(grid->cell_editor()->text(), "ab");
  Type("c");  // a third digit does not fit
  EXPECT_EQ(grid->cell_editor()->text(), "ab");
  EXPECT_EQ(buffer.at(0), 0x11);
}

TEST_F(HexGridTest, LeavingACellWithoutEnterStoresNothing) {
  Load(std::vector<uint8_t>(48, 0x11));
  grid->SetCurrentCell(GridCell{2, 1});
  Type("ab");
  Key(Qt::Key_Down);
  EXPECT_EQ(grid->CurrentCell(), (GridCell{2, 2}));
  EXPECT_EQ(grid->cell_editor(), nullptr);
  EXPECT_EQ(buffer.at(1), 0x11);
  EXPECT_FALSE(buffer.modified());
  EXPECT_EQ(Shown(2, 1), "11");

  // Moving the cursor by other means (a click) behaves the same.
  Type("cd");
  grid->SetCurrentCell(GridCell{5, 3});
  EXPECT_EQ(buffer.at(17), 0x11);
  EXPECT_FALSE(buffer.modified());

  // Escape drops the typed text as well.
  Type("ef");
  Key(Qt::Key_Escape, "\x1b");
  EXPECT_EQ(grid->cell_editor(), nullptr);
  EXPECT_EQ(buffer.at(32 + 4), 0x11);
  EXPECT_FALSE(buffer.modified());
}

TEST_F(HexGridTest, EnterPastTheEndStoresNothing) {
  Load(std::vector<uint8_t>(10, 0x22));
  grid->SetCurrentCell(GridCell{11, 1});
  Type("ff");
  Enter();
  EXPECT_EQ(buffer.size(), 10u);
  EXPECT_FALSE(buffer.modified());
  EXPECT_EQ(Shown(11, 1), "");
  EXPECT_EQ(grid->CurrentCell(), (GridCell{12, 1}));
}

TEST_F(HexGridTest, TheLargestBufferPaintsOnlyTheVisibleRows) {
  std::vector<uint8_t> bytes(0x7FFFF);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  Load(std::move(bytes));
  ASSERT_EQ(grid->hex_model()->rowCount(), 32768);

  const size_t before = grid->hex_model()->text_requests();
  grid->grab();
  const size_t painted = grid->hex_model()->text_requests() - before;
  EXPECT_GT(painted, 0u);
  EXPECT_LT(painted, 40u * 16 * 2);  // a screenful, not 0x7FFFF cells

  grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
  QApplication::processEvents();
  const GridWindow window = grid->VisibleWindow();
  EXPECT_EQ(window.top + window.count - 1, 32768);
  EXPECT_EQ(editor.refresh_cache(), window);  // scrolling refreshed
  EXPECT_EQ(Shown(15, 32768), "FE");
  EXPECT_EQ(Shown(16, 32768), "");
}

}  // namespace
}  // namespace taktm
