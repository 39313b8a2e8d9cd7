// The failure vocabulary: each side is read only when it is there, and a failed write says
// where and why.
#include "monitor/base/Error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <variant>

#include "monitor/base/AtomicFile.h"

namespace velmo::base {
namespace {

Expected<std::unique_ptr<int>> Made(bool ok) {
  if (!ok) return Error{"cannot make it", EACCES};
  return std::make_unique<int>(7);
}

TEST(Error, EachSideIsReadOnlyWhenItIsThere) {
  auto made = Made(true);
  ASSERT_TRUE(made.has_value());
  std::unique_ptr<int> taken = std::move(made).value();  // move-only values leave intact
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(*taken, 7);

  const auto refused = Made(false);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "cannot make it");
  EXPECT_EQ(refused.error().code, EACCES);
  EXPECT_THROW((void)refused.value(), std::bad_variant_access);  // never a made-up value

  const Expected<void> done;
  EXPECT_TRUE(done);
  const Expected<void> failed = Error{"no", 0};
  EXPECT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error().message, "no");
}

TEST(Error, AFailedWriteNamesTheStepTheFileAndTheErrno) {
  const std::string missing =
      (std::filesystem::temp_directory_path() / "velmo-no-such-folder" / "x" / "file").string();
  const auto written = WriteFileAtomically(missing, "text\n");
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().step, WriteStep::kCreate);
  EXPECT_EQ(written.error().code, ENOENT);
  EXPECT_NE(written.error().message.find("velmo-no-such-folder/x"), std::string::npos)
      << written.error().message;
}

}  // namespace
}  // namespace velmo::base
