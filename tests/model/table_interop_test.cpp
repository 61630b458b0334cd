// Our tables as other programs see them: a standard dBase reader, and a second process that
// wants the table at the same time.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/cp1250.h"
#include "base/error.h"
#include "model/table.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

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

// Prints every live record as "FIELD=value" lines: strings as hex of their windows-1250 bytes,
// numbers in decimal, empty fields as None; a blank line after each record.
constexpr const char* kReader = R"PY(
import sys
from dbfread import DBF
t = DBF(sys.argv[1], load=True)
print("encoding", t.encoding)
print("deleted", len(t.deleted))
for rec in t.records:
    for k, v in rec.items():
        if v is None: s = "None"
        elif isinstance(v, str): s = v.encode("cp1250").hex()
        else: s = str(v)
        print(k + "=" + s)
    print()
)PY";

struct Record {
  int32_t index;
  std::string text, comment;
  bool hasIndex = true;
};

TEST(TableInterop, DbfreadReadsWhatWeWrote) {
  if (access("/usr/bin/python3", X_OK) != 0 ||
      RunCommand("/usr/bin/python3 -c 'import dbfread' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-dbfread is not installed";
  TempDir dir;
  Table t;
  t.SetPath(dir / "Export.dbf");
  t.Create({{"Index", FieldType::Integer, 0},
            {"Text", FieldType::String, 30},
            {"Comment", FieldType::Memo, 0}},
           {{"Index", "Index", false}});
  t.Open();
  std::string longMemo;
  for (int i = 0; i < 60; ++i)
    longMemo += W("Řádek č. ") + std::to_string(i) + W(" – žluťoučký kůň\r\n");
  ASSERT_GT(longMemo.size(), 3 * 512u);
  const std::vector<Record> records = {
      {1, W("Příliš žluťoučký kůň"), W("Krátká poznámka")},
      {-7, "", longMemo},
      {0, W("Ďábelské ódy"), ""},
      {2147483647, "gone", "deleted memo"},
      {0, "", "", false},
      {12, std::string(30, 'x'), std::string(511, 'm')},  // memo filling a block exactly
  };
  for (const Record& r : records) {
    t.Append();
    if (r.hasIndex) t.SetInt("Index", r.index);
    t.SetText("Text", r.text);
    t.SetText("Comment", r.comment);
    t.Post();
  }
  ASSERT_TRUE(t.Locate("Index", 2147483647));
  t.Delete();
  t.Close();

  std::ofstream((dir / "read.py").string()) << kReader;
  std::string output;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + (dir / "read.py").string() + " " +
                           (dir / "Export.dbf").string() + " 2>&1",
                       &output),
            0)
      << output;

  std::string expected = "encoding cp1250\ndeleted 1\n";
  for (const Record& r : records) {
    if (r.index == 2147483647) continue;
    expected += "INDEX=" + (r.hasIndex ? std::to_string(r.index) : std::string("None")) + "\n";
    expected += "TEXT=" + Hex(r.text) + "\n";
    expected += "COMMENT=" + (r.comment.empty() ? std::string("None") : Hex(r.comment)) + "\n\n";
  }
  EXPECT_EQ(output, expected);
}

// A child process holds the table open in `mode` until told to close it.
class Holder {
 public:
  Holder(const std::filesystem::path& dbf, bool exclusive) {
    int ready[2], done[2];
    if (pipe(ready) != 0 || pipe(done) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      // Only the parent may hold the write end, or the read below never sees its close.
      close(done[1]);
      close(ready[0]);
      char c = 'n';
      Table t;  // stays open until the process ends
      try {
        t.SetPath(dbf);
        t.Open(exclusive);
        c = 'y';
      } catch (...) {
      }
      if (write(ready[1], &c, 1) != 1) _exit(2);
      char x;
      if (read(done[0], &x, 1) < 0) _exit(2);
      _exit(0);  // the lock goes with the process
    }
    close(ready[1]);
    close(done[0]);
    char c = 0;
    if (read(ready[0], &c, 1) != 1) c = 0;
    opened_ = c == 'y';
    close(ready[0]);
    done_ = done[1];
  }
  ~Holder() { Release(); }
  bool opened() const { return opened_; }
  void Release() {
    if (pid_ <= 0) return;
    close(done_);
    int status;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int done_ = -1;
  bool opened_ = false;
};

TEST(TableInterop, AnotherProcessHoldingTheTableMakesItBusy) {
  TempDir dir;
  Table t;
  t.SetPath(dir / "Busy.dbf");
  t.Create({{"Index", FieldType::Integer, 0}}, {});
  {
    Holder shared(dir / "Busy.dbf", false);
    ASSERT_TRUE(shared.opened());
    try {
      t.Open(true);
      ADD_FAILURE() << "exclusive open while another process has the table";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(W("používána")), std::string::npos) << e.what();
    }
    t.Open();  // shared beside shared
    t.Close();
  }
  {
    Holder exclusive(dir / "Busy.dbf", true);
    ASSERT_TRUE(exclusive.opened());
    EXPECT_THROW(t.Open(), Error);
    exclusive.Release();
    t.Open(true);
    EXPECT_TRUE(t.IsExclusive());
  }
  // Our exclusive open keeps the other process out.
  Holder late(dir / "Busy.dbf", false);
  EXPECT_FALSE(late.opened());
}

}  // namespace
}  // namespace orvenda
