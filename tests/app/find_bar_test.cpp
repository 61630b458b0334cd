// Finding records from the main window's find bar.
#include "app/find_bar.h"

#include <gtest/gtest.h>

#include "app/main_form_fixture.h"

namespace orvenda::test {
namespace {

class FindBarTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Row pad = Risk(4, 3, W("Pád"), 2, 2, 2);
    pad.comment = W("riziko řezu");
    Load({Node(1, 0, W("Dílna")), Risk(2, 1, W("Řízení lisu"), 1, 1, 1), Node(3, 1, W("Sklad")),
          pad, Risk(5, 3, W("Hluk")), Node(6, 0, W("Kancelář")), Risk(7, 6, W("rizeni"))});
    bar = std::make_unique<FindBar>(*form);
    bar->FindActionClick();
  }
  void Type(const char* utf8) {
    bar->FindEdit.text = W(utf8);
    bar->FindEditChange();
  }
  int32_t SelectedIndex() const {
    TreeControl::Item item = tree.Selected();
    return item == nullptr ? 0 : tree.Data(item);
  }
  std::unique_ptr<FindBar> bar;
};

TEST_F(FindBarTest, TypingSelectsAndStepsGoAroundInTreeOrder) {
  EXPECT_TRUE(bar->FindPanel.visible);
  Type("riz");  // Řízení, riziko in a comment, rizeni
  EXPECT_EQ(SelectedIndex(), 2);
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 3"));
  bar->FindNextClick();
  EXPECT_EQ(SelectedIndex(), 4);
  EXPECT_EQ(bar->FindCountLabel.text, W("2 z 3"));
  bar->FindNextClick();
  EXPECT_EQ(SelectedIndex(), 7);
  bar->FindNextClick();  // around the end
  EXPECT_EQ(SelectedIndex(), 2);
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 3"));
  bar->FindPrevClick();  // and back around it
  EXPECT_EQ(SelectedIndex(), 7);
  EXPECT_EQ(bar->FindCountLabel.text, W("3 z 3"));
  bar->FindPrevClick();
  EXPECT_EQ(SelectedIndex(), 4);

  // Typing on keeps a selection that still matches, and goes on from it otherwise.
  Type("rizi");
  EXPECT_EQ(SelectedIndex(), 4);
  Type("rizik");
  EXPECT_EQ(SelectedIndex(), 4);
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 1"));
  Type("rizikx");
  EXPECT_EQ(SelectedIndex(), 4);
  EXPECT_EQ(bar->FindCountLabel.text, W("Nenalezeno"));
  Type("");
  EXPECT_EQ(bar->FindCountLabel.text, "");
  EXPECT_TRUE(bar->Matches().empty());

  // From a node between matches the next one after it is found.
  Select(3);
  Type("riz");
  EXPECT_EQ(SelectedIndex(), 4);
  Select(6);
  bar->FindPrevClick();
  EXPECT_EQ(SelectedIndex(), 4);
}

TEST_F(FindBarTest, OptionsNarrowTheMatches) {
  bar->DiacriticsCheckBox.checked = true;
  Type("riz");
  EXPECT_EQ(SelectedIndex(), 4);  // "Řízení" differs now
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 2"));
  bar->DiacriticsCheckBox.checked = false;
  bar->WholeWordsCheckBox.checked = true;
  bar->OptionChange();
  EXPECT_EQ(bar->FindCountLabel.text, W("Nenalezeno"));
  EXPECT_EQ(SelectedIndex(), 4);
  Type("PAD");
  EXPECT_EQ(SelectedIndex(), 4);
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 1"));
  Type("rezu");  // a word of the comment
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 1"));
}

TEST_F(FindBarTest, FindsWhatTheTableHoldsNowAndWaitsForAnOpenEdit) {
  Type("hluk");
  EXPECT_EQ(SelectedIndex(), 5);
  Type("prach");
  EXPECT_EQ(bar->FindCountLabel.text, W("Nenalezeno"));
  // A change of the table is found at the next search.
  ASSERT_TRUE(form->DataTable.Locate(fld::kIndex, 2));
  form->DataTable.Edit();
  form->DataTable.SetText(fld::kOpatreni, W("Odsávání prachu"));
  form->DataTable.Post();
  bar->FindNextClick();
  EXPECT_EQ(SelectedIndex(), 2);
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 1"));
  // While an edit is open the selection stays.
  Select(5);
  form->EditState = true;
  bar->FindNextClick();
  EXPECT_EQ(SelectedIndex(), 5);
  form->EditState = false;
  bar->CloseClick();
  EXPECT_FALSE(bar->FindPanel.visible);
  bar->FindActionClick();  // the query is searched again from the selection
  EXPECT_TRUE(bar->FindPanel.visible);
  EXPECT_EQ(SelectedIndex(), 2);
}

TEST_F(FindBarTest, TheCountMayFollowTheFoundItem) {
  int asked = 0;
  bar->CountLater = [&] { ++asked; };
  Type("riz");
  EXPECT_EQ(SelectedIndex(), 2);  // shown before anything is counted
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(bar->FindCountLabel.text, "");
  bar->CountMatches();
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 3"));
  EXPECT_EQ(bar->Matches().size(), 3u);
  bar->FindNextClick();
  EXPECT_EQ(asked, 2);
  // The user moved on before the count came: no place among the matches.
  Select(5);
  bar->CountMatches();
  EXPECT_EQ(bar->FindCountLabel.text, W("- z 3"));
  EXPECT_EQ(bar->Current(), -1);
  // Nothing found needs no count.
  Type("zzz");
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(bar->FindCountLabel.text, W("Nenalezeno"));
}

TEST_F(FindBarTest, TheTreeOrderKeptBetweenSearchesFollowsChangesOfTheTreeAlone) {
  Type("riz");  // Řízení lisu (2), Pád with "riziko" (4), rizeni (7)
  ASSERT_EQ(bar->Matches().size(), 3u);
  EXPECT_EQ(SelectedIndex(), 2);
  // The tree changes, the table does not: 2 goes under Kancelář after 7.
  tree.Move(tree.FindByData(2), tree.FindByData(6));
  bar->FindNextClick();  // after 2, now the last item: around to 4
  EXPECT_EQ(SelectedIndex(), 4);
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 3"));
  bar->FindPrevClick();  // back around the start to 2
  EXPECT_EQ(SelectedIndex(), 2);
  EXPECT_EQ(bar->FindCountLabel.text, W("3 z 3"));
  // An item gone from the tree is found no more.
  tree.Delete(tree.FindByData(4));
  bar->FindNextClick();
  EXPECT_EQ(SelectedIndex(), 7);
  EXPECT_EQ(bar->FindCountLabel.text, W("1 z 2"));
  ASSERT_EQ(bar->Matches().size(), 2u);
  EXPECT_EQ(tree.Data(bar->Matches()[1]), 2);
}

TEST_F(FindBarTest, TheHitNamesTheFieldAndPlaceAsThePageShowsThem) {
  ASSERT_TRUE(form->DataTable.Locate(fld::kIndex, 5));
  form->DataTable.Edit();
  form->DataTable.SetText(fld::kIdent, W("Stroje\r\nbez\r\nkrytů, kryty"));
  form->DataTable.Post();
  Type("KRYT");
  EXPECT_EQ(SelectedIndex(), 5);
  auto hit = bar->TakeHit();
  ASSERT_TRUE(hit.has_value());
  EXPECT_EQ(hit->field, RecordTexts::kIdentField);
  EXPECT_EQ(hit->start, 11u);  // 13 bytes in, past two line breaks of one character each
  EXPECT_EQ(hit->length, 4u);
  EXPECT_FALSE(bar->TakeHit().has_value());  // once
  Type("řezu");                              // in the comment of 4, after the name
  EXPECT_EQ(SelectedIndex(), 4);
  hit = bar->TakeHit();
  ASSERT_TRUE(hit.has_value());
  EXPECT_EQ(hit->field, RecordTexts::kCommentField);
  EXPECT_EQ(hit->start, 7u);
  Type("zzz");
  EXPECT_FALSE(bar->TakeHit().has_value());  // nothing found, nothing to show
}

}  // namespace
}  // namespace orvenda::test
