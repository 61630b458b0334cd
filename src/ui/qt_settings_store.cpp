#include "qt_settings_store.h"

#include <QStringList>

#include "qt_text.h"

namespace orvenda {
namespace {

const QStringList kOwnRoot = {"software", "tumbek", "orvenda"};

}  // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Tumbek",
                                            "Orvenda")) {}

QtSettingsStore::QtSettingsStore(const QString& ini_file)
    : settings_(std::make_unique<QSettings>(ini_file, QSettings::IniFormat)) {}

QString QtSettingsStore::GroupOf(const std::string& key) {
  QStringList parts = FromCp1250(key).split(u'\\', Qt::SkipEmptyParts);
  bool own = parts.size() >= kOwnRoot.size();
  for (qsizetype i = 0; own && i < kOwnRoot.size(); ++i) {
    own = parts[i].compare(kOwnRoot[i], Qt::CaseInsensitive) == 0;
  }
  if (own) parts.remove(0, kOwnRoot.size());
  return parts.join(u'/');
}

QString QtSettingsStore::Path(const std::string& key, const std::string& name) const {
  const QString group = GroupOf(key);
  const QString value = FromCp1250(name);
  return group.isEmpty() ? value : group + u'/' + value;
}

bool QtSettingsStore::KeyExists(const std::string& key) const {
  const QString group = GroupOf(key);
  if (group.isEmpty() || created_.count(group.toLower())) return true;
  // A group exists when anything is stored in it.
  for (const QString& stored : settings_->allKeys()) {
    if (stored.startsWith(group + u'/', Qt::CaseInsensitive)) return true;
  }
  return false;
}

void QtSettingsStore::CreateKey(const std::string& key) {
  // Registry keys are created with their parents; remember each level.
  const QStringList parts = GroupOf(key).split(u'/', Qt::SkipEmptyParts);
  QString path;
  for (const QString& part : parts) {
    path = path.isEmpty() ? part : path + u'/' + part;
    created_.insert(path.toLower());
  }
}

void QtSettingsStore::DeleteKey(const std::string& key) {
  const QString group = GroupOf(key);
  settings_->remove(group);
  const QString lower = group.toLower();
  for (auto it = created_.begin(); it != created_.end();) {
    it = (*it == lower || it->startsWith(lower + u'/')) ? created_.erase(it) : std::next(it);
  }
}

std::optional<int32_t> QtSettingsStore::ReadInteger(const std::string& key,
                                                    const std::string& name) const {
  const QVariant value = settings_->value(Path(key, name));
  if (!value.isValid()) return std::nullopt;
  bool ok = false;
  const int number = value.toInt(&ok);
  if (!ok) return std::nullopt;
  return number;
}

void QtSettingsStore::WriteInteger(const std::string& key, const std::string& name, int32_t value) {
  settings_->setValue(Path(key, name), value);
}

std::optional<std::string> QtSettingsStore::ReadString(const std::string& key,
                                                       const std::string& name) const {
  const QVariant value = settings_->value(Path(key, name));
  if (!value.isValid()) return std::nullopt;
  return ToCp1250(value.toString());
}

void QtSettingsStore::WriteString(const std::string& key, const std::string& name,
                                  const std::string& value) {
  settings_->setValue(Path(key, name), FromCp1250(value));
}

void QtSettingsStore::DeleteValue(const std::string& key, const std::string& name) {
  settings_->remove(Path(key, name));
}

}  // namespace orvenda
