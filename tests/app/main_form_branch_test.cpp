// Moving branches by drag and drop, copy and paste through the clipboard, and the branch copy
// between any two tables.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/main_form_fixture.h"
#include "model/branch_copy.h"
#include "model/clipboard.h"

namespace orvenda::test {
namespace {

using ::testing::ElementsAre;
namespace fs = std::filesystem;

class DragTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Load({Node(1, 0, "A"), Node(2, 1, "B"), Node(3, 2, "C"), Risk(4, 3, "r4"), Risk(5, 1, "r5"),
          Node(6, 0, "D"), Risk(7, 6, "r7"), Risk(8, 0, "top risk")});
  }
};

TEST_F(DragTest, RefusedOntoNothingItselfOrItsOwnBranch) {
  Select(2);
  EXPECT_FALSE(form->TreeNT1DragOver(nullptr));
  EXPECT_FALSE(form->TreeNT1DragOver(Item(2)));
  EXPECT_FALSE(form->TreeNT1DragOver(Item(3)));
  EXPECT_FALSE(form->TreeNT1DragOver(Item(4))) << "a risk deep inside the branch";
  EXPECT_TRUE(form->TreeNT1DragOver(Item(1))) << "its own parent";
  EXPECT_TRUE(form->TreeNT1DragOver(Item(6)));
  EXPECT_TRUE(form->TreeNT1DragOver(Item(7))) << "a risk elsewhere";
  EXPECT_TRUE(form->TreeNT1DragOver(Item(5))) << "a sibling risk";
}

TEST_F(DragTest, DropOnANodeMovesTheBranchLastUnderIt) {
  Select(2);
  form->TextEdit.text = "page left alone";
  form->TreeNT1DragDrop(Item(6));
  EXPECT_EQ(RowOf(2).upLink, 6);
  EXPECT_EQ(RowOf(3).upLink, 2) << "only the dragged record changes";
  EXPECT_THAT(tree.ChildData(Item(6)), ElementsAre(7, 2));
  EXPECT_EQ(tree.Parent(Item(4)), Item(3));
  EXPECT_EQ(tree.Selected(), Item(2));
  EXPECT_EQ(form->TextEdit.text, "page left alone");
  EXPECT_TRUE(form->Modified);
  EXPECT_FALSE(form->TreeUpdating);

  // Rebuilt, the branch stands in Index order again.
  form->BuildTree();
  EXPECT_THAT(tree.ChildData(Item(6)), ElementsAre(2, 7));
}

TEST_F(DragTest, DropOnARiskGoesUnderItsParentOnATopLevelRiskToTheTop) {
  Select(5);
  form->TreeNT1DragDrop(Item(7));
  EXPECT_EQ(RowOf(5).upLink, 6);
  EXPECT_THAT(tree.ChildData(Item(6)), ElementsAre(7, 5));

  Select(3);
  form->TreeNT1DragDrop(Item(8));
  EXPECT_EQ(RowOf(3).upLink, 0);
  EXPECT_THAT(tree.ChildData(nullptr), ElementsAre(1, 6, 8, 3));
  EXPECT_EQ(tree.Parent(Item(4)), Item(3));
}

TEST_F(DragTest, RefusedDropChangesNothing) {
  Select(1);
  form->TreeNT1DragDrop(Item(3));
  EXPECT_EQ(RowOf(1).upLink, 0);
  EXPECT_EQ(tree.Parent(Item(1)), nullptr);
  EXPECT_FALSE(form->Modified);
}

TEST_F(DragTest, DamagedTablesAndPlaceholders) {
  // 20 and 21 name each other as parent; 22 hangs below them; 23 waits for the missing 99.
  Load({Node(20, 21, "x"), Node(21, 20, "y"), Risk(22, 21, "r"), Risk(23, 99, "orphan")});
  Select(6);
  EXPECT_TRUE(form->TreeNT1DragOver(Item(22)));  // the walk ends instead of circling

  // A dragged placeholder has no record: the drop does nothing.
  Select(99);
  form->TreeNT1DragDrop(Item(6));
  EXPECT_EQ(tree.Parent(Item(99)), nullptr);
  EXPECT_FALSE(form->Modified);
}

class ClipboardTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Row risk = Risk(5, 4, "r5", 2, 3, 4);
    risk.source = "Lis";
    risk.ident = "ident";
    risk.opatreni = "measures";
    risk.comment = "note";
    Load({Node(1, 0, "top"), Node(2, 1, "A"), Risk(3, 2, "empty ratings"), Node(4, 2, "B"), risk,
          Risk(6, 4, "r6", 1, 1, 1), Node(7, 4, "C"), Risk(8, 1, "r8", 5, 5, 5)});
  }

  std::vector<Row> ClipboardRows() {
    form->ClipboardTable.Open();
    std::vector<Row> rows = ReadRows(form->ClipboardTable);
    form->ClipboardTable.Close();
    return rows;
  }
};

TEST_F(ClipboardTest, PopupEnablesEntriesByTheSelectionAndTheClipboard) {
  form->PopupMenu1Popup(Item(3));
  EXPECT_EQ(tree.Selected(), Item(3));
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  EXPECT_TRUE(form->Delete1.enabled);
  EXPECT_TRUE(form->Copy1.enabled);
  EXPECT_FALSE(form->Insert1.enabled) << "nothing copied yet";
  EXPECT_FALSE(form->ClipboardTable.IsOpen());

  form->PopupMenu1Popup(nullptr);
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
  EXPECT_FALSE(form->Delete1.enabled);
  EXPECT_FALSE(form->Copy1.enabled);

  form->PopupMenu1Popup(Item(4));
  form->Copy1Click();
  form->PopupMenu1Popup(nullptr);
  EXPECT_TRUE(form->Insert1.enabled);
  EXPECT_TRUE(form->SortAll1.enabled);
}

TEST_F(ClipboardTest, CopyNumbersTheBranchFromOneNodesBeforeRisks) {
  Select(2);
  form->Copy1Click();
  EXPECT_FALSE(form->Modified) << "only the clipboard was written";
  EXPECT_FALSE(form->ClipboardTable.IsOpen());

  // Top 2 -> 1; its child node 4 -> 2 with its subtree (7 -> 3, then risks 5 -> 4, 6 -> 5);
  // then the risk 3 -> 6. Empty ratings and nodes' ratings become 1.
  Row r5 = Risk(4, 2, "r5", 2, 3, 4);
  r5.source = "Lis";
  r5.ident = "ident";
  r5.opatreni = "measures";
  r5.comment = "note";
  std::vector<Row> expected = {Node(1, 0, "A"),           Node(2, 1, "B"),
                               Node(3, 2, "C"),           r5,
                               Risk(5, 2, "r6", 1, 1, 1), Risk(6, 1, "empty ratings", 1, 1, 1)};
  for (Row& row : expected) {
    if (row.type == kNodeType) row.p = row.n = row.h = 1;
  }
  EXPECT_THAT(ClipboardRows(), ::testing::ElementsAreArray(expected));

  // A second copy replaces the first.
  Select(8);
  form->Copy1Click();
  EXPECT_THAT(ClipboardRows(), ElementsAre(Risk(1, 0, "r8", 5, 5, 5)));
}

TEST_F(ClipboardTest, PastingTwiceGivesTwoIndependentCopies) {
  Select(4);
  form->Copy1Click();
  Select(1);
  const int busyBefore = progress.busyCalls;
  form->Insert1Click();
  form->Insert1Click();
  EXPECT_GT(progress.busyCalls, busyBefore);
  EXPECT_EQ(progress.busyDepth, 0);

  // B (4) with C (7), r5, r6 -> 9 with 10, 11, 12; and again 13 with 14, 15, 16.
  EXPECT_THAT(Indexes(Rows()), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16));
  EXPECT_EQ(RowOf(9).upLink, 1);
  EXPECT_EQ(RowOf(13).upLink, 1);
  EXPECT_EQ(RowOf(10).upLink, 9);
  EXPECT_EQ(RowOf(16).upLink, 13);
  EXPECT_EQ(RowOf(11).source, "Lis");
  EXPECT_THAT(tree.ChildData(Item(1)), ElementsAre(2, 8, 9, 13));
  EXPECT_THAT(tree.ChildData(Item(9)), ElementsAre(10, 11, 12)) << "nodes before risks";
  EXPECT_EQ(tree.Image(Item(10)), TreeControl::kCollapsedNode);
  EXPECT_EQ(tree.Image(Item(11)), TreeControl::kRisk);
  EXPECT_EQ(tree.Caption(Item(13)), "B");

  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(tree.Selected(), Item(1)) << "the selection stays";
  EXPECT_FALSE(form->TreeUpdating);
  EXPECT_EQ(tree.updateDepth, 0);
  EXPECT_FALSE(form->ClipboardTable.IsOpen());
  EXPECT_EQ(ClipboardRows().size(), 4u) << "the clipboard keeps its branch";
}

TEST_F(ClipboardTest, PasteBesideASelectedRiskOrAtTheTop) {
  Select(7);
  form->Copy1Click();
  Select(5);
  form->Insert1Click();
  EXPECT_EQ(RowOf(9).upLink, 4);
  EXPECT_EQ(tree.Parent(Item(9)), Item(4));

  tree.Select(nullptr);
  form->Insert1Click();
  EXPECT_EQ(RowOf(10).upLink, 0);
  EXPECT_EQ(tree.Parent(Item(10)), nullptr);
}

TEST_F(ClipboardTest, ClipboardOutlivesTheRunAndAFreshOneIsEmpty) {
  const fs::path dir = form->ClipboardDir;
  EXPECT_EQ(dir.parent_path(), tempDir);
  const std::string name = dir.filename().string();
  EXPECT_TRUE(name.starts_with("CLR") && name.ends_with(".TMP")) << name;

  // Restart without having copied: "Vložit" stays disabled.
  form.reset();
  form = MakeForm();
  EXPECT_EQ(form->ClipboardDir, dir);
  form->PopupMenu1Popup(nullptr);
  EXPECT_FALSE(form->Insert1.enabled);

  Load({Node(1, 0, "kept")});
  Select(1);
  form->Copy1Click();
  form.reset();
  form = MakeForm();
  EXPECT_EQ(form->ClipboardDir, dir);
  form->PopupMenu1Popup(nullptr);
  EXPECT_TRUE(form->Insert1.enabled);
  form->Insert1Click();
  Row pasted = Node(1, 0, "kept");
  pasted.p = pasted.n = pasted.h = 1;
  EXPECT_THAT(Rows(), ElementsAre(pasted));
}

TEST_F(ClipboardTest, ClipboardDirectoryIsFoundByNameAndADamagedTableIsRenewed) {
  TempDir other;
  WriteFileBytes(other / "CLR0000.TMP", "a file, not a directory");
  fs::create_directory(other / "clrb.tmp");
  fs::create_directory(other / "clrA.tmp");
  fs::create_directory(other / "CLR.TXT");
  EXPECT_EQ(FindOrMakeClipboardDir(other.path()), other / "clrA.tmp");

  TempDir none;
  const fs::path made = FindOrMakeClipboardDir(none.path());
  EXPECT_TRUE(fs::is_directory(made));
  EXPECT_EQ(FindOrMakeClipboardDir(none.path()), made);

  WriteFileBytes(made / kClipboardTableName, "garbage that is no table");
  Table clipboard;
  PrepareClipboardTable(clipboard, made);
  EXPECT_FALSE(clipboard.IsOpen());
  clipboard.Open();
  EXPECT_EQ(clipboard.RecordCount(), 0);
}

TEST_F(ClipboardTest, CopyOfAMissingRecordLeavesTheClipboardEmpty) {
  Select(2);
  form->Copy1Click();
  Load({Risk(30, 77, "orphan")});
  Select(77);
  form->Copy1Click();
  EXPECT_TRUE(ClipboardRows().empty());
}

// --- CopyBranch between any two tables -----------------------------------------------------

class BranchCopyTest : public ClipboardTest {
 protected:
  // A stand-in for the library cipher.
  static std::string Convert(ConversionKind kind, const std::string& text) {
    return (kind == ConversionKind::Encipher ? "enc:" : "dec:") + text;
  }
};

TEST_F(BranchCopyTest, ConversionKindsTouchTopRecordAndRisksOnly) {
  Table target;
  target.SetPath(temp / "work" / "Target.dbf");
  CreateProjectTable(target);
  // The top record and every risk go through the cipher; nodes below the top keep their
  // stored form (nothing reads a node's texts).
  for (const auto& [index, ident] : {std::pair{2, "nodeA"}, std::pair{4, "nodeB"}}) {
    ASSERT_TRUE(form->DataTable.Locate(fld::kIndex, index));
    form->DataTable.Edit();
    form->DataTable.SetText(fld::kIdent, ident);
    form->DataTable.Post();
  }
  EXPECT_EQ(CopyBranch(form->DataTable, 2, ConversionKind::Encipher, nullptr, 0, target, progress,
                       Convert),
            1);
  const std::vector<Row> rows = ReadRows(target);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0].ident, "enc:nodeA");
  EXPECT_EQ(rows[1].ident, "nodeB");
  EXPECT_EQ(rows[3].ident, "enc:ident");
  EXPECT_EQ(rows[3].opatreni, "enc:measures");
  EXPECT_EQ(rows[5].ident, "enc:");

  CreateProjectTable(target);
  CopyBranch(form->DataTable, 5, ConversionKind::Decipher, nullptr, 0, target, progress, Convert);
  EXPECT_EQ(ReadRows(target)[0].opatreni, "dec:measures");

  CreateProjectTable(target);
  CopyBranch(form->DataTable, 5, ConversionKind::None, nullptr, 0, target, progress);
  EXPECT_EQ(ReadRows(target)[0].opatreni, "measures");
  EXPECT_THROW(
      CopyBranch(form->DataTable, 5, ConversionKind::Decipher, nullptr, 0, target, progress),
      std::invalid_argument);

  // A cipher failure leaves no half-made record.
  CreateProjectTable(target);
  const TextConversion failing = [](ConversionKind, const std::string&) -> std::string {
    throw Error("Base64: Incorrect string format");
  };
  EXPECT_THROW(CopyBranch(form->DataTable, 5, ConversionKind::Decipher, nullptr, 0, target,
                          progress, failing),
               Error);
  EXPECT_TRUE(ReadRows(target).empty());
}

TEST_F(BranchCopyTest, EventsRunForEveryRiskAndChildrenCopyUnderAnExistingRecord) {
  Table target;
  target.SetPath(temp / "work" / "Target.dbf");
  CreateProjectTable(target);
  AppendRow(target, Node(50, 0, "existing"));
  const int before = progress.processEvents;
  CopyChildren(form->DataTable, 2, ConversionKind::None, nullptr, 50, target, progress);
  EXPECT_EQ(progress.processEvents - before, 3);  // three risks below A
  EXPECT_THAT(Indexes(ReadRows(target)), ElementsAre(50, 51, 52, 53, 54, 55));
  EXPECT_EQ(ReadRows(target)[1].upLink, 50);
}

TEST_F(BranchCopyTest, CopyIntoItsOwnBranchCopiesTheOriginalOnce) {
  // Same table, destination inside the copied branch: the copy must not copy itself.
  const int32_t top =
      CopyBranch(form->DataTable, 2, ConversionKind::None, &tree, 7, form->DataTable, progress);
  EXPECT_EQ(top, 9);
  EXPECT_EQ(Rows().size(), 8u + 6u);
  EXPECT_EQ(tree.Parent(Item(9)), Item(7));
}

TEST_F(BranchCopyTest, CyclesAndDeepChainsCopyWithoutHangOrOverflow) {
  std::vector<Row> rows = {Node(20, 21, "x"), Node(21, 20, "y"), Risk(22, 21, "r")};
  constexpr int kDepth = 5000;
  rows.push_back(Node(100, 0, "chain"));
  for (int i = 1; i < kDepth; ++i) rows.push_back(Node(100 + i, 100 + i - 1, "link"));
  Load(rows);

  Table target;
  target.SetPath(temp / "work" / "Target.dbf");
  CreateProjectTable(target);
  CopyBranch(form->DataTable, 20, ConversionKind::None, nullptr, 0, target, progress);
  EXPECT_EQ(ReadRows(target).size(), 3u);

  CreateProjectTable(target);
  CopyBranch(form->DataTable, 100, ConversionKind::None, nullptr, 0, target, progress);
  const std::vector<Row> copied = ReadRows(target);
  ASSERT_EQ(copied.size(), static_cast<size_t>(kDepth));
  EXPECT_EQ(copied.back().upLink, kDepth - 1);
}

}  // namespace
}  // namespace orvenda::test
