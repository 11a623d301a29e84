#include "devsim_options.h"

#include <gtest/gtest.h>

#include <set>

#include "fault_plan.h"

namespace taktm::devsim {
namespace {

TEST(DevsimOptionsTest, DefaultsAndBothValueForms) {
  DevsimOptions o;
  std::string error;
  ASSERT_TRUE(ParseDevsimOptions({}, o, error));
  EXPECT_EQ(o.ack_ms, 200u);
  EXPECT_TRUE(o.model.flash_needs_erase);
  EXPECT_EQ(o.bits_per_byte, 10);

  ASSERT_TRUE(ParseDevsimOptions(
      {"--ack-ms=4999", "--link", "/tmp/x", "--no-flash-needs-erase",
       "--parity", "even", "--baud=9600", "--drop-replies", "3", "--seed=7",
       "--wrong-signature"},
      o, error))
      << error;
  EXPECT_EQ(o.ack_ms, 4999u);
  EXPECT_EQ(o.link_path, "/tmp/x");
  EXPECT_FALSE(o.model.flash_needs_erase);
  EXPECT_TRUE(o.model.wrong_signature);
  EXPECT_EQ(o.bits_per_byte, 11);
  EXPECT_EQ(o.baud, 9600u);
  EXPECT_EQ(o.faults.drop_every, 3u);
  EXPECT_EQ(o.faults.seed, 7u);

  DevsimOptions t;
  ASSERT_TRUE(
      ParseDevsimOptions({"--cross-every", "3", "--double-reply-every=5",
                          "--reply-batch", "--short-reply", "0x0d"},
                         t, error))
      << error;
  EXPECT_EQ(t.faults.cross_every, 3u);
  EXPECT_EQ(t.faults.double_every, 5u);
  EXPECT_TRUE(t.faults.reply_batch);
  EXPECT_EQ(t.faults.short_opcode, 0x0D);
  ASSERT_TRUE(ParseDevsimOptions({"--short-reply", "FA"}, t, error));
  EXPECT_EQ(t.faults.short_opcode, 0xFA);
}

TEST(DevsimOptionsTest, DevicesThatKeepTheContractTheirOwnWay) {
  DevsimOptions o;
  std::string error;
  ASSERT_TRUE(ParseDevsimOptions(
      {"--withhold-ack", "2", "--ack-jitter", "--ack-on-receipt",
       "--slow=0c:3000", "--split-bytes", "4", "--split-gap-ms=0", "--max-read",
       "1", "--pad-replies", "254"},
      o, error))
      << error;
  EXPECT_EQ(o.faults.withhold_ack_every, 2u);
  EXPECT_TRUE(o.ack_jitter);
  EXPECT_TRUE(o.ack_on_receipt);
  EXPECT_EQ(o.slow_opcode, 0x0C);
  EXPECT_EQ(o.slow_ms, 3000u);
  EXPECT_EQ(o.split_bytes, 4u);
  EXPECT_EQ(o.split_gap_ms, 0u);
  EXPECT_EQ(o.model.max_read_count, 1u);
  EXPECT_EQ(o.pad_bytes, 254u);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--slow", "0C"},
                                             {"--slow", "0C:"},
                                             {"--slow", "1FF:10"},
                                             {"--max-read", "0"},
                                             {"--max-read", "250"},
                                             {"--pad-replies", "255"},
                                             {"--split-bytes", "0"},
                                             {"--withhold-ack", "0"}}) {
    DevsimOptions bad;
    EXPECT_FALSE(ParseDevsimOptions(args, bad, error)) << args[0] << args[1];
  }
  FaultOptions faults;
  faults.withhold_ack_every = 3;
  FaultPlan plan(faults);
  std::vector<bool> withheld;
  for (int i = 0; i < 6; ++i) withheld.push_back(plan.NextReply().withhold_ack);
  EXPECT_EQ(withheld,
            (std::vector<bool>{false, false, true, false, false, true}));
}

TEST(DevsimOptionsTest, RejectsWhatTheDeviceCannotDo) {
  const std::vector<std::vector<std::string>> bad = {
      {"--ack-ms", "5000"},  // the program would take the device as lost
      {"--ack-ms", "0"},       {"--ack-ms"},
      {"--drop-replies", "0"}, {"--baud", "fast"},
      {"--parity", "odd2"},    {"--latency-ms", "-5"},
      {"--wrong-signature=1"}, {"--frobnicate"},
      {"--cross-every", "0"},  {"--short-reply", "1FF"},
      {"--short-reply", "0x"}, {"--short-reply", "G1"},
      {"--reply-batch=1"},
  };
  for (const auto& args : bad) {
    DevsimOptions o;
    std::string error;
    EXPECT_FALSE(ParseDevsimOptions(args, o, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(FaultPlanTest, FaultsFallOnTheSameRepliesEveryRun) {
  FaultOptions options;
  options.drop_every = 3;
  options.corrupt_every = 2;
  options.silent_after = 5;
  options.hangup_after = 4;
  FaultPlan plan(options);
  std::vector<int> dropped, corrupted;
  for (int i = 1; i <= 6; ++i) {
    const ReplyFate fate = plan.NextReply();
    if (fate.drop) dropped.push_back(i);
    if (fate.corrupt) corrupted.push_back(i);
    EXPECT_EQ(fate.silence_after, i == 5);
    EXPECT_EQ(fate.hangup_after, i == 4);
    EXPECT_TRUE(fate.noise.empty());
  }
  EXPECT_EQ(dropped, (std::vector<int>{3, 6}));
  EXPECT_EQ(corrupted, (std::vector<int>{2, 4}));  // 6 is dropped instead
}

TEST(FaultPlanTest, TimingFaultsFallOnTheSameCommandsEveryRun) {
  FaultOptions options;
  options.cross_every = 3;
  options.double_every = 2;
  FaultPlan plan(options);
  std::vector<int> crossed, doubled;
  for (int i = 1; i <= 7; ++i) {
    const CommandFate fate = plan.NextCommand();
    if (fate.cross) crossed.push_back(i);
    if (fate.double_reply) doubled.push_back(i);
  }
  EXPECT_EQ(crossed, (std::vector<int>{3, 6}));
  EXPECT_EQ(doubled, (std::vector<int>{2, 4, 6}));
  EXPECT_EQ(plan.replies(), 0u);  // replies are counted apart
}

TEST(FaultPlanTest, NoiseDependsOnlyOnTheSeedAndNeverStartsAFrame) {
  FaultOptions options;
  options.noise_every = 1;
  options.seed = 42;
  FaultPlan a(options), b(options);
  options.seed = 43;
  FaultPlan c(options);
  bool differs = false;
  for (int i = 0; i < 200; ++i) {
    const ReplyFate fa = a.NextReply();
    EXPECT_EQ(fa.noise, b.NextReply().noise);
    differs |= fa.noise != c.NextReply().noise;
    EXPECT_GE(fa.noise.size(), 1u);
    EXPECT_LE(fa.noise.size(), 16u);
    for (uint8_t byte : fa.noise) EXPECT_NE(byte, 0xD1);
  }
  EXPECT_TRUE(differs);
  for (int sum = 0; sum < 256; ++sum) {
    EXPECT_NE(a.CorruptSum(static_cast<uint8_t>(sum)), sum);
  }
}

}  // namespace
}  // namespace taktm::devsim
