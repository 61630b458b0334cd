// Building the tree, the pages of the selected item, and the view commands.
#include "model/tree_builder.h"

#include <gtest/gtest.h>

#include "app/main_form_fixture.h"

namespace orvenda::test {
namespace {

using ::testing::ElementsAre;

class TreeBuildTest : public MainFormTest {};

TEST_F(TreeBuildTest, EmptyTableGivesEmptyTreeAndTheEmptyPage) {
  EXPECT_EQ(tree.Count(), 0u);
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
  EXPECT_FALSE(form->TreeUpdating);
  EXPECT_TRUE(form->PageReady);
}

TEST_F(TreeBuildTest, RecordsStandUnderTheirParentsInIndexOrder) {
  Load({Node(1, 0, W("Dílna")), Risk(2, 1, "Hluk", 3, 4, 2), Node(3, 1, "Sklad"),
        Risk(4, 3, W("Pád")), Node(5, 0, W("Kancelář")), Risk(6, 0, W("Požár"))});
  EXPECT_EQ(tree.Dump(), W("Dílna [0] #1\n"
                           "  Hluk [2] #2\n"
                           "  Sklad [0] #3\n"
                           "    Pád [2] #4\n"
                           "Kancelář [0] #5\n"
                           "Požár [2] #6\n"));
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(tree.updateDepth, 0);
  EXPECT_GT(tree.beginUpdates, 0);
}

TEST_F(TreeBuildTest, ChildBeforeParentWaitsUnderPlaceholderThenTakesItsPlace) {
  // 2 and 4 name 6 before its record comes; 6 then stands between 3 and 7 by its Index.
  Load({Node(1, 0, "A"), Risk(2, 6, "r2"), Node(3, 1, "B"), Node(4, 6, "n4"), Node(6, 1, "C"),
        Node(7, 1, "D")});
  EXPECT_EQ(tree.Dump(),
            "A [0] #1\n"
            "  B [0] #3\n"
            "  C [0] #6\n"
            "    r2 [2] #2\n"
            "    n4 [0] #4\n"
            "  D [0] #7\n");
  EXPECT_EQ(form->NodeIndexes.Get(6), Item(6));
  EXPECT_EQ(form->NodeIndexes.Get(2), nullptr) << "risks are not in the lookup";
}

TEST_F(TreeBuildTest, OrphansStayUnderTopLevelPlaceholder) {
  Load({Node(1, 0, "A"), Risk(2, 99, "lost"), Node(3, 99, "lost node"), Risk(4, 3, "deep")});
  EXPECT_EQ(tree.Dump(),
            "A [0] #1\n"
            "$$ [0] #99\n"
            "  lost [2] #2\n"
            "  lost node [0] #3\n"
            "    deep [2] #4\n");

  // Selecting the placeholder leaves the page as it was.
  Select(2);
  ASSERT_EQ(form->ActivePage, Page::RizikoTabSheet);
  Select(99);
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  EXPECT_EQ(form->DescrEdit.text, "lost");
}

TEST_F(TreeBuildTest, LookupGrowsInWholeThousands) {
  Load({Node(1, 0, "A")});
  EXPECT_EQ(form->NodeIndexes.Size(), 1000u);

  form->DataTable.Close();
  CreateProjectTable(form->DataTable);
  Load({Node(1, 0, "A"), Node(5321, 1, "far"), Risk(5322, 5321, "farther")});
  EXPECT_EQ(form->NodeIndexes.Size(), 6000u);
  EXPECT_EQ(tree.Dump(),
            "A [0] #1\n"
            "  far [0] #5321\n"
            "    farther [2] #5322\n");

  tMyNodeIndexes lookup;
  lookup.Reset();
  lookup.Ensure(999);
  EXPECT_EQ(lookup.Size(), 1000u);
  lookup.Ensure(1000);
  EXPECT_EQ(lookup.Size(), 2000u);
  lookup.Ensure(2999);
  EXPECT_EQ(lookup.Size(), 3000u);
}

TEST_F(TreeBuildTest, DamagedTablesBuildWithoutHangOrLoss) {
  // A node its own parent, two nodes each other's parent, a negative parent and an Index
  // far beyond any array.
  Load({Node(1, 0, "A"), Node(5, 5, "self"), Node(7, 8, "x"), Node(8, 7, "y"),
        Risk(9, -4, "negative"), Node(2000000000, 1, "huge"), Risk(10, 2000000000, "under")});
  EXPECT_EQ(tree.Count(), 8u) << tree.Dump();  // seven records and one placeholder
  EXPECT_EQ(form->NodeIndexes.Size(), 1000u);
  EXPECT_EQ(tree.Caption(Item(5)), "self");
  // 8 would have to move under its own child 7: it stays at the top level.
  EXPECT_EQ(tree.Parent(Item(8)), nullptr);
  EXPECT_EQ(tree.Parent(Item(7)), Item(8));
  EXPECT_EQ(tree.Caption(tree.Parent(Item(10))), "huge");
  EXPECT_EQ(tree.Caption(tree.Parent(Item(9))), "$$");
}

TEST_F(TreeBuildTest, ProgressShowsMessageZeroWithTheRecordCount) {
  Load({Node(1, 0, "A"), Node(2, 1, "B"), Risk(3, 2, "C")});
  ASSERT_FALSE(progress.calls.empty());
  const auto show = std::find(progress.calls.rbegin(), progress.calls.rend(),
                              "show " + W("Vytvářím strom") + " 3");
  ASSERT_NE(show, progress.calls.rend());
  EXPECT_EQ(progress.calls.back(), "hide");
  EXPECT_EQ(*(progress.calls.rbegin() + 1), "set 3");
  EXPECT_FALSE(progress.Shown());
}

class PageTest : public MainFormTest {};

TEST_F(PageTest, RiskPageShowsRecordAndRiskTextInStatusBar) {
  Row risk = Risk(1, 0, W("Hluk v dílně"), 3, 4, 2);
  risk.comment = "note";
  risk.source = "Lis";
  risk.ident = "desc\r\nline";
  risk.opatreni = "ear protection";
  Load({risk});
  Select(1);
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  EXPECT_EQ(form->DescrEdit.text, W("Hluk v dílně"));
  EXPECT_EQ(form->CommentMemo.text, "note");
  EXPECT_EQ(form->RiskSourceEdit.text, "Lis");
  EXPECT_EQ(form->RiskMemo.text, "desc\r\nline");
  EXPECT_EQ(form->OpatreniMemo.text, "ear protection");
  EXPECT_EQ(form->ExistenceSpinEdit.value, 3);
  EXPECT_EQ(form->NasledkySpinEdit.value, 4);
  EXPECT_EQ(form->NazorSpinEdit.value, 2);
  EXPECT_EQ(form->StatusBar1.Panels[1], "M\xEDra rizika: 24 M\xEDrn\xE9 riziko");
  EXPECT_FALSE(form->EditState);
}

TEST_F(PageTest, RatingsOutsideTheScaleShowAtTheNearerBound) {
  Load({Risk(1, 0, "empty"), Risk(2, 0, "wild", 7, -2, 5)});
  Select(1);
  EXPECT_EQ(form->ExistenceSpinEdit.value, 1);
  EXPECT_EQ(form->NasledkySpinEdit.value, 1);
  EXPECT_EQ(form->NazorSpinEdit.value, 1);
  EXPECT_EQ(form->StatusBar1.Panels[1], W("Míra rizika: 1 Bezvýznamné riziko"));
  Select(2);
  EXPECT_EQ(form->ExistenceSpinEdit.value, 5);
  EXPECT_EQ(form->NasledkySpinEdit.value, 1);
  // The status bar tells the level of the ratings the page shows (and a store would write).
  EXPECT_EQ(form->StatusBar1.Panels[1], W("Míra rizika: 25 Mírné riziko"));

  EXPECT_EQ(MainForm::ParseRating("3"), 3);
  EXPECT_EQ(MainForm::ParseRating(" 9 "), 5);
  EXPECT_EQ(MainForm::ParseRating("-2"), 1);
  EXPECT_EQ(MainForm::ParseRating("abc"), 1);
  EXPECT_EQ(MainForm::ParseRating("2x"), 1);
  EXPECT_EQ(MainForm::ParseRating(""), 1);
  EXPECT_EQ(MainForm::ParseRating("99999999999999999999"), 5);
  form->NazorSpinEdit.value = 0;
  form->RatingEditExit(form->NazorSpinEdit);
  EXPECT_EQ(form->NazorSpinEdit.value, 1);
}

TEST_F(PageTest, ScaleHintsOnTheFirstTwoRatings) {
  EXPECT_EQ(form->ExistenceSpinEdit.hint,
            W("1. Nahodilá\r\n2. Nepravděpodobná\r\n3. Pravděpodobná\r\n4. Velmi "
              "pravděpodobná\r\n5. Trvalá"));
  EXPECT_EQ(form->NasledkySpinEdit.hint.substr(0, 38),
            W("1. Poranění bez pracovní neschopnosti\r"));
  EXPECT_TRUE(form->NazorSpinEdit.hint.empty());
}

TEST_F(PageTest, NodeAverageCountsRisksAtAnyDepth) {
  Load({Node(1, 0, "top"), Risk(2, 1, "big", 5, 5, 4), Node(3, 1, "sub"), Risk(4, 3, "a", 1, 1, 1),
        Risk(5, 3, "b", 1, 1, 1), Risk(6, 3, "c", 1, 1, 1), Node(7, 0, "pair"),
        Risk(8, 7, "three", 3, 1, 1), Risk(9, 7, "four", 2, 2, 1), Node(10, 0, "empty"),
        Node(11, 10, "empty too")});
  Select(2);
  ASSERT_FALSE(form->StatusBar1.Panels[1].empty());

  const int busyBefore = progress.busyCalls;
  Select(1);
  EXPECT_EQ(form->ActivePage, Page::UzelTabSheet);
  EXPECT_EQ(form->TextEdit.text, "top");
  EXPECT_TRUE(form->CelkPanel.visible);
  EXPECT_EQ(form->PrumerEdit.text, "25");  // (100 + 1 + 1 + 1) div 4
  EXPECT_EQ(form->TextPrumEdit.text, W("Mírné riziko"));
  EXPECT_EQ(form->StatusBar1.Panels[1], "");
  EXPECT_GT(progress.busyCalls, busyBefore);
  EXPECT_EQ(progress.busyDepth, 0);

  Select(7);
  EXPECT_EQ(form->PrumerEdit.text, "3");  // levels 3 and 4
  EXPECT_EQ(form->TextPrumEdit.text, W("Bezvýznamné riziko"));
  Select(10);
  EXPECT_EQ(form->PrumerEdit.text, "0");
  EXPECT_EQ(form->TextPrumEdit.text, W("Bezvýznamné riziko"));
}

TEST_F(PageTest, WithoutCountAverageThePanelIsHiddenAndNothingComputed) {
  Load({Node(1, 0, "top"), Risk(2, 1, "big", 5, 5, 4)});
  form->CountAverage = false;
  const int busyBefore = progress.busyCalls;
  Select(1);
  EXPECT_EQ(form->ActivePage, Page::UzelTabSheet);
  EXPECT_FALSE(form->CelkPanel.visible);
  EXPECT_EQ(form->PrumerEdit.text, "0");
  EXPECT_EQ(progress.busyCalls, busyBefore);
}

TEST_F(PageTest, ShowSelectedKeepsTheTablesCurrentRecord) {
  Load({Node(1, 0, "A"), Risk(2, 1, "r", 1, 1, 1), Node(3, 0, "B")});
  ASSERT_TRUE(form->DataTable.Locate(fld::kIndex, 3));
  Select(1);  // computes the average, walking the table
  EXPECT_EQ(form->DataTable.GetInt(fld::kIndex), 3);
}

TEST_F(PageTest, SelectionChangesDuringTreeUpdatesDoNotRefreshThePage) {
  Load({Node(1, 0, "A"), Risk(2, 0, "r")});
  form->TreeUpdating = true;
  Select(2);
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
  form->TreeUpdating = false;
  tree.Select(nullptr);
  Select(2);
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  tree.Select(nullptr);
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
  // The risk text is left standing when nothing is selected.
  EXPECT_FALSE(form->StatusBar1.Panels[1].empty());
}

class ViewCommandTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Load({Node(1, 0, "Zeta"), Node(2, 1, "Hala"), Node(3, 2, "Chodba"), Node(4, 2, "Cesta"),
          Risk(5, 1, W("Čerpadlo")), Node(6, 1, "Dvur"), Node(7, 0, "Alfa"), Node(8, 7, "leaf")});
  }
};

TEST_F(ViewCommandTest, ExpandAndCollapseSetTheImages) {
  form->ExpandAll1Click();
  EXPECT_EQ(tree.Image(Item(1)), TreeControl::kExpandedNode);
  EXPECT_EQ(tree.Image(Item(2)), TreeControl::kExpandedNode);
  EXPECT_EQ(tree.Image(Item(3)), TreeControl::kCollapsedNode) << "nothing to expand";
  EXPECT_EQ(tree.Image(Item(5)), TreeControl::kRisk);

  Select(1);
  form->Collapse1Click();
  EXPECT_EQ(tree.Image(Item(1)), TreeControl::kCollapsedNode);
  EXPECT_EQ(tree.Image(Item(2)), TreeControl::kCollapsedNode);
  EXPECT_EQ(tree.Image(Item(7)), TreeControl::kExpandedNode) << "outside the selection";

  form->Expand1Click();
  EXPECT_TRUE(tree.IsExpanded(Item(2)));
  form->CollapseAll1Click();
  EXPECT_FALSE(tree.IsExpanded(Item(7)));
  EXPECT_EQ(tree.Image(Item(7)), TreeControl::kCollapsedNode);

  tree.Select(nullptr);
  form->Expand1Click();
  EXPECT_FALSE(tree.IsExpanded(Item(1)));
}

TEST_F(ViewCommandTest, SortOrdersOneLevelSortAllEveryLevelRebuildRestoresIndexOrder) {
  Select(1);
  form->Sort1Click();
  EXPECT_THAT(tree.ChildCaptions(Item(1)), ElementsAre(W("Čerpadlo"), "Dvur", "Hala"));
  EXPECT_THAT(tree.ChildCaptions(Item(2)), ElementsAre("Chodba", "Cesta")) << "deeper level";
  EXPECT_THAT(tree.ChildCaptions(nullptr), ElementsAre("Zeta", "Alfa"));

  Select(5);
  form->Sort1Click();  // a risk has nothing to sort
  EXPECT_THAT(tree.ChildCaptions(Item(1)), ElementsAre(W("Čerpadlo"), "Dvur", "Hala"));

  form->SortAll1Click();
  EXPECT_THAT(tree.ChildCaptions(nullptr), ElementsAre("Alfa", "Zeta"));
  EXPECT_THAT(tree.ChildCaptions(Item(2)), ElementsAre("Cesta", "Chodba"));
  EXPECT_EQ(form->Modified, false);

  form->BuildTree();
  EXPECT_THAT(tree.ChildData(nullptr), ElementsAre(1, 7));
  EXPECT_THAT(tree.ChildData(Item(1)), ElementsAre(2, 5, 6));
}

}  // namespace
}  // namespace orvenda::test
