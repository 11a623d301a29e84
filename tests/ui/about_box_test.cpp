#include "ui/about_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "widgets/urls.h"

namespace taktm {
namespace {

std::vector<QLabel*> AboutLines(const TForm7& box) {
  std::vector<QLabel*> lines;
  for (QLabel* label : box.findChildren<QLabel*>()) {
    if (qobject_cast<TUrl*>(label) == nullptr) lines.push_back(label);
  }
  return lines;
}

TEST(AboutBoxTest, StartsWithoutLinesInItsDesignShape) {
  TForm7 box;
  EXPECT_EQ(box.windowTitle(), "О программаторе");
  EXPECT_EQ(box.size(), QSize(415, 250));
  EXPECT_EQ(box.palette().color(QPalette::Window), QColor(255, 251, 240));
  EXPECT_EQ(box.LineCount(), 0);
  EXPECT_TRUE(AboutLines(box).empty());
  EXPECT_EQ(box.OkButton()->text(), "Ok");
  EXPECT_EQ(box.OkButton()->geometry(), QRect(208, 216, 75, 25));
  TUrl* link = box.HelpLink();
  EXPECT_EQ(link->Caption(), "Помощь");
  EXPECT_EQ(link->URL(), "help/ruka.htm");
  EXPECT_EQ(link->Hint(), "help/ruka.htm");
  EXPECT_EQ(link->pos(), QPoint(128, 224));
  EXPECT_GE(link->width(), link->sizeHint().width()) << "caption cut off";
  EXPECT_EQ(link->FontColor(), QColor(0, 0, 255));
  EXPECT_EQ(link->FontStyle(), TFontStyles{fsUnderline});
  EXPECT_EQ(link->ActiveLinkColor(), QColor(0, 0, 255));
}

TEST(AboutBoxTest, TwoLinesPlaceTheButtonAndTheLinkUnderThem) {
  TForm7 box;
  box.RebuildLines(2);
  ASSERT_EQ(box.LineCount(), 2);
  EXPECT_EQ(box.Line(0)->text(), "Пока это неизвестная надпись!");
  EXPECT_EQ(box.Line(1)->text(), "Пока это неизвестная надпись!");
  EXPECT_EQ(box.Line(0)->pos(), QPoint(30, 40));
  EXPECT_EQ(box.Line(1)->pos(), QPoint(30, 70));
  EXPECT_EQ(box.OkButton()->y(), 120);
  EXPECT_EQ(box.HelpLink()->y(), 120);
  EXPECT_EQ(box.OuterHeight(), 190);
  box.show();
  QApplication::processEvents();
  EXPECT_EQ(box.frameGeometry().height(), 190);

  box.SetLineText(0, "ТАКТ-М, версия 2");
  box.SetLineText(1, "Второй ряд");
  box.SetLineText(2, "нет такой строки");
  box.SetLineText(-1, "и такой");
  EXPECT_EQ(box.Line(0)->text(), "ТАКТ-М, версия 2");
  EXPECT_EQ(box.Line(1)->text(), "Второй ряд");
  EXPECT_GE(box.Line(1)->width(), box.Line(1)->sizeHint().width());
  EXPECT_EQ(AboutLines(box).size(), 2u);
}

TEST(AboutBoxTest, ALineWiderThanTheBoxIsShortenedNotCut) {
  TForm7 box;
  box.RebuildLines(1);
  const QString long_line =
      QString("Очень длинная строка сведений. ").repeated(6);
  box.SetLineText(0, long_line);
  QLabel* line = box.Line(0);
  EXPECT_LE(line->x() + line->width(), box.width());
  EXPECT_TRUE(line->text().endsWith(QChar(0x2026))) << "ends in an ellipsis";
  EXPECT_EQ(line->toolTip(), long_line);
  EXPECT_EQ(box.LineText(0), long_line);

  box.SetLineText(0, "коротко");
  EXPECT_EQ(line->text(), "коротко");
  EXPECT_EQ(line->toolTip(), "");
}

TEST(AboutBoxTest, ZeroLinesAfterThreeRemoveTheLinesOnly) {
  TForm7 box;
  box.RebuildLines(3);
  EXPECT_EQ(box.OkButton()->y(), 150);
  EXPECT_EQ(box.OuterHeight(), 220);
  box.RebuildLines(0);
  EXPECT_EQ(box.LineCount(), 0);
  EXPECT_TRUE(AboutLines(box).empty());
  EXPECT_EQ(box.OkButton()->y(), 150);
  EXPECT_EQ(box.HelpLink()->y(), 150);
  EXPECT_EQ(box.OuterHeight(), 220);
  EXPECT_EQ(box.Line(0), nullptr);
  box.SetLineText(0, "ignored");  // no line, nothing happens
}

TEST(AboutBoxTest, OkClosesTheBoxAndItKeepsItsLines) {
  TForm7 box;
  box.RebuildLines(1);
  box.SetLineText(0, "строка");
  box.open();
  QTest::mouseClick(box.OkButton(), Qt::LeftButton);
  EXPECT_EQ(box.result(), QDialog::Accepted);
  EXPECT_FALSE(box.isVisible());
  ASSERT_EQ(box.LineCount(), 1);
  EXPECT_EQ(box.Line(0)->text(), "строка");
}

}  // namespace
}  // namespace taktm
