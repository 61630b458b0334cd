// The binding between forms' controls and Qt widgets, one kind of widget at a time.
#include "form_binding.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>

#include "base/error.h"
#include "command_guard.h"
#include "ui_support.h"

namespace orvenda {
namespace {

using Kind = FormBinding::Kind;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

struct KindCase {
  Kind kind;
  std::function<QObject*(QWidget& window)> make;
  std::function<void(QObject*)> edit;  // as the user does it; empty where there is no edit
  std::function<void(const Control&)> edited;
  std::function<void(Control&)> change;  // the form's change
  std::function<void(QObject*)> pushed;
};

template <typename W>
W* As(QObject* object) {
  return qobject_cast<W*>(object);
}

std::vector<KindCase> KindCases() {
  return {
      {Kind::LineEdit, [](QWidget& w) { return new QLineEdit(&w); },
       [](QObject* o) { test::TypeText(As<QLineEdit>(o), U("Pád")); },
       [](const Control& c) { EXPECT_EQ(c.text, W("Pád")); },
       [](Control& c) {
         c.text = W("Řez");
         c.maxLength = 4;
         c.enabled = false;
       },
       [](QObject* o) {
         EXPECT_EQ(As<QLineEdit>(o)->text(), U("Řez"));
         EXPECT_EQ(As<QLineEdit>(o)->maxLength(), 4);
         EXPECT_FALSE(As<QLineEdit>(o)->isEnabled());
       }},
      {Kind::Memo, [](QWidget& w) { return new QPlainTextEdit(&w); },
       [](QObject* o) {
         test::TypeText(As<QWidget>(o), "a");
         QTest::keyClick(As<QWidget>(o), Qt::Key_Return);
         test::TypeText(As<QWidget>(o), "b");
       },
       [](const Control& c) { EXPECT_EQ(c.text, "a\r\nb"); },
       [](Control& c) {
         c.text = "x\r\ny";
         c.readOnly = true;
       },
       [](QObject* o) {
         EXPECT_EQ(As<QPlainTextEdit>(o)->toPlainText(), "x\ny");
         EXPECT_TRUE(As<QPlainTextEdit>(o)->isReadOnly());
       }},
      {Kind::SpinBox,
       [](QWidget& w) {
         auto* spin = new QSpinBox(&w);
         spin->setRange(0, 5);
         return spin;
       },
       [](QObject* o) { QTest::keyClick(As<QSpinBox>(o), Qt::Key_Up); },
       [](const Control& c) {
         EXPECT_EQ(c.value, 1);
         EXPECT_EQ(c.text, "1");
       },
       [](Control& c) { c.value = 4; }, [](QObject* o) { EXPECT_EQ(As<QSpinBox>(o)->value(), 4); }},
      {Kind::CheckBox, [](QWidget& w) { return new QCheckBox(&w); },
       [](QObject* o) { As<QCheckBox>(o)->click(); },
       [](const Control& c) { EXPECT_TRUE(c.checked); },
       [](Control& c) {
         c.checked = false;
         c.text = W("Včetně rizik");
       },
       [](QObject* o) {
         EXPECT_FALSE(As<QCheckBox>(o)->isChecked());
         EXPECT_EQ(As<QCheckBox>(o)->text(), U("Včetně rizik"));
       }},
      {Kind::Button, [](QWidget& w) { return new QPushButton(&w); },
       [](QObject* o) { As<QPushButton>(o)->click(); }, [](const Control&) {},
       [](Control& c) {
         c.text = W("Uložit");
         c.hint = "tip";
         c.enabled = false;
       },
       [](QObject* o) {
         EXPECT_EQ(As<QPushButton>(o)->text(), U("Uložit"));
         EXPECT_EQ(As<QPushButton>(o)->toolTip(), "tip");
         EXPECT_FALSE(As<QPushButton>(o)->isEnabled());
       }},
      {Kind::Combo,
       [](QWidget& w) {
         auto* combo = new QComboBox(&w);
         combo->addItems({"A", "B", "C"});
         return combo;
       },
       [](QObject* o) { QTest::keyClick(As<QComboBox>(o), Qt::Key_Down); },
       [](const Control& c) {
         EXPECT_EQ(c.value, 1);
         EXPECT_EQ(c.text, "B");
       },
       [](Control& c) { c.value = 2; },
       [](QObject* o) { EXPECT_EQ(As<QComboBox>(o)->currentIndex(), 2); }},
      {Kind::Action, [](QWidget& w) { return new QAction("Export", &w); },
       [](QObject* o) { As<QAction>(o)->trigger(); }, [](const Control&) {},
       [](Control& c) {
         c.visible = false;
         c.enabled = false;
       },
       [](QObject* o) {
         EXPECT_FALSE(As<QAction>(o)->isVisible());
         EXPECT_FALSE(As<QAction>(o)->isEnabled());
         EXPECT_EQ(As<QAction>(o)->text(), "Export");  // no caption in the form: kept
       }},
      {Kind::PageControl,
       [](QWidget& w) {
         auto* tabs = new QTabWidget(&w);
         tabs->addTab(new QWidget, "1");
         tabs->addTab(new QWidget, "2");
         return tabs;
       },
       [](QObject* o) {
         QTabBar* bar = As<QTabWidget>(o)->tabBar();
         QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
       },
       [](const Control& c) { EXPECT_EQ(c.value, 1); }, [](Control& c) { c.enabled = false; },
       [](QObject* o) { EXPECT_FALSE(As<QTabWidget>(o)->isEnabled()); }},
      {Kind::Page,
       [](QWidget& w) {
         auto* tabs = new QTabWidget(&w);
         tabs->addTab(new QWidget, "1");
         return tabs->widget(0);
       },
       {},
       {},
       [](Control& c) { c.text = W("Uživatelská knihovna"); },
       [](QObject* o) {
         auto* tabs = qobject_cast<QTabWidget*>(As<QWidget>(o)->parentWidget()->parentWidget());
         EXPECT_EQ(tabs->tabText(0), U("Uživatelská knihovna"));
         EXPECT_EQ(As<QWidget>(o)->windowTitle(), U("Uživatelská knihovna"));
       }},
      {Kind::Menu,
       [](QWidget& w) { return new QMenu("Soubor", &w); },
       {},
       {},
       [](Control& c) { c.enabled = false; },
       [](QObject* o) { EXPECT_FALSE(As<QMenu>(o)->menuAction()->isEnabled()); }},
      {Kind::Label,
       [](QWidget& w) { return new QLabel(&w); },
       {},
       {},
       [](Control& c) { c.text = W("Název:"); },
       [](QObject* o) { EXPECT_EQ(As<QLabel>(o)->text(), U("Název:")); }},
      {Kind::Panel,
       [](QWidget& w) { return new QGroupBox(&w); },
       {},
       {},
       [](Control& c) {
         c.text = W("Pravděpodobnost:");
         c.visible = false;
       },
       [](QObject* o) {
         EXPECT_EQ(As<QGroupBox>(o)->title(), U("Pravděpodobnost:"));
         EXPECT_FALSE(As<QGroupBox>(o)->isVisibleTo(As<QWidget>(o)->parentWidget()));
       }},
  };
}

TEST(FormBinding, UserEditsWriteTheControlAndRunTheHandlerPushWritesTheWidgetSilently) {
  for (const KindCase& k : KindCases()) {
    SCOPED_TRACE(static_cast<int>(k.kind));
    QWidget window;
    QObject* object = k.make(window);
    window.show();
    Control control;
    int calls = 0;
    FormBinding binding(&window);
    binding.Bind(object, control, {[&calls] { ++calls; }, {}});
    ASSERT_EQ(FormBinding::KindOf(object), k.kind);

    if (k.edit) {
      k.edit(object);
      EXPECT_GE(calls, 1);
      k.edited(control);
    }
    const int before = calls;
    k.change(control);
    binding.Push();
    EXPECT_EQ(calls, before);  // the form's own change runs no handler
    k.pushed(object);
  }
}

TEST(FormBinding, KeepsTheWindowsNuances) {
  QWidget window;
  auto* button = new QPushButton(U("Zrušit"), &window);
  auto* edit = new QLineEdit(&window);
  auto* menu = new QMenu(&window);
  QAction* own = menu->addAction("own");
  QAction* plain = menu->addAction("plain");
  Control buttonControl, editControl, menuControl, ownControl;
  std::string caption = "Okno";
  FormBinding binding(&window);
  binding.Bind(button, buttonControl);
  binding.Bind(edit, editControl);
  binding.Bind(menu, menuControl);
  binding.Bind(own, ownControl);
  binding.BindCaption(caption);
  binding.Push();

  // No caption in the form yet: the widget's stays.
  EXPECT_EQ(button->text(), U("Zrušit"));
  EXPECT_EQ(window.windowTitle(), "Okno");
  // A read-only field takes the window's colour.
  editControl.readOnly = true;
  binding.Push();
  EXPECT_EQ(edit->palette().color(QPalette::Base), window.palette().color(QPalette::Window));
  // An item is enabled when both it and its menu allow it.
  ownControl.enabled = false;
  binding.Push();
  EXPECT_FALSE(own->isEnabled());
  EXPECT_TRUE(plain->isEnabled());
  ownControl.enabled = true;
  menuControl.enabled = false;
  binding.Push();
  EXPECT_FALSE(own->isEnabled());
  EXPECT_FALSE(plain->isEnabled());

  // The language file's texts go back into the form.
  button->setText("Cancel");
  button->setToolTip("Line 1\nLine 2");
  menu->setTitle("File");
  window.setWindowTitle("Window");
  binding.PullCaptions();
  EXPECT_EQ(buttonControl.text, "Cancel");
  EXPECT_EQ(buttonControl.hint, "Line 1\r\nLine 2");
  EXPECT_EQ(menuControl.text, "File");
  EXPECT_EQ(caption, "Window");
}

TEST(FormBinding, AfterAFailedHandlerTheErrorIsShownAndTheStateStillPushed) {
  test::ScriptedDialogs dialogs;
  SetErrorDialogs(&dialogs);
  QWidget window;
  auto* button = new QPushButton(&window);
  button->setObjectName("StoreBitBtn");
  Control control;
  int pushes = 0;
  FormBinding binding(&window, [&pushes] { ++pushes; });
  binding.BindAll({{"StoreBitBtn", &control}, {"Missing", &control}},
                  [](std::string_view name, Kind kind, Control&) -> FormBinding::Handlers {
                    EXPECT_EQ(name, "StoreBitBtn");
                    EXPECT_EQ(kind, Kind::Button);
                    return {[] { throw Error("disk full"); }, {}};
                  });
  button->click();
  SetErrorDialogs(nullptr);
  EXPECT_EQ(dialogs.errors, std::vector<std::string>{"disk full"});
  EXPECT_EQ(pushes, 1);
  EXPECT_EQ(binding.Find("StoreBitBtn"), button);
}

}  // namespace
}  // namespace orvenda
