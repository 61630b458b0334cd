#include "qt_translation.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <functional>

#include "mnemonics.h"
#include "qt_text.h"

namespace orvenda {
namespace {

constexpr const char* kDynamicTexts[] = {"Caption", "Hint", "Text", "Title", "Filter"};

struct TextAccess {
  const char* name;
  std::function<QString()> get;
  std::function<void(const QString&)> set;
};

struct ListAccess {
  const char* name;
  std::function<QStringList()> get;
  std::function<void(const QStringList&)> set;
};

// Whether `object` is another window that has its own translation (a dialog parented to this
// one); it and everything under it are not this window's components.
bool IsOtherWindow(const QObject* object) {
  return qobject_cast<const QDialog*>(object) != nullptr ||
         object->objectName().endsWith(QStringLiteral("Form"));
}

void Collect(const QObject* parent, std::vector<QObject*>& out) {
  for (QObject* child : parent->children()) {
    if (IsOtherWindow(child)) continue;
    const QString name = child->objectName();
    if (!name.isEmpty() && !name.startsWith(QStringLiteral("qt_"))) out.push_back(child);
    Collect(child, out);
  }
}

// The text properties of a component, in the order the language file writes them.
std::vector<TextAccess> TextsOf(QObject* object) {
  std::vector<TextAccess> texts;
  const auto add = [&](const char* name, std::function<QString()> get,
                       std::function<void(const QString&)> set) {
    texts.push_back({name, std::move(get), std::move(set)});
  };

  if (auto* action = qobject_cast<QAction*>(object)) {
    add(
        "Caption", [action] { return WithoutMnemonic(action->text()); },
        [action](const QString& v) { action->setText(WithMnemonic(action, v)); });
    add(
        "Hint", [action] { return action->statusTip(); },
        [action](const QString& v) { action->setStatusTip(v); });
  } else if (auto* menu = qobject_cast<QMenu*>(object)) {
    add(
        "Caption", [menu] { return WithoutMnemonic(menu->title()); },
        [menu](const QString& v) { menu->setTitle(WithMnemonic(menu, v)); });
    add(
        "Hint", [menu] { return menu->toolTip(); },
        [menu](const QString& v) { menu->setToolTip(v); });
  } else if (auto* widget = qobject_cast<QWidget*>(object)) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      add(
          "Caption", [button] { return WithoutMnemonic(button->text()); },
          [button](const QString& v) { button->setText(WithMnemonic(button, v)); });
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      add(
          "Caption", [label] { return label->text(); },
          [label](const QString& v) { label->setText(v); });
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      add(
          "Caption", [group] { return group->title(); },
          [group](const QString& v) { group->setTitle(v); });
    } else if (qobject_cast<QLineEdit*>(widget) == nullptr &&
               qobject_cast<QComboBox*>(widget) == nullptr &&
               qobject_cast<QPlainTextEdit*>(widget) == nullptr &&
               qobject_cast<QTextEdit*>(widget) == nullptr &&
               qobject_cast<QListWidget*>(widget) == nullptr &&
               qobject_cast<QAbstractSpinBox*>(widget) == nullptr) {
      // Pages and panels: the caption a tab would show.
      add(
          "Caption", [widget] { return widget->windowTitle(); },
          [widget](const QString& v) { widget->setWindowTitle(v); });
    }
    add(
        "Hint", [widget] { return widget->toolTip(); },
        [widget](const QString& v) { widget->setToolTip(v); });
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      add(
          "Text", [edit] { return edit->text(); }, [edit](const QString& v) { edit->setText(v); });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->isEditable()) {
      add(
          "Text", [combo] { return combo->currentText(); },
          [combo](const QString& v) { combo->setEditText(v); });
    }
  }

  // Dynamic properties add to (or stand in for) the above.
  for (const char* name : kDynamicTexts) {
    if (!object->property(name).isValid()) continue;
    std::erase_if(texts, [&](const TextAccess& t) { return std::string_view(t.name) == name; });
    add(
        name, [object, name] { return object->property(name).toString(); },
        [object, name](const QString& v) { object->setProperty(name, v); });
  }
  // Keep the writer's order.
  std::vector<TextAccess> ordered;
  for (const char* name : kDynamicTexts) {
    for (TextAccess& t : texts) {
      if (std::string_view(t.name) == name) ordered.push_back(std::move(t));
    }
  }
  return ordered;
}

std::vector<ListAccess> ListsOf(QObject* object) {
  std::vector<ListAccess> lists;
  if (auto* memo = qobject_cast<QPlainTextEdit*>(object)) {
    lists.push_back({"Lines",
                     [memo] {
                       const QString text = memo->toPlainText();
                       return text.isEmpty() ? QStringList() : text.split(u'\n');
                     },
                     [memo](const QStringList& v) { memo->setPlainText(v.join(u'\n')); }});
  } else if (auto* rich = qobject_cast<QTextEdit*>(object)) {
    lists.push_back({"Lines",
                     [rich] {
                       const QString text = rich->toPlainText();
                       return text.isEmpty() ? QStringList() : text.split(u'\n');
                     },
                     [rich](const QStringList& v) { rich->setPlainText(v.join(u'\n')); }});
  } else if (auto* list = qobject_cast<QListWidget*>(object)) {
    lists.push_back({"Items",
                     [list] {
                       QStringList items;
                       for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
                       return items;
                     },
                     [list](const QStringList& v) {
                       list->clear();
                       list->addItems(v);
                     }});
  } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
    lists.push_back({"Items",
                     [combo] {
                       QStringList items;
                       for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
                       return items;
                     },
                     [combo](const QStringList& v) {
                       const int current = combo->currentIndex();
                       combo->clear();
                       combo->addItems(v);
                       combo->setCurrentIndex(std::min(current, combo->count() - 1));
                     }});
  } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
    // A radio group's choices, as the buttons inside it.
    const auto radios = group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
    if (!radios.isEmpty()) {
      lists.push_back({"Items",
                       [radios] {
                         QStringList items;
                         for (const QRadioButton* radio : radios) items << radio->text();
                         return items;
                       },
                       [radios](const QStringList& v) {
                         for (int i = 0; i < radios.size() && i < v.size(); ++i) {
                           radios[i]->setText(v[i]);
                         }
                       }});
    }
  }
  return lists;
}

template <typename Access>
const Access* FindAccess(const std::vector<Access>& all, const std::string& property) {
  for (const Access& access : all) {
    if (QString::fromLatin1(access.name)
            .compare(QString::fromStdString(property), Qt::CaseInsensitive) == 0) {
      return &access;
    }
  }
  return nullptr;
}

}  // namespace

QString TextToQt(const std::string& text) {
  QString converted = FromCp1250(text);
  converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  converted.replace(u'\r', u'\n');
  return converted;
}

std::string TextFromQt(const QString& text) {
  QString converted = text;
  converted.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return ToCp1250(converted);
}

QtTranslationTarget::QtTranslationTarget(QWidget* window) : window_(window) {
  Collect(window_, components_);
}

std::string QtTranslationTarget::FormName() const { return ToCp1250(window_->objectName()); }

std::string QtTranslationTarget::FormCaption() const { return TextFromQt(window_->windowTitle()); }

void QtTranslationTarget::SetFormCaption(const std::string& caption) {
  window_->setWindowTitle(TextToQt(caption));
}

std::vector<std::string> QtTranslationTarget::ComponentNames() const {
  std::vector<std::string> names;
  names.reserve(components_.size());
  for (const QObject* component : components_) names.push_back(ToCp1250(component->objectName()));
  return names;
}

QObject* QtTranslationTarget::Component(const std::string& name) const {
  const QString wanted = FromCp1250(name);
  for (QObject* component : components_) {
    if (component->objectName().compare(wanted, Qt::CaseInsensitive) == 0) return component;
  }
  return nullptr;
}

std::vector<std::string> QtTranslationTarget::TextProperties(const std::string& component) const {
  std::vector<std::string> names;
  if (QObject* object = Component(component)) {
    for (const TextAccess& access : TextsOf(object)) names.emplace_back(access.name);
  }
  return names;
}

std::vector<std::string> QtTranslationTarget::ListProperties(const std::string& component) const {
  std::vector<std::string> names;
  if (QObject* object = Component(component)) {
    for (const ListAccess& access : ListsOf(object)) names.emplace_back(access.name);
  }
  return names;
}

std::string QtTranslationTarget::GetText(const std::string& component,
                                         const std::string& property) const {
  QObject* object = Component(component);
  if (object == nullptr) return {};
  const auto all = TextsOf(object);
  const TextAccess* access = FindAccess(all, property);
  return access != nullptr ? TextFromQt(access->get()) : std::string();
}

void QtTranslationTarget::SetText(const std::string& component, const std::string& property,
                                  const std::string& value) {
  QObject* object = Component(component);
  if (object == nullptr) return;
  const auto all = TextsOf(object);
  if (const TextAccess* access = FindAccess(all, property)) access->set(TextToQt(value));
}

std::vector<std::string> QtTranslationTarget::GetList(const std::string& component,
                                                      const std::string& property) const {
  std::vector<std::string> entries;
  QObject* object = Component(component);
  if (object == nullptr) return entries;
  const auto all = ListsOf(object);
  if (const ListAccess* access = FindAccess(all, property)) {
    for (const QString& entry : access->get()) entries.push_back(ToCp1250(entry));
  }
  return entries;
}

void QtTranslationTarget::SetList(const std::string& component, const std::string& property,
                                  const std::vector<std::string>& entries) {
  QObject* object = Component(component);
  if (object == nullptr) return;
  const auto all = ListsOf(object);
  if (const ListAccess* access = FindAccess(all, property)) {
    QStringList list;
    for (const std::string& entry : entries) list << FromCp1250(entry);
    access->set(list);
  }
}

void TranslateWindow(QWidget* window, const std::filesystem::path& file, Messages* messages) {
  QtTranslationTarget target(window);
  if (messages != nullptr) {
    MessagesBoxTarget withMessages(target, *messages);
    TranslateForm(withMessages, file);
  } else {
    TranslateForm(target, file);
  }
}

void WriteWindowTexts(QWidget* window, const std::filesystem::path& file, Messages* messages) {
  QtTranslationTarget target(window);
  if (messages != nullptr) {
    MessagesBoxTarget withMessages(target, *messages);
    WriteFormTexts(withMessages, file);
  } else {
    WriteFormTexts(target, file);
  }
}

}  // namespace orvenda
