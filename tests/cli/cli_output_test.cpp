#include <gtest/gtest.h>

#include <sstream>

#include "cli/json_text.h"
#include "cli/progress_printer.h"

namespace taktm {
namespace {

TEST(JsonTextTest, EscapesAndKeepsOrder) {
  EXPECT_EQ(JsonString("a\"b\\c\n\r\t\x01"), "\"a\\\"b\\\\c\\n\\r\\t\\u0001\"");
  EXPECT_EQ(JsonString("Все верно."), "\"Все верно.\"");
  JsonObject bit;
  bit.AddNumber("index", 3).AddBool("ticked", false);
  JsonObject o;
  o.Add("command", "chips")
      .Add("names", std::vector<std::string>{"A", "B"})
      .Add("bits", std::vector<JsonObject>{bit})
      .AddNumber("exit", 0);
  EXPECT_EQ(o.Text(),
            "{\"command\":\"chips\",\"names\":[\"A\",\"B\"],"
            "\"bits\":[{\"index\":3,\"ticked\":false}],\"exit\":0}");
}

TEST(ProgressPrinterTest, PlainLinesAtEveryTenth) {
  std::ostringstream out;
  ProgressPrinter printer(out, false);
  printer.Begin("Читать");
  for (int position = 40; position >= 0; --position) {
    printer.Update(40, position);
  }
  printer.End();
  const std::string text = out.str();
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.rfind("Читать: 0% (0/40)\n", 0), 0u);
  EXPECT_NE(text.find("Читать: 100% (40/40)\n"), std::string::npos);
  int lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 11);
}

TEST(ProgressPrinterTest, BarRedrawnInPlaceOnATerminal) {
  std::ostringstream out;
  ProgressPrinter printer(out, true, 10);
  printer.Begin("W");
  printer.Update(4, 4);
  printer.Update(4, 4);  // nothing new: not drawn again
  printer.Update(4, 2);
  printer.End();
  EXPECT_EQ(out.str(), "\rW [----------]   0% 0/4\rW [#####-----]  50% 2/4\n");
  EXPECT_EQ(ProgressBar(3, 3, 4), "[####] 100%");
}

}  // namespace
}  // namespace taktm
