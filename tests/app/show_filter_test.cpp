// "Zobrazit" under the main window's tree: the risks of a category and above with the nodes on
// their paths.
#include "app/show_filter.h"

#include <gtest/gtest.h>

#include "app/main_form_fixture.h"

namespace orvenda::test {
namespace {

class ShowFilterTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    filter = std::make_unique<ShowFilter>(*form);
    form->AfterBuildTree = [this] { filter->Apply(); };
    // Ratings: 125 (5), 1 (1), unrated (0), 27 (3).
    Load({Node(1, 0, "Dilna"), Risk(2, 1, "A", 5, 5, 5), Node(3, 1, "Sklad"),
          Risk(4, 3, "B", 1, 1, 1), Risk(5, 3, "C"), Node(6, 0, "Kancl"), Node(7, 6, "Prazdny"),
          Risk(8, 1, "D", 3, 3, 3)});
  }
  // The tree as "Index(children...)" in tree order.
  std::string Shown(TreeControl::Item parent = nullptr) {
    std::string out;
    for (TreeControl::Item item : tree.Children(parent)) {
      if (!out.empty()) out += " ";
      out += std::to_string(tree.Data(item));
      const std::string below = Shown(item);
      if (!below.empty()) out += "(" + below + ")";
    }
    return out;
  }
  void Choose(int value) {
    filter->ShowComboBox.value = value;
    filter->ShowComboBoxChange();
  }
  std::unique_ptr<ShowFilter> filter;
};

TEST_F(ShowFilterTest, ShowsTheMatchingRisksWithTheirPathsInOrder) {
  const std::string all = "1(2 3(4 5) 8) 6(7)";
  EXPECT_EQ(Shown(), all);
  EXPECT_EQ(filter->StatusText, "");
  Choose(3);
  EXPECT_EQ(Shown(), "1(2 8)");
  EXPECT_NE(filter->StatusText.find(W("Mírné riziko")), std::string::npos);
  Choose(1);
  EXPECT_EQ(Shown(), "1(2 3(4) 8)");
  Choose(ShowFilter::kUnrated);
  EXPECT_EQ(Shown(), "1(3(5))");
  Choose(5);
  EXPECT_EQ(Shown(), "1(2)");
  Choose(ShowFilter::kAll);
  EXPECT_EQ(Shown(), all);
  EXPECT_EQ(filter->StatusText, "");
  EXPECT_EQ(filter->Choices(form->MessagesBox).size(), 7u);
}

TEST_F(ShowFilterTest, EditsReachTheTableAndStayShownUntilTheChoiceChanges) {
  Select(8);
  Choose(3);
  EXPECT_EQ(tree.Data(tree.Selected()), 8);  // still shown: still selected
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  // A new risk under the filter is unrated, and stays until the choice changes.
  Select(1);
  form->AddRiskSpeedButtonClick();
  form->DescrEdit.text = "E";
  form->RiskSourceEditChange();
  form->StoreBitBtnClick();
  ASSERT_FALSE(form->EditState);
  const int32_t added = tree.Data(tree.Selected());
  EXPECT_EQ(Shown(), "1(2 8 " + std::to_string(added) + ")");
  EXPECT_EQ(RowOf(added).upLink, 1);
  // A choice while an edit is open waits with the tree.
  form->DescrEdit.text = "F";
  form->RiskSourceEditChange();
  ASSERT_TRUE(form->EditState);
  Choose(5);
  EXPECT_EQ(filter->ShowComboBox.value, 3);
  EXPECT_EQ(Shown(), "1(2 8 " + std::to_string(added) + ")");
  form->CancelBitBtnClick();
  Choose(3);  // the same again: nothing to do
  EXPECT_EQ(Shown(), "1(2 8 " + std::to_string(added) + ")");
  Choose(4);
  EXPECT_EQ(Shown(), "1(2)");
  // A rebuild (open, new) shows by the choice again; every record is still in the table.
  form->BuildTree();
  EXPECT_EQ(Shown(), "1(2)");
  EXPECT_EQ(Rows().size(), 9u);
}

}  // namespace
}  // namespace orvenda::test
