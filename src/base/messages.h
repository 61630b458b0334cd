#pragma once

#include <string>
#include <vector>

namespace orvenda {

// The numbered messages: every fixed text the program shows or writes is item n of this list,
// read at the moment of use, so that a language file replacing the list changes it everywhere.
class Messages {
 public:
  static constexpr int kCount = 105;
  // The first item added after the original list (91 items, the last one empty).
  static constexpr int kFirstAppended = 91;

  Messages();  // the Czech defaults

  // Item n as windows-1250 text; the empty text when a translated list was cut short.
  const std::string& Get(int n) const;
  const std::string& operator[](int n) const { return Get(n); }

  const std::vector<std::string>& Items() const { return items_; }
  // Replaces the whole list, as the language file does; numbers keep their places.
  void Replace(std::vector<std::string> items) { items_ = std::move(items); }

  static std::vector<std::string> Defaults();

 private:
  std::vector<std::string> items_;
};

}  // namespace orvenda
