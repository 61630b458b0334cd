// The cursor and the fields of the current record.
#include "model/table_internal.h"

namespace orvenda {

using dbf::Cell;
using namespace table_detail;

void Table::First() {
  Impl& t = *impl_;
  t.RequireOpen();
  t.CheckBrowse();
  t.GoFirst();
}

void Table::Last() {
  Impl& t = *impl_;
  t.RequireOpen();
  t.CheckBrowse();
  const auto* v = t.View();
  t.SetCursor(v == nullptr || v->empty() ? -1 : static_cast<int64_t>(*v->rbegin()));
}

void Table::Next() {
  Impl& t = *impl_;
  t.RequireOpen();
  t.CheckBrowse();
  const auto* v = t.View();
  if (v == nullptr || v->empty()) return t.SetCursor(-1);
  if (t.cur < 0) {
    t.eof = true;
    return;
  }
  const bool stepped = t.stepView == v && t.stepVersion == t.orderingsVersion && t.stepRec == t.cur;
  const auto it = stepped ? std::next(t.stepAt) : v->upper_bound(static_cast<uint32_t>(t.cur));
  if (it == v->end()) {
    t.eof = true;
    return;
  }
  t.cur = *it;
  t.eof = t.bof = false;
  t.RememberStep(v, it);
}

void Table::Prior() {
  Impl& t = *impl_;
  t.RequireOpen();
  t.CheckBrowse();
  const auto* v = t.View();
  if (v == nullptr || v->empty()) return t.SetCursor(-1);
  if (t.cur < 0) {
    t.bof = true;
    return;
  }
  auto it = v->lower_bound(static_cast<uint32_t>(t.cur));
  if (it == v->begin()) {
    t.bof = true;
    return;
  }
  t.cur = *--it;
  t.eof = t.bof = false;
}

bool Table::Eof() const { return !impl_->open || impl_->eof; }
bool Table::Bof() const { return !impl_->open || impl_->bof; }

bool Table::IsEmpty() const {
  if (!impl_->open) return true;
  const auto* v = impl_->View();
  return v == nullptr || v->empty();
}

int Table::RecordCount() const {
  impl_->RequireOpen();
  const auto* v = impl_->View();
  return v == nullptr ? 0 : static_cast<int>(v->size());
}

int32_t Table::GetInt(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  const Row* row = t.CurrentRow();
  return row == nullptr ? 0 : t.IntOf(row->cells[f], t.kinds[f]);
}

int Table::FieldNumber(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  return t.FieldIndex(field);
}

int32_t Table::GetInt(int fieldNumber) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  if (fieldNumber < 0 || fieldNumber >= static_cast<int>(t.kinds.size()))
    throw Error(Msg(199, {std::to_string(fieldNumber), t.TableName()}));
  const Row* row = t.CurrentRow();
  return row == nullptr ? 0 : t.IntOf(row->cells[fieldNumber], t.kinds[fieldNumber]);
}

std::string Table::GetText(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  const Row* row = t.RowToRead(f);
  if (row == nullptr) return std::string();
  const Cell& c = row->cells[f];
  return c.null ? std::string() : c.text;
}

std::string_view Table::TextView(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  const Row* row = t.RowToRead(f);
  if (row == nullptr) return {};
  const Cell& c = row->cells[f];
  return c.null ? std::string_view() : std::string_view(c.text);
}

std::string_view Table::TextView(int fieldNumber) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  if (fieldNumber < 0 || fieldNumber >= static_cast<int>(t.kinds.size()))
    throw Error(Msg(199, {std::to_string(fieldNumber), t.TableName()}));
  const Row* row = t.RowToRead(fieldNumber);
  if (row == nullptr) return {};
  const Cell& c = row->cells[fieldNumber];
  return c.null ? std::string_view() : std::string_view(c.text);
}

bool Table::IsNull(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  const Row* row = t.CurrentRow();
  return row == nullptr || row->cells[f].null;
}

}  // namespace orvenda
