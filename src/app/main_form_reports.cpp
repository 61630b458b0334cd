#include <optional>

#include "app/main_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "reports/nahled_form.h"

namespace orvenda {

void MainForm::NahledClick() {
  if (nahledForm == nullptr) throw Error(Msg(147));
  std::optional<int32_t> selected;
  if (const TreeControl::Item item = TreeNT1.Selected()) selected = TreeNT1.Data(item);
  nahledForm->Execute(selected);
}

}  // namespace orvenda
