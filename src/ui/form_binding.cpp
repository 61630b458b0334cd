#include "form_binding.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>

#include "command_guard.h"
#include "mnemonics.h"
#include "qt_text.h"
#include "qt_translation.h"

namespace orvenda {
namespace {

// The tab widget whose page `widget` is, if any.
QTabWidget* TabsOf(QWidget* widget) {
  QWidget* stack = widget->parentWidget();
  auto* tabs = stack != nullptr ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
  return tabs != nullptr && tabs->indexOf(widget) >= 0 ? tabs : nullptr;
}

// A panel's caption: a group box's title, otherwise the title a tab would show.
QString PanelCaption(const QWidget* widget) {
  if (auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  return widget->windowTitle();
}

void SetPanelCaption(QWidget* widget, const QString& caption) {
  if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(caption);
  } else {
    widget->setWindowTitle(caption);
  }
}

}  // namespace

FormBinding::FormBinding(QWidget* window, Handler afterHandler)
    : window_(window),
      context_(std::make_unique<QObject>()),
      after_handler_(std::move(afterHandler)) {}

FormBinding::~FormBinding() = default;

FormBinding::Kind FormBinding::KindOf(const QObject* object) {
  if (qobject_cast<const QAction*>(object) != nullptr) return Kind::Action;
  if (qobject_cast<const QMenu*>(object) != nullptr) return Kind::Menu;
  if (qobject_cast<const QLineEdit*>(object) != nullptr) return Kind::LineEdit;
  if (qobject_cast<const QPlainTextEdit*>(object) != nullptr) return Kind::Memo;
  if (qobject_cast<const QSpinBox*>(object) != nullptr) return Kind::SpinBox;
  if (qobject_cast<const QComboBox*>(object) != nullptr) return Kind::Combo;
  if (auto* button = qobject_cast<const QAbstractButton*>(object)) {
    return button->isCheckable() ? Kind::CheckBox : Kind::Button;
  }
  if (qobject_cast<const QLabel*>(object) != nullptr) return Kind::Label;
  if (qobject_cast<const QTabWidget*>(object) != nullptr ||
      qobject_cast<const QStackedWidget*>(object) != nullptr) {
    return Kind::PageControl;
  }
  if (qobject_cast<const QStackedWidget*>(object->parent()) != nullptr) return Kind::Page;
  return Kind::Panel;
}

void FormBinding::Bind(QObject* object, Control& control, Handlers handlers) {
  bindings_.push_back({object, &control, KindOf(object)});
  Connect(bindings_.back(), std::move(handlers));
}

void FormBinding::BindAll(const Controls& controls, const HandlersFor& handlersFor) {
  for (const auto& [name, control] : controls) {
    const QString objectName = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
    QObject* object = window_->findChild<QObject*>(objectName);
    if (object == nullptr) continue;
    Bind(object, *control, handlersFor ? handlersFor(name, KindOf(object), *control) : Handlers{});
  }
}

void FormBinding::Run(const Handler& handler, const Handler& done) const {
  if (!handler) return;
  RunCommand(handler);
  if (after_handler_) after_handler_();
  if (done) done();
}

void FormBinding::Connect(const Binding& binding, Handlers handlers) {
  Control* c = binding.control;
  QObject* object = binding.object;
  const Handler edit = std::move(handlers.edit);
  const Handler exit = std::move(handlers.exit);
  const auto run = [this, edit, done = std::move(handlers.done)] { Run(edit, done); };
  switch (binding.kind) {
    case Kind::LineEdit: {
      auto* line = static_cast<QLineEdit*>(object);
      QObject::connect(line, &QLineEdit::textEdited, context_.get(), [c, run](const QString& text) {
        c->text = ToCp1250(text);
        run();
      });
      if (exit)
        QObject::connect(line, &QLineEdit::editingFinished, context_.get(),
                         [this, exit] { Run(exit); });
      break;
    }
    case Kind::Memo: {
      auto* memo = static_cast<QPlainTextEdit*>(object);
      memo->setTabChangesFocus(true);
      QObject::connect(memo, &QPlainTextEdit::textChanged, context_.get(), [this, memo, c, run] {
        if (pushing_) return;
        c->text = TextFromQt(memo->toPlainText());
        run();
      });
      break;
    }
    case Kind::SpinBox: {
      auto* spin = static_cast<QSpinBox*>(object);
      QObject::connect(spin, &QSpinBox::valueChanged, context_.get(), [c, run](int value) {
        c->value = value;
        c->text = std::to_string(value);
        run();
      });
      if (exit) {
        QObject::connect(spin, &QSpinBox::editingFinished, context_.get(), [this, spin, c, exit] {
          c->value = spin->value();
          Run(exit);
        });
      }
      break;
    }
    case Kind::CheckBox:
      QObject::connect(static_cast<QAbstractButton*>(object), &QAbstractButton::toggled,
                       context_.get(), [c, run](bool on) {
                         c->checked = on;
                         run();
                       });
      break;
    case Kind::Button:
      QObject::connect(static_cast<QAbstractButton*>(object), &QAbstractButton::clicked,
                       context_.get(), run);
      break;
    case Kind::Combo: {
      auto* combo = static_cast<QComboBox*>(object);
      QObject::connect(combo, &QComboBox::activated, context_.get(), [combo, c, run](int index) {
        c->value = index;
        c->text = TextFromQt(combo->currentText());
        run();
      });
      if (combo->isEditable()) {
        QObject::connect(combo, &QComboBox::editTextChanged, context_.get(),
                         [c, run](const QString& t) {
                           c->text = TextFromQt(t);
                           run();
                         });
      }
      break;
    }
    case Kind::Action:
      QObject::connect(static_cast<QAction*>(object), &QAction::triggered, context_.get(), run);
      break;
    case Kind::PageControl: {
      const auto chosen = [c, run](int index) {
        c->value = index;
        run();
      };
      if (auto* tabs = qobject_cast<QTabWidget*>(object)) {
        QObject::connect(tabs, &QTabWidget::currentChanged, context_.get(), chosen);
      } else {
        QObject::connect(static_cast<QStackedWidget*>(object), &QStackedWidget::currentChanged,
                         context_.get(), chosen);
      }
      break;
    }
    case Kind::Menu:
    case Kind::Label:
    case Kind::Page:
    case Kind::Panel:
      break;  // nothing the user edits
  }
}

void FormBinding::Push() {
  if (pushing_) return;
  pushing_ = true;
  for (const Binding& b : bindings_) {
    if (b.object != nullptr) PushOne(b);
  }
  // Menu items after all else: their menus' state is final now.
  for (const Binding& b : bindings_) {
    if (b.kind != Kind::Menu || b.object == nullptr) continue;
    auto* menu = static_cast<QMenu*>(b.object.data());
    EnableMenuItems(menu, menu->menuAction()->isEnabled());
  }
  if (caption_ != nullptr) {
    const QString caption = TextToQt(*caption_);
    if (window_->windowTitle() != caption) window_->setWindowTitle(caption);
  }
  pushing_ = false;
}

void FormBinding::EnableMenuItems(QMenu* menu, bool menuEnabled) {
  // A disabled menu's shortcuts must not reach its commands either.
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    const Control* own = nullptr;
    for (const Binding& b : bindings_) {
      if (b.object == action) own = b.control;
    }
    action->setEnabled(menuEnabled && (own == nullptr || own->enabled));
  }
}

void FormBinding::PushOne(const Binding& b) {
  const Control& c = *b.control;
  const QSignalBlocker blocker(b.object);
  auto* widget = qobject_cast<QWidget*>(b.object);
  if (widget != nullptr && b.kind != Kind::Menu && b.kind != Kind::Label) {
    widget->setEnabled(c.enabled);
    widget->setToolTip(TextToQt(c.hint));
    // Pages are shown and hidden by their page control.
    if (b.kind != Kind::Page) widget->setVisible(c.visible);
  }
  // Empty captions leave the widget's own: the form may have none yet.
  const bool caption = !c.text.empty();
  switch (b.kind) {
    case Kind::LineEdit: {
      auto* edit = static_cast<QLineEdit*>(widget);
      const QString text = FromCp1250(c.text);
      if (edit->text() != text) edit->setText(text);
      if (edit->isReadOnly() != c.readOnly) {
        edit->setReadOnly(c.readOnly);
        // A field the user cannot change does not look like one he can.
        QPalette palette = edit->palette();
        palette.setBrush(QPalette::Base,
                         c.readOnly ? window_->palette().window() : window_->palette().base());
        edit->setPalette(palette);
      }
      edit->setMaxLength(c.maxLength > 0 ? c.maxLength : 32767);
      break;
    }
    case Kind::Memo: {
      auto* memo = static_cast<QPlainTextEdit*>(widget);
      const QString text = TextToQt(c.text);
      if (memo->toPlainText() != text) memo->setPlainText(text);
      memo->setReadOnly(c.readOnly);
      break;
    }
    case Kind::SpinBox: {
      auto* spin = static_cast<QSpinBox*>(widget);
      if (spin->value() != c.value) spin->setValue(c.value);
      spin->setReadOnly(c.readOnly);
      break;
    }
    case Kind::CheckBox:
    case Kind::Button: {
      auto* button = static_cast<QAbstractButton*>(widget);
      if (caption) button->setText(WithMnemonic(button, TextToQt(c.text)));
      if (b.kind == Kind::CheckBox) button->setChecked(c.checked);
      break;
    }
    case Kind::Combo: {
      auto* combo = static_cast<QComboBox*>(widget);
      if (combo->isEditable()) {
        const QString text = TextToQt(c.text);
        if (combo->currentText() != text) combo->setEditText(text);
      } else if (combo->currentIndex() != c.value) {
        combo->setCurrentIndex(c.value);
      }
      break;
    }
    case Kind::Action: {
      auto* action = static_cast<QAction*>(b.object.data());
      if (caption) action->setText(WithMnemonic(action, TextToQt(c.text)));
      action->setVisible(c.visible);
      action->setEnabled(c.enabled);  // and its menu's, see EnableMenuItems
      break;
    }
    case Kind::Menu: {
      auto* menu = static_cast<QMenu*>(widget);
      if (caption) menu->setTitle(WithMnemonic(menu, TextToQt(c.text)));
      menu->menuAction()->setEnabled(c.enabled);
      menu->menuAction()->setVisible(c.visible);
      break;
    }
    case Kind::Label: {
      auto* label = static_cast<QLabel*>(widget);
      label->setText(TextToQt(c.text));
      label->setVisible(c.visible);
      break;
    }
    case Kind::Page:
      if (caption) {
        // The page's title is what the language file reads and writes as its caption.
        widget->setWindowTitle(TextToQt(c.text));
        if (QTabWidget* tabs = TabsOf(widget)) {
          tabs->setTabText(tabs->indexOf(widget), widget->windowTitle());
        }
      }
      break;
    case Kind::Panel:
      if (caption) SetPanelCaption(widget, TextToQt(c.text));
      break;
    case Kind::PageControl:
      break;  // the window chooses the page shown from its form's own state
  }
}

void FormBinding::PullCaptions() {
  if (caption_ != nullptr) *caption_ = TextFromQt(window_->windowTitle());
  for (const Binding& b : bindings_) {
    if (b.object != nullptr) PullOne(b);
  }
}

void FormBinding::PullOne(const Binding& b) {
  Control& c = *b.control;
  QObject* object = b.object;
  auto* widget = qobject_cast<QWidget*>(object);
  if (widget != nullptr && b.kind != Kind::Menu && b.kind != Kind::Label) {
    c.hint = TextFromQt(widget->toolTip());
  }
  switch (b.kind) {
    case Kind::CheckBox:
    case Kind::Button:
      c.text = TextFromQt(WithoutMnemonic(static_cast<QAbstractButton*>(object)->text()));
      break;
    case Kind::Action:
      c.text = TextFromQt(WithoutMnemonic(static_cast<QAction*>(object)->text()));
      break;
    case Kind::Menu:
      c.text = TextFromQt(WithoutMnemonic(static_cast<QMenu*>(object)->title()));
      break;
    case Kind::Label:
      c.text = TextFromQt(static_cast<QLabel*>(object)->text());
      break;
    case Kind::Page:
    case Kind::Panel:
      if (!PanelCaption(widget).isEmpty()) c.text = TextFromQt(PanelCaption(widget));
      break;
    case Kind::LineEdit:
    case Kind::Memo:
    case Kind::SpinBox:
    case Kind::Combo:
    case Kind::PageControl:
      break;  // their texts are the user's
  }
}

void FormBinding::Translate(const std::filesystem::path& languageFile) {
  TranslateWindow(window_, languageFile);
  PullCaptions();
}

QObject* FormBinding::Find(std::string_view name) const {
  const QString wanted = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
  for (const Binding& b : bindings_) {
    if (b.object != nullptr && b.object->objectName() == wanted) return b.object;
  }
  return window_->findChild<QObject*>(wanted);
}

void FormBinding::Focus(std::string_view name, bool selectAll) const {
  if (name.empty()) return;
  auto* widget = qobject_cast<QWidget*>(Find(name));
  if (widget == nullptr) return;
  widget->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(widget); edit != nullptr && selectAll)
    edit->selectAll();
}

}  // namespace orvenda
