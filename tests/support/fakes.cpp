#include "support/fakes.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace orvenda::test {

bool ScriptedDialogs::AskYesNo(const std::string& text, const std::string& caption) {
  questions.push_back({text, caption});
  if (!answers.empty()) {
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  if (defaultAnswer) return *defaultAnswer;
  throw std::logic_error("unexpected question: " + text);
}

Dialogs::Answer ScriptedDialogs::AskYesNoCancel(const std::string& text,
                                                const std::string& caption) {
  if (cancelAnswers.empty()) return AskYesNo(text, caption) ? Answer::Yes : Answer::No;
  questions.push_back({text, caption});
  const Answer answer = cancelAnswers.front();
  cancelAnswers.pop_front();
  return answer;
}

void ScriptedDialogs::Warning(const std::string& text) { warnings.push_back(text); }

void ScriptedDialogs::ShowError(const std::string& text) { errors.push_back(text); }

void ScriptedDialogs::Information(const std::string& text, const std::string& caption) {
  informations.push_back({text, caption});
}

std::optional<std::filesystem::path> ScriptedDialogs::OpenFile(const std::string& filter,
                                                               const std::filesystem::path& dir) {
  openRequests.push_back({filter, dir, {}, {}});
  if (!openAnswers.empty()) {
    auto answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  if (defaultOpenAnswer) return *defaultOpenAnswer;
  throw std::logic_error("unexpected open dialog");
}

std::optional<std::filesystem::path> ScriptedDialogs::OpenFileTitled(
    const std::string& title, const std::string& filter, const std::filesystem::path& dir) {
  auto answer = OpenFile(filter, dir);
  openRequests.back().title = title;
  return answer;
}

std::optional<std::filesystem::path> ScriptedDialogs::SaveFile(const std::string& filter,
                                                               const std::filesystem::path& dir) {
  saveRequests.push_back({filter, dir, {}, {}});
  if (!saveAnswers.empty()) {
    auto answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
  }
  if (defaultSaveAnswer) return *defaultSaveAnswer;
  throw std::logic_error("unexpected save dialog");
}

std::optional<std::filesystem::path> ScriptedDialogs::SaveFileNamed(
    const std::string& title, const std::string& fileName, const std::string& filter,
    const std::filesystem::path& dir) {
  auto answer = SaveFile(filter, dir);
  saveRequests.back().title = title;
  saveRequests.back().fileName = fileName;
  return answer;
}

void RecordingProgress::ShowProgress(const std::string& text, int maximum) {
  shown_ = true;
  calls.push_back("show " + text + " " + std::to_string(maximum));
}

void RecordingProgress::SetProgress(int position) {
  ++steps;
  if (recordSteps) calls.push_back("set " + std::to_string(position));
}

void RecordingProgress::StepProgress() {
  ++steps;
  if (recordSteps) calls.push_back("step");
}

void RecordingProgress::HideProgress() {
  shown_ = false;
  calls.push_back("hide");
}

void RecordingProgress::BeginBusy() {
  ++busyDepth;
  ++busyCalls;
}

void RecordingProgress::EndBusy() {
  if (busyDepth == 0) throw std::logic_error("EndBusy without BeginBusy");
  --busyDepth;
}

void RecordingProgress::ProcessEvents() {
  ++processEvents;
  if (onProcessEvents) onProcessEvents();
}

std::string MemorySettingsStore::Normal(const std::string& key) {
  std::string normal = key;
  while (!normal.empty() && normal.front() == '\\') normal.erase(normal.begin());
  while (!normal.empty() && normal.back() == '\\') normal.pop_back();
  std::transform(normal.begin(), normal.end(), normal.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return normal;
}

bool MemorySettingsStore::KeyExists(const std::string& key) const {
  return keys_.count(Normal(key)) != 0;
}

void MemorySettingsStore::CreateKey(const std::string& key) {
  const std::string normal = Normal(key);
  for (std::size_t at = normal.find('\\'); at != std::string::npos;
       at = normal.find('\\', at + 1)) {
    keys_.insert(normal.substr(0, at));
  }
  if (!normal.empty()) keys_.insert(normal);
}

void MemorySettingsStore::DeleteKey(const std::string& key) {
  const std::string normal = Normal(key);
  const auto inside = [&normal](const std::string& k) {
    return k == normal || k.starts_with(normal + "\\");
  };
  std::erase_if(keys_, inside);
  std::erase_if(values_, [&inside](const auto& entry) { return inside(entry.first); });
  ++writes;
}

std::optional<int32_t> MemorySettingsStore::ReadInteger(const std::string& key,
                                                        const std::string& name) const {
  const auto k = values_.find(Normal(key));
  if (k == values_.end()) return std::nullopt;
  const auto v = k->second.find(Normal(name));
  if (v == k->second.end()) return std::nullopt;
  if (const auto* number = std::get_if<int32_t>(&v->second.second)) return *number;
  return std::nullopt;
}

void MemorySettingsStore::WriteInteger(const std::string& key, const std::string& name,
                                       int32_t value) {
  CreateKey(key);
  values_[Normal(key)][Normal(name)] = {name, value};
  ++writes;
}

std::optional<std::string> MemorySettingsStore::ReadString(const std::string& key,
                                                           const std::string& name) const {
  const auto k = values_.find(Normal(key));
  if (k == values_.end()) return std::nullopt;
  const auto v = k->second.find(Normal(name));
  if (v == k->second.end()) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&v->second.second)) return *text;
  return std::nullopt;
}

void MemorySettingsStore::WriteString(const std::string& key, const std::string& name,
                                      const std::string& value) {
  CreateKey(key);
  values_[Normal(key)][Normal(name)] = {name, value};
  ++writes;
}

void MemorySettingsStore::DeleteValue(const std::string& key, const std::string& name) {
  const auto k = values_.find(Normal(key));
  if (k != values_.end()) k->second.erase(Normal(name));
  ++writes;
}

std::map<std::string, MemorySettingsStore::Value> MemorySettingsStore::Values(
    const std::string& key) const {
  std::map<std::string, Value> out;
  const auto k = values_.find(Normal(key));
  if (k == values_.end()) return out;
  for (const auto& [upper, entry] : k->second) out[entry.first] = entry.second;
  return out;
}

}  // namespace orvenda::test
