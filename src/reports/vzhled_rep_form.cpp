#include "reports/vzhled_rep_form.h"

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"

namespace orvenda {

VzhledRepForm::VzhledRepForm(const Messages& messages, ReportLayout& target)
    : messages_(messages), target_(target) {
  Caption = W("Vzhled sestavy");
  Label1.text = W("Viditelné sloupce");
  CheckListBox1.Items = {W("Posuzovaný objekt"),
                         W("Subsystém"),
                         W("Identifikace nebezpečí"),
                         W("Vyhodnocení rizika - P"),
                         W("Vyhodnocení rizika - N"),
                         W("Vyhodnocení rizika - H"),
                         W("Vyhodnocení rizika - R"),
                         W("Bezpečnostní opatření"),
                         W("Poznámka")};
  CheckListBox1.Checked.fill(true);
  RadioGroup1.text = W(" Posuzovaný objekt ");
  RadioGroup1.value = 1;
  RadioGroup1Items = {W("V samostatném řádku"), W("V prvním sloupci každého řádku")};
  CheckBox1.text = W("Vytvořit strom");
  CheckBox2.text = W("Včetně rizik");
  CheckBox2.enabled = false;
  BitBtn1.text = "OK";
  BitBtn2.text = "Storno";
  controls_ = {{"Label1", &Label1},       {"RadioGroup1", &RadioGroup1}, {"CheckBox1", &CheckBox1},
               {"CheckBox2", &CheckBox2}, {"BitBtn1", &BitBtn1},         {"BitBtn2", &BitBtn2}};
}

void VzhledRepForm::FormShow() {
  if (!defaultsTaken_) {
    DefaultColumnWidths = StringGrid1.ColWidths;
    defaultsTaken_ = true;
  }
  StringGrid1.ColWidths = DefaultColumnWidths;
  for (int column = 0; column < kReportColumns; ++column) {
    StringGrid1.Cells[column][0] = messages_.Get(41 + column);
  }
  CheckListBox1.Checked.fill(true);
  RadioGroup1.value = 1;
  RadioGroup1.enabled = true;
  CheckBox1.checked = false;
  CheckBox2.enabled = false;
  CheckBox2.checked = false;
  Result = ModalResult::None;
}

void VzhledRepForm::CheckListBox1ClickCheck() {
  auto& widths = StringGrid1.ColWidths;
  for (int column = 0; column < kReportColumns; ++column) {
    if (CheckListBox1.Checked[column]) {
      // A width the user dragged stays; only a hidden column comes back at its default.
      if (widths[column] == 0) widths[column] = DefaultColumnWidths[column];
    } else {
      widths[column] = 0;
    }
  }
  if (RadioGroup1.value == 0) widths[kObjectColumn] = 0;
  RadioGroup1.enabled = CheckListBox1.Checked[kObjectColumn];
}

void VzhledRepForm::CheckBox1Click() { CheckBox2.enabled = CheckBox1.checked; }

ReportLayout VzhledRepForm::ComputeLayout() const {
  int sum = 0;
  for (const int width : StringGrid1.ColWidths) sum += width;
  // Under 100 pixels of visible columns the unit would be 0; counting in whole pixels then
  // keeps every visible column visible instead of dividing by zero.
  int unit = sum / 100;
  if (unit < 1) unit = 1;

  ReportLayout layout;
  int counted = 0;
  for (int column = 0; column < kReportColumns; ++column) {
    int share = StringGrid1.ColWidths[column] / unit;
    if (share > 1) {
      --share;
      ++counted;
    }
    layout.ColumnPercent[column] = share;
  }
  layout.ObjectInOwnRow = RadioGroup1.value == 0;
  layout.ObjectRowColspan = counted;
  layout.TreeSection = CheckBox1.checked;
  layout.TreeWithRisks = CheckBox2.checked;  // stored even while disabled
  return layout;
}

void VzhledRepForm::BitBtn1Click() {
  target_ = ComputeLayout();
  Result = ModalResult::Ok;
}

void VzhledRepForm::BitBtn2Click() { Result = ModalResult::Cancel; }

bool VzhledRepForm::Execute() {
  if (!ShowModal) throw Error(Msg(256));
  FormShow();
  if (OnStateChanged) OnStateChanged();
  ShowModal();
  return Result == ModalResult::Ok;  // closing the window otherwise counts as "Storno"
}

}  // namespace orvenda
