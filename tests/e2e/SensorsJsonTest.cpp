// velmo-identify --sensors-json on every shipped board with a chip, against golden files: the
// JSON shape `sensors -j` prints (chip, adapter, features with _input/_min/_max/_alarm in base
// units). VELMO_UPDATE_GOLDEN=1 rewrites the files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

#include "tests/support/Golden.h"

namespace velmo::test {
namespace {

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
      out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

TEST(SensorsJson, EveryChipInTheShapeSensorsPrints) {
  const std::string program = std::string(VELMO_BINARY_DIR) + "/tools/velmo-identify";
  for (const char* board :
       {"demo", "w83781d", "w83781d-model3", "w83782d", "w83627hf", "sis5595", "via686a"}) {
    SCOPED_TRACE(board);
    const std::string text = Output(program + " --sensors-json --board " +
                                    std::string(VELMO_BOARD_DIR) + "/" + board + ".json");
    const auto doc = nlohmann::json::parse(text, nullptr, false);
    ASSERT_TRUE(doc.is_object() && doc.size() == 1) << text;
    const auto& chip = doc.begin().value();
    EXPECT_NE(doc.begin().key().find("-isa-"), std::string::npos);
    EXPECT_EQ(chip.value("Adapter", ""), "ISA adapter");
    for (const auto& [label, feature] : chip.items()) {
      if (label == "Adapter") continue;
      bool input = false;
      for (const auto& [name, value] : feature.items()) {
        EXPECT_TRUE(value.is_number()) << label << " " << name;
        input = input || name.ends_with("_input");
      }
      EXPECT_TRUE(input) << label;
    }
    ExpectGolden(std::string(VELMO_TEST_DATA_DIR) + "/sensors/" + board + ".json", text);
  }
}

}  // namespace
}  // namespace velmo::test
