#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/control.h"
#include "base/settings.h"

namespace orvenda {

// The Options dialog ("Nastavení"): three check boxes and the buttons OK and "Storno".
class SetupForm {
 public:
  enum class ModalResult { None, Ok, Cancel };

  SetupForm();
  SetupForm(const SetupForm&) = delete;
  SetupForm& operator=(const SetupForm&) = delete;

  std::string Caption;
  Control AskDeleteCheckBox, AskExitCheckBox, CountAverageCheckBox;
  Control OKBitBtn, StornoBitBtn;

  ModalResult modalResult = ModalResult::None;

  // Shows the window modally and returns when it has closed. The window writes the check
  // boxes' states into the controls and calls OKBitBtnClick or StornoBitBtnClick; closing it
  // any other way counts as "Storno".
  std::function<void()> ShowModal;
  // Called when the form's state changed, so that the window pushes it into its widgets.
  std::function<void()> OnStateChanged;

  void OKBitBtnClick() { modalResult = ModalResult::Ok; }
  void StornoBitBtnClick() { modalResult = ModalResult::Cancel; }

  // Sets the check boxes from `current` and shows the dialog: the boxes' values after OK,
  // nullopt after "Storno".
  std::optional<Settings> Execute(const Settings& current);

  const std::vector<std::pair<std::string_view, Control*>>& Controls() const { return controls_; }

 private:
  std::vector<std::pair<std::string_view, Control*>> controls_;
};

}  // namespace orvenda
