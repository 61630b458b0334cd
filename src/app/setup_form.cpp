#include "app/setup_form.h"

#include "base/cp1250.h"
#include "base/error.h"

namespace orvenda {

SetupForm::SetupForm()
    : Caption(W("Nastavení")),
      controls_{{"AskDeleteCheckBox", &AskDeleteCheckBox},
                {"AskExitCheckBox", &AskExitCheckBox},
                {"CountAverageCheckBox", &CountAverageCheckBox},
                {"OKBitBtn", &OKBitBtn},
                {"StornoBitBtn", &StornoBitBtn}} {
  AskDeleteCheckBox.text = W("Potvrdit vymazání");
  AskExitCheckBox.text = W("Potvrdit ukončení programu");
  CountAverageCheckBox.text = W("Počítat průměrnou míru rizika uzlu");
  OKBitBtn.text = "OK";
  StornoBitBtn.text = "Storno";
}

std::optional<Settings> SetupForm::Execute(const Settings& current) {
  if (!ShowModal) throw Error("The Options window is not available.");
  AskDeleteCheckBox.checked = current.AskDelete;
  AskExitCheckBox.checked = current.AskExit;
  CountAverageCheckBox.checked = current.CountAverage;
  modalResult = ModalResult::None;
  if (OnStateChanged) OnStateChanged();
  ShowModal();
  if (modalResult != ModalResult::Ok) return std::nullopt;
  Settings chosen;
  chosen.AskDelete = AskDeleteCheckBox.checked;
  chosen.AskExit = AskExitCheckBox.checked;
  chosen.CountAverage = CountAverageCheckBox.checked;
  return chosen;
}

}  // namespace orvenda
