#include "widgets/ysEdit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QTest>
#include <memory>

namespace taktm {
namespace {

class CountingIntEdit : public TysIntEdit {
 public:
  int beeps = 0;

 protected:
  void Beep() override { ++beeps; }
};

TEST(TysIntEditTest, NewBoxShowsZeroRightAligned) {
  TysIntEdit edit;
  EXPECT_EQ(edit.Value(), 0);
  EXPECT_EQ(edit.Digits(), 0);
  EXPECT_EQ(edit.TextValue(), "0");
  EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
  EXPECT_EQ(edit.Alignment(), TysCustomEdit::taRightJustify);
}

TEST(TysIntEditTest, RefusedKeysBeepAndEditingKeysPass) {
  CountingIntEdit edit;
  edit.SetValue(56000);
  edit.end(false);
  QTest::keyClick(&edit, Qt::Key_A);
  QTest::keyClick(&edit, Qt::Key_Space);
  QTest::keyClick(&edit, Qt::Key_Period);
  EXPECT_EQ(edit.beeps, 3);
  EXPECT_EQ(edit.text(), "56000");

  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.Value(), 5600);
  QTest::keyClick(&edit, Qt::Key_7);
  EXPECT_EQ(edit.Value(), 56007);
  edit.home(false);
  QTest::keyClick(&edit, Qt::Key_Minus);
  EXPECT_EQ(edit.Value(), -56007);
  edit.home(false);
  QTest::keyClick(&edit, Qt::Key_Delete);
  EXPECT_EQ(edit.Value(), 56007);
  edit.home(false);
  QTest::keyClick(&edit, Qt::Key_Plus);
  EXPECT_EQ(edit.Value(), 56007);
  EXPECT_EQ(edit.text(), "+56007");  // the same value: the text stays
  QTest::keyClick(&edit, Qt::Key_Left);
  EXPECT_EQ(edit.beeps, 3);

  // Typed text from an input method goes through the same filter.
  QInputMethodEvent composed;
  composed.setCommitString("x");
  QApplication::sendEvent(&edit, &composed);
  EXPECT_EQ(edit.beeps, 4);
  EXPECT_EQ(edit.text(), "+56007");
}

TEST(TysIntEditTest, TextThatIsNoNumberCountsAsZero) {
  TysIntEdit edit;
  edit.SetValue(56000);
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.Value(), 0);
  EXPECT_EQ(edit.text(), "0");

  edit.SetValue(56000);
  edit.setText("-");  // a lone sign
  EXPECT_EQ(edit.Value(), 0);
  EXPECT_EQ(edit.text(), "0");

  edit.SetValue(1);
  edit.setText("99999999999");  // beyond 32 bits
  EXPECT_EQ(edit.Value(), 0);
  EXPECT_EQ(edit.text(), "0");

  edit.setText("0012");  // a number: read, then shown in its own form
  EXPECT_EQ(edit.Value(), 12);
  EXPECT_EQ(edit.text(), "12");

  // With the value already 0 an empty box is left as it is for typing.
  edit.SetValue(0);
  edit.clear();
  EXPECT_EQ(edit.text(), "");
  QTest::keyClicks(&edit, "-42");
  EXPECT_EQ(edit.Value(), -42);
}

TEST(TysIntEditTest, PasteReplacesTheValue) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  CountingIntEdit edit;
  edit.SetValue(56000);
  edit.setCursorPosition(2);

  clipboard->setText("1234");
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.Value(), 1234);
  EXPECT_EQ(edit.text(), "1234");  // replaced, not inserted at the caret

  clipboard->setText("letters");
  edit.Paste();
  EXPECT_EQ(edit.Value(), 0);
  EXPECT_EQ(edit.text(), "0");

  clipboard->setText(" 77\n");  // as copied from a line of text
  edit.Paste();
  EXPECT_EQ(edit.Value(), 77);

  edit.setEnabled(false);
  clipboard->setText("5");
  edit.Paste();
  EXPECT_EQ(edit.Value(), 77);
  EXPECT_EQ(edit.beeps, 0);

  // The context menu's paste is rerouted to the same replace.
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  EXPECT_NE(TysNumEdit::FindPasteAction(*menu), nullptr);
}

TEST(TysIntEditTest, DigitsPadWithZerosAndKeepTheValue) {
  TysIntEdit edit;
  edit.SetDigits(3);
  edit.SetValue(7);
  EXPECT_EQ(edit.text(), "007");
  EXPECT_EQ(edit.Value(), 7);
  edit.SetValue(12345);
  EXPECT_EQ(edit.text(), "12345");
  edit.SetDigits(4);
  edit.SetValue(-5);
  EXPECT_EQ(edit.text(), "00-5");
  EXPECT_EQ(edit.Value(), -5);  // the box's own text is not read back as 0
  edit.SetDigits(0);
  EXPECT_EQ(edit.text(), "-5");
}

TEST(TysIntEditTest, OnChangeFollowsEveryChangeOfTheText) {
  TysIntEdit edit;
  std::vector<int32_t> seen;
  edit.OnChange = [&](TysNumEdit* sender) { seen.push_back(sender->Value()); };
  edit.SetValue(5);
  edit.SetValue(5);  // no change, no event
  QTest::keyClick(&edit, Qt::Key_3);
  EXPECT_EQ(seen, (std::vector<int32_t>{5, 53}));
}

}  // namespace
}  // namespace taktm
