#include "command_guard.h"

#include <exception>

#include "base/error.h"
#include "qt_dialogs.h"

namespace orvenda {
namespace {

Dialogs* error_dialogs = nullptr;

void Show(const std::string& text) {
  if (error_dialogs != nullptr) {
    error_dialogs->ShowError(text);
    return;
  }
  QtDialogs dialogs(QApplication::activeWindow());
  dialogs.ShowError(text);
}

// Runs `command`; an escaping exception's text is shown. False when it failed.
template <typename F>
bool Guarded(F&& command) {
  try {
    command();
    return true;
  } catch (const std::exception& error) {
    // orvenda::Error and the standard exceptions alike carry windows-1250 text.
    Show(error.what());
  } catch (...) {
    Show("?");
  }
  return false;
}

}  // namespace

void SetErrorDialogs(Dialogs* dialogs) { error_dialogs = dialogs; }

bool RunCommand(const std::function<void()>& command) { return Guarded(command); }

OrvendaApplication::OrvendaApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool OrvendaApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace orvenda
