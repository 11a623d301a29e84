// Grid arithmetic, text forms, the refresh cache and the cell-commit rules of
// the hex grid, without a window.
#include "buffer/buffer_editor.h"

#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "buffer/fake_buffer_host.h"
#include "buffer/grid_geometry.h"

namespace taktm {
namespace {

using testing::FakeBufferHost;

TEST(GridArithmetic, RowCountsFollowTheByteCount) {
  const std::vector<std::pair<size_t, size_t>> cases = {
      {0, 2},  {1, 3},  {15, 3},    {16, 2},         {17, 3},
      {32, 3}, {33, 4}, {1000, 64}, {0x7FFFF, 32769}};
  for (const auto& [bytes, rows] : cases) {
    EXPECT_EQ(GridRowsFor(bytes), rows) << bytes << " bytes";
  }
}

TEST(GridArithmetic, GeometryInsideTheGroupBox) {
  const GridGeometry g = FormatGridGeometry(360, 515);
  EXPECT_EQ(g.left, 5);
  EXPECT_EQ(g.top, 15);
  EXPECT_EQ(g.width, 350);
  EXPECT_EQ(g.height, 495);
  EXPECT_EQ(g.row_height, 15);
  EXPECT_EQ(g.label_width, 32);
  EXPECT_EQ(g.data_column_width, 17);
  // Each cell is followed by its grid line.
  EXPECT_EQ(g.row_pitch(), 16);
  EXPECT_EQ(g.label_pitch(), 33);
  EXPECT_EQ(g.data_column_pitch(), 18);
  // The "Данные" box of a 1280-pixel window: 32-pixel cells, pitch 33.
  EXPECT_EQ(FormatGridGeometry(588, 955).data_column_pitch(), 33);
  // The labels, sixteen columns and the scroll bar's room never overrun the
  // grid, and leave less than one more column's room unused.
  for (int box = 59; box < 2000; ++box) {
    const GridGeometry w = FormatGridGeometry(box, 100);
    const int used =
        w.label_width + 16 * w.data_column_pitch() + kScrollBarAllowance;
    EXPECT_LE(used, w.width) << box;
    EXPECT_GT(used + 16, w.width) << box;
  }
  // A box too small for the columns truncates toward zero, as integer
  // division does: (50 - 49) div 16 - 1 = -1.
  EXPECT_EQ(FormatGridGeometry(60, 40).data_column_width, -1);
}

TEST(GridText, BytesAreTwoUpperCaseDigitsAndLabelsHaveNoLeadingZeros) {
  EXPECT_EQ(ByteToHexText(0), "00");
  EXPECT_EQ(ByteToHexText(5), "05");
  EXPECT_EQ(ByteToHexText(0x0A), "0A");
  EXPECT_EQ(ByteToHexText(0x3F), "3F");
  EXPECT_EQ(ByteToHexText(171), "AB");
  EXPECT_EQ(ByteToHexText(0xFF), "FF");
  EXPECT_EQ(HexLabel(0), "0");
  EXPECT_EQ(HexLabel(0xF), "F");
  EXPECT_EQ(HexLabel(0x10), "10");
  EXPECT_EQ(HexLabel(0x1FFF), "1FFF");
}

TEST(GridText, HexTextToIntTakesEitherCase) {
  EXPECT_EQ(HexTextToInt(""), 0u);
  EXPECT_EQ(HexTextToInt("7"), 7u);
  EXPECT_EQ(HexTextToInt("ab"), 171u);
  EXPECT_EQ(HexTextToInt("aB"), 171u);
  EXPECT_EQ(HexTextToInt("1a3"), 0x1A3u);
  // Only the last two digits matter for a byte, however long the text.
  EXPECT_EQ(*HexTextToInt("123456789AB") & 0xFF, 0xABu);
  EXPECT_EQ(HexTextToInt(" 7"), std::nullopt);
  EXPECT_EQ(HexTextToInt("G"), std::nullopt);
}

class BufferEditorTest : public ::testing::Test {
 protected:
  void Fill(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    buffer.Assign(std::move(bytes));
  }

  DataBuffer buffer;
  FakeBufferHost host;
  BufferEditor editor{buffer, host};
};

TEST_F(BufferEditorTest, CellsShowHeadersBytesAndEmptyTextPastTheEnd) {
  EXPECT_EQ(editor.row_count(), 2u);
  EXPECT_EQ(editor.CellText(0, 1), "0");
  for (size_t c = 1; c <= 16; ++c) {
    EXPECT_EQ(editor.CellText(c, 0), HexLabel(c - 1));
    EXPECT_EQ(editor.CellText(c, 1), "");
  }

  buffer.Assign({5, 171, 0, 1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(editor.row_count(), 3u);
  EXPECT_EQ(editor.CellText(1, 1), "05");
  EXPECT_EQ(editor.CellText(2, 1), "AB");
  EXPECT_EQ(editor.CellText(10, 1), "07");
  EXPECT_EQ(editor.CellText(11, 1), "");
  EXPECT_EQ(editor.CellText(0, 2), "1");
  EXPECT_EQ(editor.CellText(1, 2), "");

  Fill(33);
  EXPECT_EQ(editor.row_count(), 4u);
  EXPECT_EQ(editor.CellText(1, 3), ByteToHexText(buffer.at(32)));
  EXPECT_EQ(editor.CellText(2, 3), "");
}

TEST_F(BufferEditorTest, LargestImageReachesRow4097AtByte0x10000) {
  Fill(0x7FFFF);
  buffer.Set(0x10000, 0x5A);
  EXPECT_EQ(editor.row_count(), 32769u);
  EXPECT_EQ(editor.CellText(0, 4097), "1000");
  EXPECT_EQ(editor.CellText(1, 4097), "5A");
  EXPECT_EQ(editor.CellText(0, 32768), "7FFF");
  EXPECT_EQ(editor.CellText(15, 32768), ByteToHexText(buffer.at(0x7FFFE)));
  EXPECT_EQ(editor.CellText(16, 32768), "");
}

TEST_F(BufferEditorTest, StreamsBelowTheLimitReplaceTheBuffer) {
  buffer.set_modified(true);
  std::string bytes(0x7FFFF, '\x11');
  bytes[0x7FFFE] = '\x22';
  std::istringstream stream(bytes);
  stream.seekg(100);  // read from the start whatever the position
  EXPECT_EQ(editor.LoadBufferFromStream(stream), StreamLoad::kLoaded);
  EXPECT_EQ(buffer.size(), 0x7FFFFu);
  EXPECT_EQ(buffer.at(0), 0x11);
  EXPECT_EQ(buffer.at(0x7FFFE), 0x22);
  EXPECT_EQ(editor.row_count(), 32769u);
  EXPECT_EQ(host.layouts, 1);
  EXPECT_TRUE(buffer.modified());  // a load does not touch it
  EXPECT_TRUE(host.warnings.empty());
}

TEST_F(BufferEditorTest, StreamOfTheLimitIsRefusedAndChangesNothing) {
  buffer.Assign({1, 2, 3});
  std::istringstream stream(std::string(0x80000, 'x'));
  EXPECT_EQ(editor.LoadBufferFromStream(stream), StreamLoad::kTooLarge);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0],
            "Вряд ли Вы хотите запрограммировать\n\rфайл такой длины!");
  EXPECT_EQ(buffer.bytes(), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(host.layouts, 0);

  const std::vector<uint8_t> big(0x80000);
  EXPECT_EQ(editor.LoadBufferFromStream(big.data(), big.size()),
            StreamLoad::kTooLarge);
  EXPECT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(buffer.size(), 3u);
}

TEST_F(BufferEditorTest, ResizeKeepsBytesZeroesNewOnesAndHasNoLimit) {
  buffer.Assign({9, 8, 7});
  editor.ResizeBuffer(0x100000);
  EXPECT_EQ(buffer.size(), 0x100000u);
  EXPECT_EQ(buffer.at(0), 9);
  EXPECT_EQ(buffer.at(3), 0);
  EXPECT_EQ(editor.row_count(), GridRowsFor(0x100000));
  EXPECT_EQ(host.layouts, 1);
  editor.ResizeBuffer(2);
  EXPECT_EQ(buffer.bytes(), (std::vector<uint8_t>{9, 8}));
}

TEST_F(BufferEditorTest, EnterCommitsTypedTextAndMovesRight) {
  Fill(64);
  const KeyPressResult r =
      editor.StringGrid1KeyPress(kEnterKey, GridCell{3, 2}, "ab");
  EXPECT_TRUE(r.committed);
  EXPECT_FALSE(r.pass);
  EXPECT_EQ(buffer.at(16 + 2), 0xAB);
  EXPECT_EQ(editor.CellText(3, 2), "AB");
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(r.move_to, (GridCell{4, 2}));

  editor.StringGrid1KeyPress(kEnterKey, GridCell{4, 2}, "7");
  EXPECT_EQ(editor.CellText(4, 2), "07");
}

TEST_F(BufferEditorTest, EnterOnAnUntouchedCellStoresWhatItShows) {
  Fill(16);
  const uint8_t before = buffer.at(5);
  editor.StringGrid1KeyPress(kEnterKey, GridCell{6, 1}, editor.CellText(6, 1));
  EXPECT_EQ(buffer.at(5), before);
  EXPECT_TRUE(buffer.modified());
}

TEST_F(BufferEditorTest,
       EnterInTheLastColumnWrapsToTheNextRowButNotPastTheEnd) {
  Fill(64);  // 5 rows
  ASSERT_EQ(editor.row_count(), 5u);
  EXPECT_EQ(editor.StringGrid1KeyPress(kEnterKey, GridCell{16, 3}, "1").move_to,
            (GridCell{1, 4}));
  EXPECT_EQ(editor.StringGrid1KeyPress(kEnterKey, GridCell{16, 4}, "1").move_to,
            (GridCell{1, 4}));
}

TEST_F(BufferEditorTest, EnterPastTheEndStoresNothingAndNeverGrowsTheBuffer) {
  Fill(10);
  const std::vector<uint8_t> before = buffer.bytes();
  const KeyPressResult r =
      editor.StringGrid1KeyPress(kEnterKey, GridCell{11, 1}, "ff");
  EXPECT_FALSE(r.committed);
  EXPECT_EQ(buffer.bytes(), before);
  EXPECT_FALSE(buffer.modified());
  EXPECT_EQ(r.move_to, (GridCell{12, 1}));
  // The extra empty row of a short buffer, and the empty buffer's one row.
  editor.StringGrid1KeyPress(kEnterKey, GridCell{1, 2}, "ff");
  buffer.Clear();
  editor.StringGrid1KeyPress(kEnterKey, GridCell{1, 1}, "ff");
  EXPECT_TRUE(buffer.empty());
  EXPECT_FALSE(buffer.modified());
}

TEST_F(BufferEditorTest, OnlyHexDigitsPassTheKeyFilter) {
  Fill(16);
  for (char32_t c : std::u32string(U"0123456789ABCDEFabcdef")) {
    EXPECT_TRUE(editor.StringGrid1KeyPress(c, GridCell{1, 1}, "").pass);
  }
  for (char32_t c : std::u32string(U"GgxX -:\b\x1b\t\r\u0416")) {
    const KeyPressResult r = editor.StringGrid1KeyPress(c, GridCell{1, 1}, "");
    EXPECT_FALSE(r.pass) << static_cast<uint32_t>(c);
    if (c != kEnterKey) {
      EXPECT_FALSE(r.move_to.has_value());
    }
  }
  EXPECT_EQ(buffer.at(0), 0);  // only the Enter above stored (the empty text)
}

TEST_F(BufferEditorTest, RefreshRepaintsOnlyWhatChangedInTheWindow) {
  Fill(0x7FFFF);
  const GridWindow window{100, 30};  // grid rows 100..129: bytes 0x630..0x80F

  GridRefresh first = editor.RefreshGrid(window);
  EXPECT_TRUE(first.whole_window);
  EXPECT_TRUE(editor.RefreshGrid(window).empty());  // the cache holds it

  // A data reply far from the window: nothing to repaint.
  std::vector<uint8_t> reply(224, 0xEE);
  buffer.WriteAt(0x40000, reply.data(), reply.size());
  editor.FormatGrid();
  EXPECT_EQ(editor.refresh_cache(), GridWindow{});
  EXPECT_TRUE(editor.RefreshGrid(window).empty());

  // One reaching into the window: exactly its changed cells.
  buffer.WriteAt(0x800, reply.data(), reply.size());
  editor.FormatGrid();
  GridRefresh r = editor.RefreshGrid(window);
  EXPECT_FALSE(r.whole_window);
  ASSERT_EQ(r.cells.size(), 16u);  // 0x800..0x80F is the window's last row
  EXPECT_EQ(r.cells.front(), (GridCell{1, 129}));
  EXPECT_EQ(r.cells.back(), (GridCell{16, 129}));

  // Scrolling moves the window: every row is drawn again.
  EXPECT_TRUE(editor.RefreshGrid(GridWindow{101, 30}).whole_window);

  // Selecting a cell forces a pass over the window, which finds the commit.
  editor.StringGrid1KeyPress(kEnterKey, GridCell{1, 101}, "ee");
  int refreshes = host.refreshes;
  editor.StringGrid1SelectCell(GridCell{2, 101});
  EXPECT_EQ(host.refreshes, refreshes + 1);
  r = editor.RefreshGrid(GridWindow{101, 30});
  ASSERT_EQ(r.cells.size(), 1u);
  EXPECT_EQ(r.cells[0], (GridCell{1, 101}));
}

TEST_F(BufferEditorTest, EmptyingShowsTheTwoRowGrid) {
  Fill(100);
  editor.EmptyBuffer();
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(editor.row_count(), 2u);
  EXPECT_EQ(host.layouts, 1);
}

}  // namespace
}  // namespace taktm
