// Golden files: a test's output compared with the file beside its input, and rewritten instead
// when VELMO_UPDATE_GOLDEN is set (after a deliberate change, to be reviewed in the diff).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace velmo::test {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void ExpectGolden(const std::string& path, const std::string& actual) {
  if (std::getenv("VELMO_UPDATE_GOLDEN") != nullptr) std::ofstream(path) << actual;
  EXPECT_EQ(actual, ReadFile(path)) << "golden file " << path;
}

}  // namespace velmo::test
