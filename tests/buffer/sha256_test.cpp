// SHA-256 against the standard's examples and, for a long input fed in
// uneven pieces, against the system's sha256sum.
#include "buffer/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/temp_dir.h"

namespace taktm {
namespace {

std::string HexOf(const std::string& text) {
  return Sha256Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(Sha256Test, StandardExamples) {
  EXPECT_EQ(HexOf("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(HexOf(""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // 448 bits: the padding needs a second block.
  EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

#ifndef _WIN32
TEST(Sha256Test, OneMebibyteInPiecesAgreesWithSha256sum) {
  testing::TempDir dir;
  std::vector<uint8_t> bytes(1 << 20);
  uint32_t x = 12345;
  for (uint8_t& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  const std::string path = dir.File("image.bin");
  testing::WriteFile(path, bytes);
  const std::string sum = dir.File("sum.txt");
  ASSERT_EQ(std::system(("sha256sum '" + path + "' >'" + sum + "'").c_str()),
            0);
  const std::string expected = testing::ReadText(sum).substr(0, 64);
  // Pieces that cross the blocks' edges at every offset.
  Sha256 hash;
  size_t at = 0;
  for (size_t piece = 1; at < bytes.size(); piece = piece % 131 + 1) {
    const size_t take = std::min(piece, bytes.size() - at);
    hash.Update(bytes.data() + at, take);
    at += take;
  }
  std::string got;
  char two[3];
  for (const uint8_t b : hash.Finish()) {
    std::snprintf(two, sizeof two, "%02x", b);
    got += two;
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(Sha256Hex(bytes.data(), bytes.size()), expected);
}
#endif

}  // namespace
}  // namespace taktm
