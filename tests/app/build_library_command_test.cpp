#include "app/build_library_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/list_library_command.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

const std::string kSource =
    "Index\tType\tUpLink\tText\tComment\tSource\tIdent\tOpatreni\tPravdep\tNasledky\tHodnocen\n"
    "1\t0\t0\tElektřina\tČSN 33 1600\t\t\t\t\t\t\n"
    "2\t1\t1\tÚraz elektrickým proudem\t\tRozvaděč\tDotyk živé části.\t- revize\\r\\n- "
    "proudový chránič 30 mA\t2\t5\t1\n"
    "3\t0\t1\tKancelář\t\t\t\t\t\t\t\n"
    "4\t1\t3\tPrázdný popis\t\tMonitor\t\t\t0\t\t\n";

class BuildLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(prog);
    fs::create_directories(temp / "user");
  }
  int Build(const std::string& which, const std::string& content) {
    WriteFileBytes(temp / "from.tsv", content);
    return Run(BuildLibraryCommand(), {"--build-library", which, (temp / "from.tsv").string()});
  }
  std::string List(const std::string& which) {
    EXPECT_EQ(Run(ListLibraryCommand(), {"--list-library", which}), 0) << err.str();
    return out.str();
  }
  int Run(const BatchCommand& command, const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return RunBatchCommand(command, args,
                           BatchContext{out, err, messages, {}, prog, temp / "user"});
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(prog)) {
      names.push_back(entry.path().filename().string() + ":" + ReadFileBytes(entry.path()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir temp;
  fs::path prog = temp / "prog";
  Messages messages;
  std::ostringstream out, err;
};

TEST_F(BuildLibraryTest, ListThenBuildGivesBackTheSameLibraryAndLeavesTheOtherOne) {
  ASSERT_EQ(Build("builtin", kSource), 0) << err.str();
  EXPECT_EQ(out.str(), (prog / "RiskLib.LIB").string() + ": 4\n");
  EXPECT_EQ(List("builtin"), kSource);

  // The listing of one library builds the other; the first one's archive stays untouched.
  const std::string builtInArchive = ReadFileBytes(prog / "RiskLib.LIB");
  ASSERT_EQ(Build("user", List("builtin")), 0) << err.str();
  EXPECT_EQ(List("user"), kSource);
  EXPECT_EQ(ReadFileBytes(prog / "RiskLib.LIB"), builtInArchive);

  // A smaller file replaces the library rather than adding to it.
  const std::string first = kSource.substr(0, kSource.find("2\t1\t1"));
  ASSERT_EQ(Build("user", first), 0) << err.str();
  EXPECT_EQ(List("user"), first);
}

TEST_F(BuildLibraryTest, RefusedFileNamesItsLineAndChangesNothing) {
  // Nothing is created in an empty program directory either.
  const std::string duplicate = kSource + "2\t1\t1\tZnovu\t\t\t\t\t\t\t\n";
  EXPECT_EQ(Build("builtin", duplicate), 1);
  EXPECT_EQ(err.str(),
            (temp / "from.tsv").string() + ": řádek 6: Index 2 už má záznam na řádku 3.\n");
  EXPECT_TRUE(Files().empty());

  ASSERT_EQ(Build("builtin", kSource), 0) << err.str();
  const auto before = Files();
  EXPECT_EQ(Build("builtin", kSource + "5\t1\t9\tBez uzlu\t\t\t\t\t\t\t\n"), 1);
  EXPECT_NE(err.str().find("řádek 6: UpLink 9"), std::string::npos) << err.str();
  EXPECT_EQ(Files(), before);

  EXPECT_EQ(
      Run(BuildLibraryCommand(), {"--build-library", "builtin", (temp / "none.tsv").string()}), 1);
  EXPECT_NE(err.str().find("Soubor nenalezen."), std::string::npos) << err.str();
  EXPECT_EQ(Run(BuildLibraryCommand(), {"--build-library", "both", "x.tsv"}), 2);
  EXPECT_EQ(Run(BuildLibraryCommand(), {"--build-library", "user"}), 2);
  EXPECT_EQ(Files(), before);
}

}  // namespace
}  // namespace orvenda
