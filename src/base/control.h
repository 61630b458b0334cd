#pragma once

#include <string>

namespace orvenda {

// The state of one control of a form, under the control's component name. The window binds
// each widget to its Control both ways: a user's edit writes `text` (or `value`, `checked`)
// and calls the handler; after every handler the form calls OnStateChanged and the window
// pushes the state back into the widgets with their signals blocked.
struct Control {
  std::string text;  // windows-1250; caption for buttons and menu items
  bool checked = false;
  bool enabled = true;
  bool visible = true;
  bool readOnly = false;
  std::string hint;   // tooltip, windows-1250
  int value = 0;      // spin edits
  int maxLength = 0;  // one-line edits: characters the field holds, 0 = no limit
};

}  // namespace orvenda
