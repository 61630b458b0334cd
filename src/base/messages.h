#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orvenda {

// The numbered messages: every fixed text the program shows or writes is item n of this list,
// read at the moment of use, so that a language file replacing the list changes it everywhere.
class Messages {
 public:
  // How many there are; defined beside the table, so that adding one rebuilds one file.
  static const int kCount;
  // The first item added after the original list (91 items, the last one empty).
  static constexpr int kFirstAppended = 91;

  Messages();  // the Czech defaults

  // Item n as windows-1250 text; the empty text when a translated list was cut short.
  const std::string& Get(int n) const;
  const std::string& operator[](int n) const { return Get(n); }

  const std::vector<std::string>& Items() const { return items_; }
  // Replaces the whole list; numbers keep their places.
  void Replace(std::vector<std::string> items) { items_ = std::move(items); }
  // A translated list: the original numbers take its entries (a list cut short leaves them
  // empty); a later number keeps its text unless the list reaches it, so that a file written
  // before that number existed does not blank it.
  void SetFromList(const std::vector<std::string>& entries);
  void Set(int n, std::string text);

  static std::vector<std::string> Defaults();

  // The list in force for texts raised away from any window (the table engine's errors, locks,
  // archives): the main window's list, or the batch run's; the Czech defaults until one is set.
  static const Messages& Current();
  // Makes `messages` the list in force while it lives.
  class InForce {
   public:
    explicit InForce(const Messages& messages);
    ~InForce();
    InForce(const InForce&) = delete;
    InForce& operator=(const InForce&) = delete;

   private:
    const Messages* messages_;
  };

 private:
  std::vector<std::string> items_;
};

// `text` with %1, %2, ... replaced by the arguments, in one pass: an argument's own "%1" stays.
std::string FillArgs(std::string_view text, std::initializer_list<std::string_view> args);

// Message n of the list in force, with %1, %2, ... filled in.
std::string Msg(int n);
std::string Msg(int n, std::initializer_list<std::string_view> args);

}  // namespace orvenda
