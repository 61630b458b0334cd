#include "library/update_file.h"

#include <gtest/gtest.h>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "documents/working_directory.h"
#include "library/library_cipher.h"
#include "model/project_table.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ErrorText;
using test::FakeTreeControl;
using test::ReadFileBytes;
using test::RecordingProgress;
using test::TempDir;
using test::WriteFileBytes;

struct Rec {
  int32_t index, type, upLink;
  std::string text = {};
  int32_t p = 0, n = 0, h = 0;
  std::string ident = {};
};

void Put(Table& table, const Rec& r) {
  table.Append();
  table.Edit();
  table.SetInt(fld::kIndex, r.index);
  table.SetInt(fld::kType, r.type);
  table.SetInt(fld::kUpLink, r.upLink);
  table.SetText(fld::kText, r.text);
  table.SetText(fld::kIdent, r.ident);
  table.SetInt(fld::kPravdep, r.p);
  table.SetInt(fld::kNasledky, r.n);
  table.SetInt(fld::kHodnocen, r.h);
  table.Post();
}

std::vector<Rec> All(Table& table) {
  std::vector<Rec> out;
  ClearFilter(table);
  for (table.First(); !table.IsEmpty() && !table.Eof(); table.Next()) {
    out.push_back({table.GetInt(fld::kIndex), table.GetInt(fld::kType), table.GetInt(fld::kUpLink),
                   table.GetText(fld::kText), table.GetInt(fld::kPravdep),
                   table.GetInt(fld::kNasledky), table.GetInt(fld::kHodnocen),
                   table.GetText(fld::kIdent)});
  }
  return out;
}

// "index:upLink:text" per record, in table order.
std::vector<std::string> Shape(Table& table) {
  std::vector<std::string> out;
  for (const Rec& r : All(table)) {
    out.push_back(std::to_string(r.index) + ":" + std::to_string(r.upLink) + ":" + r.text);
  }
  return out;
}

class UpdateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(temp / "tmp");
    library.SetPath(temp / "RiskLib.dbf");
    CreateProjectTable(library);
  }
  void TearDown() override {
    if (library.IsOpen()) library.Close();
  }

  // Reads an update file into `table` through a fresh directory.
  void Read(const fs::path& file, Table& table) {
    const fs::path dir = MakeWorkingDirectory(temp / "tmp");
    ReadUpdateFile(file, dir, table, progress, messages);
  }

  // An update file made by hand from records, for files another program might write.
  fs::path Handmade(const std::string& name, const std::vector<Rec>& records,
                    bool withTable = true) {
    const fs::path dir = temp / ("src-" + name);
    fs::create_directories(dir);
    Table table;
    table.SetPath(dir / "Data.dbf");
    CreateProjectTable(table);
    for (const Rec& r : records) Put(table, r);
    table.Close();
    table.Rename(dir / "DATA.IMP");  // another program's letter case
    if (!withTable) fs::remove(dir / "DATA.IMP");
    TZLBArchive zlb;
    zlb.CreateArchive(temp / name);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
    zlb.AddFiles(files);
    zlb.CloseArchive();
    return temp / name;
  }

  TempDir temp;
  RecordingProgress progress;
  Messages messages;
  Table library;
};

TEST_F(UpdateFileTest, ExportNumbersInCopyOrderKeepsStoredTextsAndLiftsZeroRatings) {
  const std::string stored = EncryptLibraryText(W("Řez"));
  // Table order puts the node's own risk and the second child's risk before the children.
  Put(library, {10, kNodeType, 0, "Root"});
  Put(library, {11, kRiskType, 10, "Own", 0, 3, 0, stored});
  Put(library, {12, kNodeType, 10, "A"});
  Put(library, {13, kNodeType, 10, "B"});
  Put(library, {14, kRiskType, 13, "B risk", 2, 2, 4});
  Put(library, {15, kRiskType, 12, "A risk", 5, 0, 0});
  Put(library, {16, kRiskType, 0, "Alone", 0, 0, 0});

  // "Zaloha" does not exist yet; the export makes it.
  const fs::path target = temp / "prog" / "Zaloha" / "Data.akt";
  WriteUpdateFile(library, 10, target, temp / "tmp", progress, messages);
  Table update;
  Read(target, update);
  EXPECT_EQ(Shape(update), (std::vector<std::string>{"1:0:Root", "2:1:A", "3:2:A risk", "4:1:B",
                                                     "5:4:B risk", "6:1:Own"}));
  const std::vector<Rec> rows = All(update);
  EXPECT_EQ(rows[5].ident, stored);
  EXPECT_EQ(rows[5].p, 1);
  EXPECT_EQ(rows[5].n, 3);
  EXPECT_EQ(rows[5].h, 1);
  EXPECT_EQ(rows[2].n, 1);
  EXPECT_EQ(rows[4].h, 4);
  update.Close();
  EXPECT_EQ(progress.calls.front(), "show " + messages.Get(40) + " 100");

  // A single risk, over the file before.
  WriteUpdateFile(library, 16, target, temp / "tmp", progress, messages);
  Read(target, update);
  const std::vector<Rec> single = All(update);
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(single[0].index, 1);
  EXPECT_EQ(single[0].upLink, 0);
  EXPECT_EQ(single[0].type, kRiskType);
  EXPECT_EQ(single[0].h, 1);
  update.Close();
  EXPECT_FALSE(ErrorText([&] {
                 WriteUpdateFile(library, 99, target, temp / "tmp", progress, messages);
               }).empty());
  // The failed export left the last good file.
  Read(target, update);
  EXPECT_EQ(All(update).size(), 1u);
  update.Close();
}

TEST_F(UpdateFileTest, MergeAppendsUnderTheFirstTopRecordEveryTimeAndExtendsTheTree) {
  const fs::path file = Handmade(
      "branch.akt", {{1, kNodeType, 0, "New"}, {2, kRiskType, 1, "New risk", 3, 3, 3, ""}});
  // An empty library takes the branch at the top level.
  Table update;
  Read(file, update);
  EXPECT_EQ(MergeParent(library), 0);
  EXPECT_EQ(MergeUpdate(update, library, nullptr, progress), 1);
  update.Close();
  EXPECT_EQ(Shape(library), (std::vector<std::string>{"1:0:New", "2:1:New risk"}));

  // A library of top-level risks only: no node to take it, so the top level again.
  CreateProjectTable(library);
  Put(library, {3, kRiskType, 0, "Top risk"});
  EXPECT_EQ(MergeParent(library), 0);

  CreateProjectTable(library);
  Put(library, {4, kRiskType, 0, "Top risk first"});
  Put(library, {5, kRiskType, 7, "Under seven"});
  Put(library, {7, kNodeType, 0, "First top"});
  Put(library, {8, kNodeType, 0, "Second top"});
  FakeTreeControl tree;
  tree.Add(nullptr, "First top", TreeControl::kCollapsedNode, 7);
  for (int pass = 0; pass < 2; ++pass) {
    Read(file, update);
    MergeUpdate(update, library, &tree, progress);
    update.Close();
  }
  EXPECT_EQ(Shape(library),
            (std::vector<std::string>{"4:0:Top risk first", "5:7:Under seven", "7:0:First top",
                                      "8:0:Second top", "9:7:New", "10:9:New risk", "11:7:New",
                                      "12:11:New risk"}));
  EXPECT_EQ(tree.ChildData(tree.FindByData(7)), (std::vector<int32_t>{9, 11}));
  EXPECT_EQ(tree.ChildData(tree.FindByData(11)), (std::vector<int32_t>{12}));
}

TEST_F(UpdateFileTest, DamagedOrForeignFilesAreRefusedBeforeAnything) {
  const std::string good = EncryptLibraryText("x");
  WriteFileBytes(temp / "text.akt", "not an archive at all");
  const std::vector<std::pair<fs::path, std::string>> cases = {
      {temp / "text.akt", "corrupted"},
      {temp / "missing.akt", "not found"},
      {Handmade("notable.akt", {{1, kNodeType, 0, "R"}}, false), "Data.imp"},
      {Handmade("empty.akt", {}), "Index 1"},
      {Handmade("noroot.akt", {{2, kNodeType, 0, "R"}}), "Index 1"},
      {Handmade("rootlink.akt", {{1, kNodeType, 5, "R"}, {5, kNodeType, 1, "S"}}), "Index 1"},
      {Handmade("dangling.akt", {{1, kNodeType, 0, "R"}, {2, kRiskType, 9, "X"}}), " 9"},
      {Handmade("secondtop.akt", {{1, kNodeType, 0, "R"}, {2, kRiskType, 0, "X"}}), " 0"},
      {Handmade("underrisk.akt", {{1, kRiskType, 0, "R"}, {2, kRiskType, 1, "X"}}), W("rizikem")},
      {Handmade("cycle.akt",
                {{1, kNodeType, 0, "R"}, {2, kNodeType, 3, "A"}, {3, kNodeType, 2, "B"}}),
       W("cyklu")},
      {Handmade("twice.akt", {{1, kNodeType, 0, "R"}, {1, kRiskType, 0, "X"}}), W("opakuje")},
      {Handmade("type.akt", {{1, kNodeType, 0, "R"}, {2, 7, 1, "X"}}), W("typ")},
      {Handmade("base64.akt", {{1, kRiskType, 0, "R", 1, 1, 1, good + "="}}), "Ident"},
  };
  Put(library, {1, kNodeType, 0, "Kept"});
  for (const auto& [file, reason] : cases) {
    Table update;
    const std::string error = ErrorText([&] { Read(file, update); });
    EXPECT_NE(error.find(W("není použitelný aktualizační soubor")), std::string::npos) << error;
    EXPECT_NE(error.find(reason), std::string::npos) << file << ": " << error;
    EXPECT_FALSE(update.IsOpen()) << file;
  }
  EXPECT_EQ(Shape(library), (std::vector<std::string>{"1:0:Kept"}));
}

}  // namespace
}  // namespace orvenda
