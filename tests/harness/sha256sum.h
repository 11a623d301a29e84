// The SHA-256 of a file as the system's sha256sum gives it: an oracle
// independent of the program's own digest, for tests that check the
// fingerprints the program logs.
#ifndef TAKT_TESTS_HARNESS_SHA256SUM_H_
#define TAKT_TESTS_HARNESS_SHA256SUM_H_

#include <cstdio>
#include <string>

namespace taktm::testing {

// 64 lower-case hex digits; empty when sha256sum could not be run.
inline std::string Sha256SumOf(const std::string& path) {
  std::string out;
  FILE* p = ::popen(("sha256sum '" + path + "'").c_str(), "r");
  if (p == nullptr) return out;
  char buffer[128];
  if (std::fgets(buffer, sizeof buffer, p) != nullptr) out = buffer;
  ::pclose(p);
  return out.substr(0, 64);
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_SHA256SUM_H_
