#pragma once

#include <QApplication>
#include <functional>

namespace orvenda {

class Dialogs;

// The application's one error handler: runs a command and shows the text of an exception
// that escapes it (orvenda::Error or any std::exception) in a message box; the program goes
// on. Returns false when the command failed. Every slot that calls the core goes through it.
bool RunCommand(const std::function<void()>& command);

// Where RunCommand shows the errors; by default a QtDialogs of the active window.
void SetErrorDialogs(Dialogs* dialogs);

// The application object. It also catches an exception that escapes an event handler which
// is not wrapped, so that no failure ends the program.
class OrvendaApplication : public QApplication {
 public:
  OrvendaApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace orvenda
