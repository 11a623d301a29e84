// The main window measured from its own picture: where the hex grid's lines
// fall (column and row pitch, cell plus its 1-pixel line) and where the
// toolbar's buttons begin, found by the frame a hovered button draws.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLayout>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <vector>

#include "buffer/hex_grid.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"
#include "widgets/error_report.h"

namespace taktm {
namespace {

// A pixel of a grid line or a header border: darker than the white cells
// and the yellow fixed cells.
bool LinePixel(QRgb p) { return qGray(p) < 235; }

// The x of every column of `shot` whose pixels in rows y0..y1 are all line
// pixels: the vertical lines crossing that band. Digits never qualify, as
// the rows' gaps above and below them are white.
std::vector<int> VerticalLines(const QImage& shot, int x0, int x1, int y0,
                               int y1) {
  std::vector<int> lines;
  for (int x = x0; x <= x1; ++x) {
    bool line = true;
    for (int y = y0; line && y <= y1; ++y) line = LinePixel(shot.pixel(x, y));
    if (line) lines.push_back(x);
  }
  return lines;
}

std::vector<int> HorizontalLines(const QImage& shot, int x0, int x1, int y0,
                                 int y1) {
  std::vector<int> lines;
  for (int y = y0; y <= y1; ++y) {
    bool line = true;
    for (int x = x0; line && x <= x1; ++x) line = LinePixel(shot.pixel(x, y));
    if (line) lines.push_back(y);
  }
  return lines;
}

std::vector<int> Steps(const std::vector<int>& at) {
  std::vector<int> steps;
  for (size_t i = 1; i < at.size(); ++i) steps.push_back(at[i] - at[i - 1]);
  return steps;
}

class PixelLookTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetUpApplication(*QCoreApplication::instance());
  }

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir_.filePath("settings"));
    {
      QSettings store;
      store.setValue("ComPort", dir_.filePath("no-such-port"));
    }
    SetErrorReporter([](QWidget*, const QString&) {});
    form_ = std::make_unique<TForm1>();
  }
  void TearDown() override {
    form_.reset();
    SetErrorReporter(nullptr);
  }

  void ShowAt(int width, int height) {
    form_->resize(width, height);
    form_->show();
    QApplication::processEvents();
  }

  // Fills the buffer with enough rows to fill the grid and puts the cursor
  // on the last row, out of the measured band.
  void FillGrid(size_t bytes) {
    form_->core().editor().ResizeBuffer(bytes);
    for (size_t i = 0; i < bytes; ++i) {
      form_->core().buffer().Set(i, static_cast<uint8_t>(i * 7));
    }
    HexGrid* grid = form_->StringGrid1();
    grid->FormatGrid();
    grid->SetCurrentCell(GridCell{1, GridRowsFor(bytes) - 1});
    grid->clearSelection();
    grid->scrollToTop();
    QApplication::processEvents();
  }

  // The lines of the grid in a picture of the whole window, in the grid's
  // own coordinates: its left frame, the row labels' border, then one line
  // after each data column (`columns`), and likewise downwards (`rows`).
  struct GridLines {
    std::vector<int> columns;
    std::vector<int> rows;
  };
  GridLines MeasureGrid() {
    HexGrid* grid = form_->StringGrid1();
    const QImage window = form_->grab().toImage();
    const QPoint at = grid->mapTo(form_.get(), QPoint(0, 0));
    const QImage shot = window.copy(QRect(at, grid->size()));
    // Vertical lines across a band of data rows, left of the scroll bar;
    // horizontal lines from the top across the labels and two columns.
    const int band_x1 = grid->viewport()->geometry().right();
    GridLines lines;
    lines.columns = VerticalLines(shot, 0, band_x1, 40, 140);
    const int data_x1 = lines.columns.size() > 3 ? lines.columns[3] : 60;
    lines.rows = HorizontalLines(shot, 2, data_x1, 0, 150);
    return lines;
  }

  QTemporaryDir dir_;
  std::unique_ptr<TForm1> form_;
};

// At the design size the data cells are 17 wide and the row labels 32, each
// followed by its grid line; every row is 15 high plus its line.
TEST_F(PixelLookTest, GridPitchAtTheDesignSize) {
  ShowAt(792, 573);
  FillGrid(0x1000);
  const GridLines lines = MeasureGrid();
  ASSERT_EQ(lines.columns.size(), 18u)
      << ::testing::PrintToString(lines.columns);
  const std::vector<int> columns = Steps(lines.columns);
  EXPECT_EQ(columns[0], 33) << "row label column";
  for (size_t c = 1; c < columns.size(); ++c) {
    EXPECT_EQ(columns[c], 18) << "column " << c - 1;
  }
  ASSERT_GE(lines.rows.size(), 9u) << ::testing::PrintToString(lines.rows);
  for (int step : Steps(lines.rows)) EXPECT_EQ(step, 16);
  // Column F's line lies where the arithmetic puts it: frame, 33, 16 × 18.
  EXPECT_EQ(lines.columns.back() - lines.columns.front(), 33 + 16 * 18);
}

TEST_F(PixelLookTest, GridPitchAtAFullScreenWindow) {
  ShowAt(1280, 1024);
  FillGrid(0x1000);
  const GridLines lines = MeasureGrid();
  ASSERT_EQ(lines.columns.size(), 18u)
      << ::testing::PrintToString(lines.columns);
  const std::vector<int> columns = Steps(lines.columns);
  EXPECT_EQ(columns[0], 33);
  for (size_t c = 1; c < columns.size(); ++c) {
    EXPECT_EQ(columns[c], 33) << "column " << c - 1;
  }
  for (int step : Steps(lines.rows)) EXPECT_EQ(step, 16);
}

// The rows the refresh fills are the rows drawn at the 16-pixel pitch.
TEST_F(PixelLookTest, VisibleRowsFollowTheRowPitch) {
  ShowAt(792, 573);
  FillGrid(0x1000);
  HexGrid* grid = form_->StringGrid1();
  const int height = grid->viewport()->height();
  const GridWindow shown = grid->VisibleWindow();
  EXPECT_EQ(shown.top, 1);
  EXPECT_EQ(shown.count, (height + 15) / 16);
  grid->verticalScrollBar()->setValue(10);
  QApplication::processEvents();
  EXPECT_EQ(grid->VisibleWindow().top, 11);
  EXPECT_EQ(form_->core().editor().refresh_cache(), grid->VisibleWindow());
}

// The left edges of the toolbar's buttons as their hover frames show them:
// each button is pictured plain and under the mouse, and the frame is the
// span of columns where the two pictures differ.
TEST_F(PixelLookTest, ToolbarButtonsBeginWhereTheGapsEnd) {
  ShowAt(792, 573);
  auto* bar = form_->findChild<QToolBar*>();
  ASSERT_NE(bar, nullptr);
  std::vector<QToolButton*> buttons;
  for (QAction* action : bar->actions()) {
    if (action->icon().isNull()) continue;
    buttons.push_back(qobject_cast<QToolButton*>(bar->widgetForAction(action)));
  }
  ASSERT_EQ(buttons.size(), 3u);

  std::vector<int> left, right;
  for (QToolButton* button : buttons) {
    const QImage plain = form_->grab().toImage();
    button->setAttribute(Qt::WA_UnderMouse, true);
    button->update();
    const QImage hovered = form_->grab().toImage();
    button->setAttribute(Qt::WA_UnderMouse, false);
    button->update();
    int x0 = -1, x1 = -1, y0 = -1, y1 = -1;
    for (int y = 0; y < bar->height(); ++y) {
      for (int x = 0; x < plain.width(); ++x) {
        if (plain.pixel(x, y) == hovered.pixel(x, y)) continue;
        if (x0 < 0 || x < x0) x0 = x;
        x1 = std::max(x1, x);
        if (y0 < 0) y0 = y;
        y1 = y;
      }
    }
    ASSERT_GE(x0, 0) << "no hover frame drawn";
    left.push_back(x0);
    right.push_back(x1);
    // The frame keeps off the bar's top and bottom lines.
    EXPECT_GT(y0, 0);
    EXPECT_LT(y1, bar->height() - 1);
  }
  EXPECT_EQ(left[0], 25);
  EXPECT_EQ(left[1] - right[0] - 1, 70);
  EXPECT_EQ(left[2] - right[1] - 1, 77);
  // The frame is the button's own outline.
  for (size_t i = 0; i < buttons.size(); ++i) {
    EXPECT_EQ(buttons[i]->mapTo(form_.get(), QPoint(0, 0)).x(), left[i]);
    EXPECT_EQ(right[i] - left[i] + 1, buttons[i]->width());
  }
}

}  // namespace
}  // namespace taktm
