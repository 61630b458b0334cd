#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/control.h"

class QMenu;

namespace orvenda {

// What a bound widget runs (see FormBinding): `edit` after a user's edit; `exit` when the user
// leaves a spin box or line edit; `done` after `edit` even when that failed (a cancel button
// closes its dialog in any case).
struct BindingHandlers {
  std::function<void()> edit{};
  std::function<void()> exit{};
  std::function<void()> done{};
};

// Binds a window's widgets to its form's controls, both ways; every window of the program goes
// through it. A widget stands for the control whose component name it carries as objectName.
//   - A user's edit (typing, a click, a toggle, a new choice) writes the control's text,
//     checked or value and runs the handler given at bind time as a command (errors go to the
//     error handler), then the window's after-handler hook, if any.
//   - Push() writes every control to its widget with the widget's signals blocked, so no
//     handler runs.
//   - PullCaptions() takes back the captions and hints that the language file gave the widgets.
// Empty captions never overwrite a widget's caption (the form may not have one yet), a
// read-only line edit takes the window's colour, and a menu item is enabled only when its own
// control and its menu (when that is bound) allow it.
class FormBinding {
 public:
  enum class Kind {
    LineEdit,     // QLineEdit: text (edit), read-only, maximum length
    Memo,         // QPlainTextEdit: text with CR LF line breaks (edit), read-only
    SpinBox,      // QSpinBox: value (edit; the text follows), read-only
    CheckBox,     // a checkable button: checked (edit), caption
    Button,       // any other button: caption; a click is the edit
    Combo,        // QComboBox: value = chosen entry, text = shown text (edit)
    Action,       // QAction: caption; triggering is the edit
    Menu,         // QMenu: title; enables the items in it
    Label,        // QLabel: caption
    PageControl,  // QTabWidget or QStackedWidget: value = the page the user chose (edit)
    Page,         // a page of a page control: caption (the tab's text)
    Panel,        // any other widget (group box: its title is the caption)
  };
  using Handler = std::function<void()>;
  using Handlers = BindingHandlers;

  using Controls = std::vector<std::pair<std::string_view, Control*>>;
  using HandlersFor = std::function<Handlers(std::string_view name, Kind kind, Control& control)>;

  // `window` owns the connections and gives the colours; `afterHandler` runs after every
  // handler (for forms that do not report their changes themselves).
  explicit FormBinding(QWidget* window, Handler afterHandler = {});
  ~FormBinding();
  FormBinding(const FormBinding&) = delete;
  FormBinding& operator=(const FormBinding&) = delete;

  static Kind KindOf(const QObject* object);
  // Handlers that call the form's member functions by component name.
  template <typename Form>
  static HandlersFor Calls(Form& form,
                           std::vector<std::pair<std::string_view, void (Form::*)()>> calls);

  // A dialog's OK and cancel buttons: OK closes the dialog when its command went through,
  // cancel closes it in any case (QDialog's own accept and reject, not a window's Esc
  // handling); `others` gives the handlers of the remaining controls.
  template <typename Form>
  static HandlersFor DialogButtons(QDialog& dialog, Form& form, std::string_view ok,
                                   void (Form::*okCall)(), std::string_view cancel,
                                   void (Form::*cancelCall)(), HandlersFor others = {});

  void Bind(QObject* object, Control& control, Handlers handlers = {});
  // Binds every control of `controls` that an object below the window stands for.
  void BindAll(const Controls& controls, const HandlersFor& handlersFor = {});
  // The window's title is the form's caption.
  void BindCaption(std::string& caption) { caption_ = &caption; }

  // A page control's shown page is the window's to set, from its form's own page state.
  void Push();
  void PullCaptions();
  // Applies the language file to the window and takes its texts back into the form.
  void Translate(const std::filesystem::path& languageFile);

  QObject* Find(std::string_view name) const;
  // Gives the named widget the keyboard focus; `selectAll` selects a line edit's text.
  void Focus(std::string_view name, bool selectAll = false) const;

 private:
  struct Binding {
    QPointer<QObject> object;
    Control* control;
    Kind kind;
  };
  void Connect(const Binding& binding, Handlers handlers);
  void Run(const Handler& handler, const Handler& done = {}) const;
  void PushOne(const Binding& binding);
  void PullOne(const Binding& binding);
  void EnableMenuItems(QMenu* menu, bool menuEnabled);

  QWidget* window_;
  // Owns the connections: they end with the binding, before the form it writes goes.
  std::unique_ptr<QObject> context_;
  Handler after_handler_;
  std::vector<Binding> bindings_;
  std::string* caption_ = nullptr;
  bool pushing_ = false;
};

template <typename Form>
FormBinding::HandlersFor FormBinding::Calls(
    Form& form, std::vector<std::pair<std::string_view, void (Form::*)()>> calls) {
  return [&form, calls = std::move(calls)](std::string_view name, Kind, Control&) -> Handlers {
    for (const auto& [callName, call] : calls) {
      if (callName == name) return {[&form, call = call] { (form.*call)(); }};
    }
    return {};
  };
}

template <typename Form>
FormBinding::HandlersFor FormBinding::DialogButtons(QDialog& dialog, Form& form,
                                                    std::string_view ok, void (Form::*okCall)(),
                                                    std::string_view cancel,
                                                    void (Form::*cancelCall)(),
                                                    HandlersFor others) {
  return [&dialog, &form, ok, okCall, cancel, cancelCall, others = std::move(others)](
             std::string_view name, Kind kind, Control& control) -> Handlers {
    if (name == ok) {
      return {[&dialog, &form, okCall] {
        (form.*okCall)();
        dialog.QDialog::accept();
      }};
    }
    if (name == cancel) {
      return {[&form, cancelCall] { (form.*cancelCall)(); },
              {},
              [&dialog] { dialog.QDialog::reject(); }};
    }
    return others ? others(name, kind, control) : Handlers{};
  };
}

}  // namespace orvenda
