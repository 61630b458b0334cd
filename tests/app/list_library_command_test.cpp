#include "app/list_library_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "base/cp1250.h"
#include "library/library_cipher.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;
using test::TempDir;

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A library table as another program writes it: dBase III with memo, upper-case field names,
// empty fields where nothing was given. Texts arrive as hex of windows-1250 bytes, "-" for none.
constexpr const char* kWriter = R"PY(
import sys, dbf
def text(h): return None if h == "-" else bytes.fromhex(h).decode("cp1250")
def num(s): return None if s == "-" else int(s)
t = dbf.Table(sys.argv[1], "Index N(11,0); Type N(11,0); Text C(100); Comment M; "
              "UpLink N(11,0); Source C(250); Ident M; Opatreni M; Pravdep N(11,0); "
              "Nasledky N(11,0); Hodnocen N(11,0)", dbf_type="db3", codepage="cp1250")
t.open(dbf.READ_WRITE)
for line in open(sys.argv[2]):
    f = line.split()
    t.append((num(f[0]), num(f[1]), text(f[2]), text(f[3]), num(f[4]), text(f[5]), text(f[6]),
              text(f[7]), num(f[8]), num(f[9]), num(f[10])))
t.close()
)PY";

class ListLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(temp / "prog");
    fs::create_directories(temp / "user");
  }
  int List(std::vector<std::string> args) {
    out.str("");
    err.str("");
    if (args.empty() || args[0] != "--list-library") args.insert(args.begin(), "--list-library");
    return RunBatchCommand(ListLibraryCommand(), args,
                           BatchContext{out, err, messages, {}, temp / "prog", temp / "user"});
  }
  // Writes loose library tables with python3-dbf; false when it is not installed.
  bool WriteForeign(const fs::path& dbf, const std::vector<std::string>& lines) {
    if (access("/usr/bin/python3", X_OK) != 0 ||
        RunCommand("/usr/bin/python3 -W ignore -c 'import dbf' 2>/dev/null") != 0) {
      return false;
    }
    std::string rows;
    for (const auto& line : lines) rows += line + "\n";
    test::WriteFileBytes(temp / "writer.py", kWriter);
    test::WriteFileBytes(temp / "rows.txt", rows);
    return RunCommand("/usr/bin/python3 -W ignore " + (temp / "writer.py").string() + " " +
                      dbf.string() + " " + (temp / "rows.txt").string()) == 0;
  }

  TempDir temp;
  Messages messages;
  std::ostringstream out, err;
};

TEST_F(ListLibraryTest, ListsAForeignLibraryExactlyAndPacksItLikeTheStart) {
  const std::string ident = EncryptLibraryText(W("Řez prstů\r\nna pile"));
  if (!WriteForeign(temp / "prog" / "RISKLIB.DBF",
                    {"1 0 " + Hex(W("Dílna")) + " " + Hex(W("Pozn\r\nřádek")) + " 0 - - - - - -",
                     "2 1 " + Hex("Pila\tx\\y") + " - 1 " + Hex("Stroje") + " " + Hex(ident) + " " +
                         Hex(EncryptLibraryText("Kryt")) + " 3 0 -",
                     "5 1 " + Hex("Lis") + " - 1 - - - - - -"})) {
    GTEST_SKIP() << "python3-dbf is not installed";
  }
  const std::string expected =
      "Index\tType\tUpLink\tText\tComment\tSource\tIdent\tOpatreni\tPravdep\tNasledky\tHodnocen\n"
      "1\t0\t0\tDílna\tPozn\\r\\nřádek\t\t\t\t\t\t\n"
      "2\t1\t1\tPila\\tx\\\\y\t\tStroje\tŘez prstů\\r\\nna pile\tKryt\t3\t0\t\n"
      "5\t1\t1\tLis\t\t\t\t\t\t\t\n";
  ASSERT_EQ(List({"--list-library", "builtin"}), 0) << err.str();
  EXPECT_EQ(out.str(), expected);
  EXPECT_TRUE(fs::exists(temp / "prog" / "RiskLib.LIB"));
  EXPECT_TRUE(fs::exists(temp / "prog" / "UserLib.LIB"));

  // The second run reads the archive it made; an empty user library is its header alone.
  fs::remove(temp / "prog" / "RISKLIB.DBF");
  ASSERT_EQ(List({"builtin"}), 0) << err.str();
  EXPECT_EQ(out.str(), expected);
  ASSERT_EQ(List({"user", "--program-dir", (temp / "prog").string()}), 0);
  EXPECT_EQ(out.str(), expected.substr(0, expected.find('\n') + 1));
}

TEST_F(ListLibraryTest, DamagedValuesAndLibrariesFailWithoutAListing) {
  if (!WriteForeign(temp / "prog" / "UserLib.DBF",
                    {"1 1 " + Hex("x") + " - 0 - " + Hex("abc") + " - - - -"})) {
    GTEST_SKIP() << "python3-dbf is not installed";
  }
  EXPECT_EQ(List({"user"}), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "Base64: Incorrect string format\n");

  test::WriteFileBytes(temp / "prog" / "RiskLib.LIB", "not an archive");
  EXPECT_EQ(List({"builtin"}), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(err.str().find("RiskLib.LIB"), std::string::npos) << err.str();
  EXPECT_EQ(test::ReadFileBytes(temp / "prog" / "RiskLib.LIB"), "not an archive");

  EXPECT_EQ(List({}), 2);
  EXPECT_EQ(List({"both"}), 2);
  // A misspelt program directory is a usage error: no library is made for it.
  EXPECT_EQ(List({"user", "--program-dir", (temp / "missing").string()}), 2);
  EXPECT_FALSE(std::filesystem::exists(temp / "missing"));
}

}  // namespace
}  // namespace orvenda
