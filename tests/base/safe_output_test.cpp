#include "base/safe_output.h"

#include <gtest/gtest.h>

#include "base/cp1250.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;

TEST(SafeOutput, AnOutputThatIsAnInputUnderAnySpellingIsRefusedWithBothNames) {
  test::TempDir dir;
  fs::create_directories(dir / "a");
  test::WriteFileBytes(dir / "P.RSK", "project");
  fs::create_symlink(dir / "P.RSK", dir / "link.RSK");
  fs::create_hard_link(dir / "P.RSK", dir / "hard.RSK");
  const fs::path inputs[] = {dir / "P.RSK"};
  for (const fs::path& output :
       {dir / "a" / ".." / "P.RSK", dir / "link.RSK", dir / "hard.RSK", dir / "P.RSK"}) {
    const std::string error = test::ErrorText([&] {
      RefuseOutputOverInputs(output, {dir / "x.htm", inputs[0]});
    });
    EXPECT_NE(error.find(output.string()), std::string::npos) << error;
    EXPECT_NE(error.find(inputs[0].string() + ";"), std::string::npos) << error;
  }
  // Another file, a file not yet there, and no input at all pass.
  test::WriteFileBytes(dir / "Q.RSK", "project");
  EXPECT_NO_THROW(RefuseOutputOverInputs(dir / "Q.RSK", {dir / "P.RSK"}));
  EXPECT_NO_THROW(RefuseOutputOverInputs(dir / "new.htm", {dir / "P.RSK", fs::path()}));
  EXPECT_EQ(test::ReadFileBytes(dir / "P.RSK"), "project");
}

}  // namespace
}  // namespace orvenda
