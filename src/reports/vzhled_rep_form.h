#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/control.h"
#include "base/messages.h"
#include "reports/report_layout.h"

namespace orvenda {

// The report layout dialog ("Vzhled sestavy") without its window: which columns are visible
// and how wide, where the path text goes, and the tree outline. On OK it turns the column
// widths into the preview's ColumnPercent. The Qt window binds its widgets to the control
// state below by component name.
class VzhledRepForm {
 public:
  // The grid's column widths as designed, in pixels.
  static constexpr std::array<int, kReportColumns> kDesignColumnWidths{55, 57, 122, 18, 16,
                                                                       17, 18, 165, 29};

  struct CheckListBox {
    std::vector<std::string> Items;  // captions
    std::array<bool, kReportColumns> Checked{};
    bool Enabled = true;
  };
  struct StringGrid {
    std::array<int, kReportColumns> ColWidths = kDesignColumnWidths;
    // Cells[column][row]; row 0 holds the short titles, rows 1 and 2 stay empty.
    std::array<std::array<std::string, 3>, kReportColumns> Cells{};
  };
  enum class ModalResult { None, Ok, Cancel };

  // `target` is the preview window's layout; only OK writes it.
  VzhledRepForm(const Messages& messages, ReportLayout& target);

  // --- Controls ----------------------------------------------------------------------------------
  std::string Caption;
  Control Label1;
  CheckListBox CheckListBox1;  // item i checked: report column i visible
  StringGrid StringGrid1;      // a ruler: column i's width is report column i's width
  // value = ItemIndex: 0 "V samostatném řádku", 1 "V prvním sloupci každého řádku".
  Control RadioGroup1;
  std::vector<std::string> RadioGroup1Items;
  Control CheckBox1;  // "Vytvořit strom"
  Control CheckBox2;  // "Včetně rizik"
  Control BitBtn1;    // OK
  Control BitBtn2;    // Storno
  ModalResult Result = ModalResult::None;

  // Every Control above by its component name, for the window's binding.
  const std::vector<std::pair<std::string_view, Control*>>& Controls() const { return controls_; }

  // Taken from the grid at the first showing; never changed afterwards.
  std::array<int, kReportColumns> DefaultColumnWidths{};

  // --- Events ------------------------------------------------------------------------------------
  // Every showing starts from the default layout, not from the one in force.
  void FormShow();
  void CheckListBox1ClickCheck();
  void RadioGroup1Click() { CheckListBox1ClickCheck(); }
  void CheckBox1Click();
  void BitBtn1Click();  // OK: store the layout
  void BitBtn2Click();  // Storno: store nothing

  // Shows the dialog modally (FormShow first): true after OK, which stored the layout.
  bool Execute();
  // Shows the window and returns when it has closed; the window calls the handlers.
  std::function<void()> ShowModal;
  // Called when the form's state changed, so that the window pushes it into its widgets.
  std::function<void()> OnStateChanged;

  // The layout that OK stores for the current control state.
  ReportLayout ComputeLayout() const;

 private:
  const Messages& messages_;
  ReportLayout& target_;
  bool defaultsTaken_ = false;
  std::vector<std::pair<std::string_view, Control*>> controls_;
};

}  // namespace orvenda
