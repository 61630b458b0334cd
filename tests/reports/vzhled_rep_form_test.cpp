#include "reports/vzhled_rep_form.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/cp1250.h"

namespace orvenda {
namespace {

using ::testing::ElementsAre;

class VzhledRepFormTest : public ::testing::Test {
 protected:
  VzhledRepFormTest() : dialog(messages, layout) { dialog.FormShow(); }

  ReportLayout Ok() {
    dialog.BitBtn1Click();
    EXPECT_EQ(dialog.Result, VzhledRepForm::ModalResult::Ok);
    return layout;
  }
  void SetColumn(int column, bool checked) {
    dialog.CheckListBox1.Checked[column] = checked;
    dialog.CheckListBox1ClickCheck();
  }
  void SetRadio(int index) {
    dialog.RadioGroup1.value = index;
    dialog.RadioGroup1Click();
  }

  Messages messages;
  ReportLayout layout;
  VzhledRepForm dialog;
};

TEST_F(VzhledRepFormTest, OpensWithTheDefaultLayout) {
  EXPECT_THAT(dialog.DefaultColumnWidths, ElementsAre(55, 57, 122, 18, 16, 17, 18, 165, 29));
  EXPECT_EQ(dialog.StringGrid1.ColWidths, dialog.DefaultColumnWidths);
  for (bool checked : dialog.CheckListBox1.Checked) EXPECT_TRUE(checked);
  EXPECT_EQ(dialog.RadioGroup1.value, 1);
  EXPECT_TRUE(dialog.RadioGroup1.enabled);
  EXPECT_FALSE(dialog.CheckBox1.checked);
  EXPECT_FALSE(dialog.CheckBox2.checked);
  EXPECT_FALSE(dialog.CheckBox2.enabled);
  EXPECT_EQ(dialog.StringGrid1.Cells[0][0], W("Pos. objekt"));
  EXPECT_EQ(dialog.StringGrid1.Cells[2][0], W("Iden. nebezpečí"));
  EXPECT_EQ(dialog.StringGrid1.Cells[7][0], W("Opatření"));
  EXPECT_EQ(dialog.StringGrid1.Cells[8][0], W("Poznámka"));
  EXPECT_EQ(dialog.StringGrid1.Cells[8][1], "");
  EXPECT_EQ(dialog.CheckListBox1.Items.at(3), W("Vyhodnocení rizika - P"));
}

TEST_F(VzhledRepFormTest, OkOnTheUntouchedDialog) {
  const ReportLayout stored = Ok();
  EXPECT_THAT(stored.ColumnPercent, ElementsAre(12, 13, 29, 3, 3, 3, 3, 40, 6));
  EXPECT_EQ(stored.ObjectRowColspan, 9);
  EXPECT_FALSE(stored.ObjectInOwnRow);
  EXPECT_FALSE(stored.TreeSection);
  EXPECT_FALSE(stored.TreeWithRisks);
  EXPECT_NE(stored, ReportLayout());  // differs from the preview's starting layout
}

TEST_F(VzhledRepFormTest, ObjectInItsOwnRowHidesColumnZero) {
  SetRadio(0);
  EXPECT_EQ(dialog.StringGrid1.ColWidths[0], 0);
  EXPECT_TRUE(dialog.RadioGroup1.enabled);
  const ReportLayout stored = Ok();
  EXPECT_THAT(stored.ColumnPercent, ElementsAre(0, 13, 29, 3, 3, 3, 3, 40, 6));
  EXPECT_EQ(stored.ObjectRowColspan, 8);
  EXPECT_TRUE(stored.ObjectInOwnRow);

  SetRadio(1);
  EXPECT_EQ(dialog.StringGrid1.ColWidths[0], 55);
}

TEST_F(VzhledRepFormTest, UncheckingTheObjectColumnDisablesTheRadioGroup) {
  SetColumn(0, false);
  EXPECT_EQ(dialog.StringGrid1.ColWidths[0], 0);
  EXPECT_FALSE(dialog.RadioGroup1.enabled);
  EXPECT_EQ(dialog.RadioGroup1.value, 1);
  SetColumn(0, true);
  EXPECT_EQ(dialog.StringGrid1.ColWidths[0], 55);
  EXPECT_TRUE(dialog.RadioGroup1.enabled);

  // With "V samostatném řádku" the column stays hidden even when checked again.
  SetRadio(0);
  SetColumn(0, false);
  SetColumn(0, true);
  EXPECT_EQ(dialog.StringGrid1.ColWidths[0], 0);
  EXPECT_TRUE(dialog.RadioGroup1.enabled);
}

TEST_F(VzhledRepFormTest, DraggedWidthsStayAndCount) {
  dialog.StringGrid1.ColWidths[2] = 222;  // sum 597, unit 5
  SetColumn(8, false);                    // sum 568, unit 5
  EXPECT_EQ(dialog.StringGrid1.ColWidths[2], 222);
  EXPECT_EQ(dialog.StringGrid1.ColWidths[8], 0);
  const ReportLayout stored = Ok();
  EXPECT_THAT(stored.ColumnPercent, ElementsAre(10, 10, 43, 2, 2, 2, 2, 32, 0));
  EXPECT_EQ(stored.ObjectRowColspan, 8);
}

TEST_F(VzhledRepFormTest, AShareOfExactlyOneStaysAndIsNotCounted) {
  dialog.StringGrid1.ColWidths[8] = 5;  // sum 473, unit 4: 5 div 4 = 1
  const ReportLayout stored = Ok();
  EXPECT_EQ(stored.ColumnPercent[8], 1);
  EXPECT_EQ(stored.ObjectRowColspan, 8);
}

TEST_F(VzhledRepFormTest, HidingEveryRatingColumn) {
  for (int column = 3; column <= 6; ++column) SetColumn(column, false);
  const ReportLayout stored = Ok();  // sum 428, unit 4
  EXPECT_THAT(stored.ColumnPercent, ElementsAre(12, 13, 29, 0, 0, 0, 0, 40, 6));
  EXPECT_EQ(stored.ObjectRowColspan, 5);
}

TEST_F(VzhledRepFormTest, NarrowVisibleColumnsCountInWholePixels) {
  // Only the rating columns: 69 pixels, so a hundredth would be 0.
  for (int column : {0, 1, 2, 7, 8}) SetColumn(column, false);
  ReportLayout stored = Ok();
  EXPECT_THAT(stored.ColumnPercent, ElementsAre(0, 0, 0, 17, 15, 16, 17, 0, 0));
  EXPECT_EQ(stored.ObjectRowColspan, 4);

  for (int column : {3, 4, 5, 6}) SetColumn(column, false);
  stored = Ok();
  EXPECT_THAT(stored.ColumnPercent, ElementsAre(0, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(stored.ObjectRowColspan, 0);
}

TEST_F(VzhledRepFormTest, RisksOptionFollowsTheTreeOption) {
  dialog.CheckBox1.checked = true;
  dialog.CheckBox1Click();
  EXPECT_TRUE(dialog.CheckBox2.enabled);
  dialog.CheckBox2.checked = true;
  dialog.CheckBox1.checked = false;
  dialog.CheckBox1Click();
  EXPECT_FALSE(dialog.CheckBox2.enabled);
  EXPECT_TRUE(dialog.CheckBox2.checked);
  const ReportLayout stored = Ok();
  EXPECT_FALSE(stored.TreeSection);
  EXPECT_TRUE(stored.TreeWithRisks);
}

TEST_F(VzhledRepFormTest, CancelStoresNothingAndReopeningResets) {
  SetColumn(2, false);
  SetRadio(0);
  dialog.CheckBox1.checked = true;
  dialog.CheckBox1Click();
  dialog.BitBtn2Click();
  EXPECT_EQ(dialog.Result, VzhledRepForm::ModalResult::Cancel);
  EXPECT_EQ(layout, ReportLayout());

  SetColumn(1, false);
  Ok();
  EXPECT_EQ(layout.ColumnPercent[1], 0);
  dialog.FormShow();
  EXPECT_EQ(dialog.Result, VzhledRepForm::ModalResult::None);
  EXPECT_EQ(dialog.StringGrid1.ColWidths, dialog.DefaultColumnWidths);
  EXPECT_TRUE(dialog.CheckListBox1.Checked[1]);
  EXPECT_TRUE(dialog.CheckListBox1.Checked[2]);
  EXPECT_EQ(dialog.RadioGroup1.value, 1);
  EXPECT_FALSE(dialog.CheckBox1.checked);
  EXPECT_THAT(Ok().ColumnPercent, ElementsAre(12, 13, 29, 3, 3, 3, 3, 40, 6));
}

TEST(VzhledRepForm, DefaultWidthsAreTheGridsAtTheFirstShowingOnly) {
  Messages messages;
  ReportLayout layout;
  VzhledRepForm dialog(messages, layout);
  dialog.StringGrid1.ColWidths[0] = 100;  // as the window's grid would report it
  dialog.FormShow();
  EXPECT_EQ(dialog.DefaultColumnWidths[0], 100);
  dialog.StringGrid1.ColWidths[0] = 7;
  dialog.FormShow();
  EXPECT_EQ(dialog.DefaultColumnWidths[0], 100);
  EXPECT_EQ(dialog.StringGrid1.ColWidths[0], 100);
}

TEST(VzhledRepForm, ShortTitlesAreReadAtEveryShowing) {
  Messages messages;
  ReportLayout layout;
  VzhledRepForm dialog(messages, layout);
  dialog.FormShow();
  auto items = messages.Items();
  items[41] = "Object";
  messages.Replace(items);
  dialog.FormShow();
  EXPECT_EQ(dialog.StringGrid1.Cells[0][0], "Object");
}

}  // namespace
}  // namespace orvenda
