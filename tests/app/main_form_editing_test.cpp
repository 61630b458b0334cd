// Adding, storing, discarding and deleting records through the main form.
#include <gtest/gtest.h>

#include "app/main_form_fixture.h"

namespace orvenda::test {
namespace {

using ::testing::ElementsAre;

class AddTest : public MainFormTest {};

TEST_F(AddTest, NodeWithNothingSelectedGoesToTheTopLevel) {
  form->AddNodeSpeedButtonClick();
  EXPECT_THAT(Rows(), ElementsAre(Node(1, 0, "")));
  const TreeControl::Item item = Item(1);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(tree.Parent(item), nullptr);
  EXPECT_EQ(tree.Caption(item), "");
  EXPECT_EQ(tree.Image(item), TreeControl::kCollapsedNode);
  EXPECT_EQ(tree.Selected(), item);
  EXPECT_EQ(form->ActivePage, Page::UzelTabSheet);
  EXPECT_EQ(focusSeen, "TextEdit");
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], " *");
  EXPECT_FALSE(form->TreeUpdating);
  EXPECT_FALSE(form->EditState) << "an empty page is not an edit yet";
}

TEST_F(AddTest, UnderASelectedNodeAndBesideASelectedRisk) {
  Load({Node(1, 0, "A"), Node(2, 1, "B"), Risk(3, 2, "r")});
  Select(2);
  form->AddRiskSpeedButtonClick();
  EXPECT_EQ(RowOf(4).upLink, 2);
  EXPECT_EQ(RowOf(4).type, kRiskType);
  EXPECT_EQ(tree.Parent(Item(4)), Item(2));
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  EXPECT_EQ(focusSeen, "RiskSourceEdit");

  // The new risk is selected: another add puts the record beside it, under B.
  form->InsertNode1Click();
  EXPECT_EQ(RowOf(5).upLink, 2);
  EXPECT_EQ(RowOf(5).type, kNodeType);
  EXPECT_THAT(tree.ChildData(Item(2)), ElementsAre(3, 4, 5));
  EXPECT_EQ(tree.Selected(), Item(5));
  // A new, never stored risk has empty ratings; the controls show 1 and the status bar the
  // level of what they show.
  Select(4);
  EXPECT_EQ(form->StatusBar1.Panels[1], W("Míra rizika: 1 Bezvýznamné riziko"));
  EXPECT_EQ(form->ExistenceSpinEdit.value, 1);

  // A top-level risk: beside it is the top level.
  Load({Risk(6, 0, "top risk")});
  Select(6);
  form->InsertRiziko1Click();
  EXPECT_EQ(RowOf(7).upLink, 0);
  EXPECT_EQ(tree.Parent(Item(7)), nullptr);
}

TEST_F(AddTest, UnderACollapsedNodeTheNewItemIsShown) {
  Load({Node(1, 0, "A"), Node(2, 1, "B")});
  Select(2);
  form->AddNodeSpeedButtonClick();
  EXPECT_TRUE(tree.IsExpanded(Item(2)));
  EXPECT_EQ(tree.Image(Item(2)), TreeControl::kExpandedNode);
}

TEST_F(AddTest, ZrusitAfterAddLeavesAnUnnamedRecord) {
  form->AddRiskSpeedButtonClick();
  form->DescrEdit.text = "typed";
  form->RiskSourceEditChange();
  ASSERT_TRUE(form->EditState);
  form->CancelBitBtnClick();
  EXPECT_FALSE(form->EditState);
  EXPECT_EQ(form->DescrEdit.text, "");
  EXPECT_THAT(Rows(), ElementsAre(Risk(1, 0, "")));
  EXPECT_EQ(tree.Caption(Item(1)), "");
}

TEST_F(AddTest, NumbersContinueAfterTheHighestAndReuseAFreedTop) {
  Load({Node(1, 0, "A"), Node(7, 0, "B"), Node(9, 0, "C")});
  form->AddNodeSpeedButtonClick();
  EXPECT_EQ(tree.Data(tree.Selected()), 10);

  form->AskDelete = false;
  form->DeleteSpeedButtonClick();  // the new 10
  Select(7);
  form->DeleteSpeedButtonClick();  // a lower number stays free
  tree.Select(nullptr);
  form->AddNodeSpeedButtonClick();
  EXPECT_EQ(tree.Data(tree.Selected()), 10);
  EXPECT_THAT(Indexes(Rows()), ElementsAre(1, 9, 10));
}

class StoreTest : public MainFormTest {};

TEST_F(StoreTest, EditStateDisablesEverythingButStoreCancelAndAdministrator) {
  Load({Node(1, 0, "A")});
  Select(1);
  form->Administrator1.visible = true;
  EXPECT_FALSE(form->StoreBitBtn.enabled);
  EXPECT_FALSE(form->CancelBitBtn.enabled);

  form->TextEdit.text = "B";
  form->RiskSourceEditChange();
  EXPECT_TRUE(form->EditState);
  EXPECT_TRUE(form->StoreBitBtn.enabled);
  EXPECT_TRUE(form->CancelBitBtn.enabled);
  for (const Control* off :
       {&form->Soubor1, &form->Knihovny1, &form->Sestavy1, &form->Napoveda1, &form->ObjectPanel,
        &form->AddNodeSpeedButton, &form->AddRiskSpeedButton, &form->AddFromLibSpeedButton,
        &form->DeleteSpeedButton}) {
    EXPECT_FALSE(off->enabled);
  }
  EXPECT_TRUE(form->Administrator1.enabled);

  form->CancelBitBtnClick();
  EXPECT_EQ(form->TextEdit.text, "A");
  for (const Control* on : {&form->Soubor1, &form->ObjectPanel, &form->DeleteSpeedButton}) {
    EXPECT_TRUE(on->enabled);
  }
  EXPECT_FALSE(form->StoreBitBtn.enabled);
  EXPECT_FALSE(form->Modified);
}

TEST_F(StoreTest, ControlsNamedForTheWindowsBinding) {
  EXPECT_EQ(form->FindControl("RiskSourceEdit"), &form->RiskSourceEdit);
  EXPECT_EQ(form->FindControl("Insert1"), &form->Insert1);
  EXPECT_EQ(form->FindControl("NoSuchControl"), nullptr);
  EXPECT_EQ(form->RiskSourceEdit.maxLength, 250);
  EXPECT_EQ(form->DescrEdit.maxLength, 100);
}

TEST_F(StoreTest, StoringARiskWritesEveryFieldAndTheCaption) {
  Load({Node(1, 0, "A"), Risk(2, 1, "old", 1, 1, 1)});
  Select(2);
  form->RiskSourceEdit.text = "Lis";
  form->RiskSourceEditChange();
  form->DescrEdit.text = W("Úraz");
  form->RiskMemo.text = "line 1\r\nline 2";
  form->OpatreniMemo.text = "guard";
  form->CommentMemo.text = "note";
  form->ExistenceSpinEdit.value = 3;
  form->NasledkySpinEdit.value = 9;  // typed past the end of the scale
  form->NazorSpinEdit.value = 2;
  form->StoreBitBtnClick();

  Row expected = Risk(2, 1, W("Úraz"), 3, 5, 2);
  expected.source = "Lis";
  expected.ident = "line 1\r\nline 2";
  expected.opatreni = "guard";
  expected.comment = "note";
  EXPECT_EQ(RowOf(2), expected);
  EXPECT_EQ(tree.Caption(Item(2)), W("Úraz"));
  EXPECT_FALSE(form->EditState);
  EXPECT_EQ(form->StatusBar1.Panels[1], W("Míra rizika: 30 Mírné riziko"));
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], " *");
}

TEST_F(StoreTest, StoringANodeAndALongName) {
  Load({Node(1, 0, "A")});
  Select(1);
  const std::string longName(150, 'x');
  form->TextEdit.text = longName;
  form->TextCommentMemo.text = "comment";
  form->RiskSourceEditChange();
  form->StoreBitBtnClick();
  EXPECT_EQ(RowOf(1).text, longName.substr(0, 100));
  EXPECT_EQ(RowOf(1).comment, "comment");
  EXPECT_EQ(tree.Caption(Item(1)), longName.substr(0, 100));
  EXPECT_EQ(form->TextEdit.text, longName.substr(0, 100));
}

TEST_F(StoreTest, StoringOnAPlaceholderChangesNothing) {
  Load({Risk(1, 50, "orphan")});
  Select(50);
  form->RiskSourceEditChange();
  form->StoreBitBtnClick();
  EXPECT_FALSE(form->EditState);
  EXPECT_FALSE(form->Modified);
  EXPECT_THAT(Rows(), ElementsAre(Risk(1, 50, "orphan")));
}

TEST_F(StoreTest, ChangeMarkIsAppendedOnce) {
  Load({Node(1, 0, "A")});
  form->StatusBar1.Panels[0] = "X";
  Select(1);
  form->RiskSourceEditChange();
  form->StoreBitBtnClick();
  form->RiskSourceEditChange();
  form->StoreBitBtnClick();
  EXPECT_EQ(form->StatusBar1.Panels[0], "X *");
}

class DeleteTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Load({Node(1, 0, "A"), Node(2, 1, "B"), Risk(3, 2, "r3"), Node(4, 2, "C"), Risk(5, 4, "r5"),
          Risk(6, 1, "r6"), Node(7, 0, "D"), Risk(8, 7, "r8")});
  }
};

TEST_F(DeleteTest, AsksFirstAndNoKeepsEverything) {
  Select(6);
  dialogs.answers = {false};
  form->DeleteSpeedButtonClick();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, W("Opravdu vymazat?"));
  EXPECT_EQ(dialogs.questions[0].caption, "Vymazat");
  EXPECT_EQ(Rows().size(), 8u);
  EXPECT_NE(Item(6), nullptr);
  EXPECT_FALSE(form->Modified);
}

TEST_F(DeleteTest, ARiskGoesAndTheNextItemIsShown) {
  Select(3);
  dialogs.answers = {true};
  form->Delete1Click();
  EXPECT_THAT(Indexes(Rows()), ElementsAre(1, 2, 4, 5, 6, 7, 8));
  EXPECT_EQ(Item(3), nullptr);
  EXPECT_EQ(tree.Selected(), Item(4));
  EXPECT_EQ(form->ActivePage, Page::UzelTabSheet);
  EXPECT_EQ(form->TextEdit.text, "C");
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], " *");
  EXPECT_EQ(progress.busyDepth, 0);
  // Open for shared use; the deleted record leaves the file at the next save's pack.
  EXPECT_TRUE(form->DataTable.IsOpen());
  EXPECT_FALSE(form->DataTable.IsExclusive());
  EXPECT_TRUE(form->PackPending);
}

TEST_F(DeleteTest, ANodeTakesItsWholeBranchWithoutAskingWhenAskDeleteIsOff) {
  form->AskDelete = false;
  Select(2);
  form->DeleteSpeedButtonClick();  // an unexpected question would throw
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_THAT(Indexes(Rows()), ElementsAre(1, 6, 7, 8));
  EXPECT_EQ(tree.Dump(),
            "A [1] #1\n"
            "  r6 [2] #6\n"
            "D [0] #7\n"
            "  r8 [2] #8\n");
  EXPECT_EQ(tree.Selected(), Item(6));
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  EXPECT_GE(progress.processEvents, 2) << "events run while the branch goes";
}

TEST_F(DeleteTest, LastItemGoneShowsTheEmptyPage) {
  form->AskDelete = false;
  Select(1);
  form->DeleteSpeedButtonClick();
  Select(7);
  form->DeleteSpeedButtonClick();
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(tree.Count(), 0u);
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
}

TEST_F(DeleteTest, NothingSelectedDoesNothing) {
  form->DeleteSpeedButtonClick();
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_EQ(Rows().size(), 8u);
  EXPECT_FALSE(form->Modified);
}

TEST_F(DeleteTest, PlaceholderDeletesNoRecord) {
  Load({Risk(20, 99, "orphan")});
  form->AskDelete = false;
  Select(99);
  form->DeleteSpeedButtonClick();
  EXPECT_EQ(Rows().size(), 9u);
  EXPECT_EQ(Item(99), nullptr);
}

TEST_F(DeleteTest, TheSelectedItemGoesNotAPlaceholderOfTheSameNumber) {
  // 21 names the risk 25 as parent, so a "$$" item carrying 25 stands before the risk's item.
  Load({Risk(21, 25, "under a risk"), Node(22, 0, "E"), Risk(25, 22, "r25")});
  const TreeControl::Item placeholder = Item(25);
  ASSERT_EQ(tree.Caption(placeholder), "$$");
  const TreeControl::Item risk = tree.Children(Item(22)).front();
  tree.Select(risk);
  form->AskDelete = false;
  form->DeleteSpeedButtonClick();
  EXPECT_EQ(tree.ChildData(Item(22)), std::vector<int32_t>{});
  EXPECT_EQ(Item(25), placeholder);
  EXPECT_EQ(tree.ChildData(placeholder), std::vector<int32_t>{21});
}

TEST_F(DeleteTest, CyclesForeignTypesAndDeepBranchesAreDeletedWhole) {
  // 30 and 31 are each other's parent; 32 has a type no writer stores; 40.. is a deep chain.
  Row foreign = Risk(32, 31, "foreign");
  foreign.type = 2;
  std::vector<Row> rows = {Node(30, 31, "x"), Node(31, 30, "y"), foreign, Risk(33, 30, "r")};
  constexpr int kDepth = 5000;
  rows.push_back(Node(40, 0, "chain"));
  for (int i = 1; i < kDepth; ++i) rows.push_back(Node(40 + i, 40 + i - 1, "link"));
  rows.push_back(Risk(40 + kDepth, 40 + kDepth - 1, "bottom"));
  Load(rows);

  form->DeleteBranch(30);
  form->DeleteBranch(40);
  EXPECT_THAT(Indexes(Rows()), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));
}

TEST_F(DeleteTest, ADeleteNeedsNoExclusiveUseAndAFailedPackLeavesTheTableOpen) {
  Table other;
  other.SetPath(form->DataTable.Path());
  other.Open();  // a shared open elsewhere: an exclusive open for packing must fail
  form->AskDelete = false;
  Select(8);
  form->DeleteSpeedButtonClick();
  EXPECT_THAT(Indexes(Rows()), ElementsAre(1, 2, 3, 4, 5, 6, 7));

  EXPECT_THROW(form->PackDataTable(), Error);
  EXPECT_TRUE(form->DataTable.IsOpen());
  EXPECT_EQ(progress.busyDepth, 0);
  other.Close();
  form->PackDataTable();
  EXPECT_TRUE(form->DataTable.IsOpen());
  EXPECT_FALSE(form->DataTable.IsExclusive());
  EXPECT_THAT(Indexes(Rows()), ElementsAre(1, 2, 3, 4, 5, 6, 7));
}

}  // namespace
}  // namespace orvenda::test
