// The filter: its text, and which records pass it.
#include "base/messages.h"
#include "model/table_internal.h"

#include <cctype>
#include <charconv>

namespace orvenda {

using namespace table_detail;

namespace table_detail {

Condition ParseFilter(const std::string& text) {
  Condition cond;
  const auto fail = [&]() -> Condition { throw Error(Msg(209, {text})); };
  size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  const auto word = [&] {
    skipBlanks();
    const size_t start = i;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
      ++i;
    return UpperAscii(text.substr(start, i - start));
  };
  skipBlanks();
  if (i == text.size()) return cond;  // empty text: no condition
  bool seenType = false, seenUplink = false;
  for (;;) {
    const std::string name = word();
    skipBlanks();
    if (i >= text.size() || text[i] != '=') return fail();
    ++i;
    skipBlanks();
    const size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    const char* first = text.data() + start + (text[start] == '+' ? 1 : 0);
    const char* last = text.data() + i;
    int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || ptr != last) return fail();
    if (name == "TYPE" && !seenType) {
      seenType = true;
      cond.hasType = true;
      cond.type = value;
    } else if (name == "UPLINK" && !seenUplink) {
      seenUplink = true;
      cond.uplink = value;
    } else {
      return fail();
    }
    skipBlanks();
    if (i == text.size()) break;
    if (word() != "AND") return fail();
  }
  if (!seenUplink) return fail();
  cond.active = true;
  return cond;
}

}  // namespace table_detail

void Table::Impl::Activate(const Condition& c, const std::string& text) {
  if (c.active && (uplinkField < 0 || (c.hasType && typeField < 0))) throw Error(Msg(209, {text}));
  cond = c;
  if (cond.active && !groupsBuilt) BuildGroups();
}

void Table::SetFilter(const std::string& text) {
  Impl& t = *impl_;
  if (t.open && t.filtered) {
    const Condition c = ParseFilter(text);
    t.CheckBrowse();
    if (text == t.filterText) return;
    t.Activate(c, text);
    t.filterText = text;
    t.GoFirst();
    return;
  }
  if (t.filtered) ParseFilter(text);
  t.filterText = text;
}

const std::string& Table::Filter() const { return impl_->filterText; }

void Table::SetFiltered(bool on) {
  Impl& t = *impl_;
  if (on == t.filtered) return;
  if (!on) {
    if (t.open) t.CheckBrowse();
    t.filtered = false;
    if (t.open) t.GoFirst();
    return;
  }
  const Condition c = ParseFilter(t.filterText);
  if (!t.open) {
    t.filtered = true;
    return;
  }
  t.CheckBrowse();
  t.Activate(c, t.filterText);
  t.filtered = true;
  t.GoFirst();
}

bool Table::Filtered() const { return impl_->filtered; }

}  // namespace orvenda
