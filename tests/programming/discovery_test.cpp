// Start-up, the discovery chain, chip selection, loss of the device and its
// recovery.
#include "programming/programming_fixture.h"

namespace taktm {
namespace {

using testing::Bytes;
using testing::ProgrammingTest;

using DiscoveryTest = ProgrammingTest;

TEST_F(DiscoveryTest, ChainRunsInItsOrder) {
  EXPECT_EQ(programmer_.caption(), "Программатор не подключен");
  programmer_.FormShow();
  EXPECT_EQ(Summary(), "FF FE");
  AnswerHead();
  AnswerHead();
  EXPECT_EQ(programmer_.caption(), "TAKT-M");
  EXPECT_EQ(Summary(), "FD FB");
  AnswerHead();
  EXPECT_EQ(host_.lines, (std::vector<std::string>{"", ""}));
  AnswerHead();
  EXPECT_EQ(Summary(), "FC:0 FC:1 FA:0 FA:1");
  AnswerAll();
  EXPECT_EQ(host_.lines, (std::vector<std::string>{"v1", "v2"}));
  EXPECT_EQ(programmer_.chip_rows(),
            (std::vector<std::string>{"DEMO-8K", "DEMO-128K"}));
}

TEST_F(DiscoveryTest, ChipCountOfZeroKeepsTheList) {
  Discover();
  programmer_.QueueCommand(SVC_GET_CHIP_COUNT);
  Reply({0xFB, 0});
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(programmer_.chip_rows().size(), 2u);
  programmer_.QueueCommand(SVC_GET_CHIP_COUNT);
  Reply({0xFB, 1});
  EXPECT_TRUE(programmer_.chip_rows().empty());
  EXPECT_EQ(Summary(), "FA:0");
}

// An idle acknowledgement that crosses a name request makes the device
// answer it twice. Chip names carry no index: the repeat must not become the
// next chip's row (the selection goes by row number), and the next request
// must not go out twice in its turn. Equal names after a send that was lost
// cost one more send, never a row.
TEST_F(DiscoveryTest, RepeatedChipNamesDoNotShiftTheList) {
  programmer_.QueueCommand(SVC_GET_CHIP_COUNT);
  Reply({0xFB, 3});
  Ack();
  Ack();
  Ack();  // the first request went out twice
  const size_t before = link_.writes.size();
  Reply({0xFA, 1, 'A'});
  Ack();                  // sends the second request
  Reply({0xFA, 1, 'A'});  // the first one's twin
  Ack();                  // the device is busy with the second: nothing
  Reply({0xFA, 1, 'B'});
  Ack();
  Reply({0xFA, 1, 'C'});
  EXPECT_EQ(programmer_.chip_rows(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(link_.writes.size(), before + 2);

  programmer_.QueueCommand(SVC_GET_CHIP_COUNT);
  Reply({0xFB, 2});
  Ack();
  Ack();
  Ack();  // the first send was lost: one answer only
  Reply({0xFA, 1, 'X'});
  Ack();
  Reply({0xFA, 1, 'X'});  // a second chip of the same name
  EXPECT_EQ(programmer_.chip_rows(), (std::vector<std::string>{"X"}));
  Ack();  // taken for the twin: this acknowledgement sends nothing
  Ack();  // the first chunk after the send: nothing either
  Ack();  // the next one sends the request again
  Reply({0xFA, 1, 'X'});
  EXPECT_EQ(programmer_.chip_rows(), (std::vector<std::string>{"X", "X"}));
  EXPECT_TRUE(queue_.empty());
}

TEST_F(DiscoveryTest, ChipSelectionAsksInItsOrder) {
  programmer_.ListBox1Click(1);
  EXPECT_EQ(Summary(), "F9:1 F8 F5 F7 F3 F2 F1");
  AnswerAll(7);
  EXPECT_EQ(Summary(), "F4:0 F4:1 F6:0 F6:1 F6:2");
  AnswerAll();
  EXPECT_EQ(programmer_.FlashSize(), 448u);
  EXPECT_EQ(programmer_.EepromSize(), 224u);
  EXPECT_EQ(programmer_.lock_bits().row(1).caption, "LB1");
  EXPECT_EQ(programmer_.fuse_bits().row(2).caption, "FB2");
  EXPECT_EQ(programmer_.operation_rows().size(), 21u);

  programmer_.ListBox1Click(-1);  // no row selected
  EXPECT_EQ(queue_.entry(0), (Bytes{0xF9, 0xFF}));
}

TEST_F(DiscoveryTest, SelectionClearsTheSignatureVerdict) {
  Discover();
  Choose(OP_READ_SIGNATURE);
  AnswerAll();
  EXPECT_TRUE(programmer_.SignatureOk());
  programmer_.ListBox1Click(0);
  EXPECT_FALSE(programmer_.SignatureOk());
}

TEST_F(DiscoveryTest, LossEmptiesListsAndLockRowsAndRecovers) {
  Discover();
  programmer_.fuse_bits().SetRowTicked(1, true);
  Choose(OP_READ_FLASH);
  ASSERT_GT(queue_.count(), 2u);

  programmer_.Timer2Timer();
  EXPECT_EQ(programmer_.caption(), "Программатор не подключен");
  EXPECT_EQ(Summary(), "FE");
  EXPECT_FALSE(queue_.progress().visible);
  EXPECT_TRUE(programmer_.chip_rows().empty());
  EXPECT_TRUE(programmer_.operation_rows().empty());
  EXPECT_FALSE(programmer_.IsOperationAllowed(OP_READ_FLASH));
  EXPECT_EQ(programmer_.LockBitCount(), 0);
  ASSERT_EQ(programmer_.FuseBitCount(), 3);  // the fuse rows stay
  EXPECT_TRUE(programmer_.fuse_bits().row(1).ticked);
  EXPECT_EQ(host_.lines.size(), 2u);  // so do the about lines

  programmer_.Timer2Timer();
  EXPECT_EQ(Summary(), "FE");  // renewed, never piled up

  AnswerHead();  // the device is back: the chain starts over
  EXPECT_EQ(programmer_.caption(), "TAKT-M");
  EXPECT_EQ(Summary(), "FD FB");
  AnswerAll();
  EXPECT_EQ(programmer_.chip_rows().size(), 2u);
}

}  // namespace
}  // namespace taktm
