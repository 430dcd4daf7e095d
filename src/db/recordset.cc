#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "db/driver.h"
#include "db/recordset_filter.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {

Recordset::Recordset() = default;

Recordset::Recordset(std::shared_ptr<const detail::ResultData> data,
                     std::shared_ptr<void> keep_alive)
    : data_(std::move(data)), keep_alive_(std::move(keep_alive)), open_(data_ != nullptr) {}

Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;
Recordset::~Recordset() = default;

int32_t Recordset::RecordCount() const {
  if (!open_) return 0;
  return static_cast<int32_t>(filtered_ ? visible_.size() : data_->RowCount());
}

bool Recordset::Eof() const { return !open_ || position_ >= RecordCount(); }

bool Recordset::Bof() const { return !open_ || RecordCount() == 0; }

namespace {

int32_t FindColumn(const detail::ResultData& data, std::string_view name) {
  const std::vector<std::string>& columns = data.columns->names();
  for (size_t i = 0; i < columns.size(); ++i) {
    const std::string& column = columns[i];
    if (column.size() == name.size() && detail::EqualsNoCase(column, name)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

}  // namespace

Variant Recordset::Fields(std::string_view name) const {
  if (!open_) throw DatabaseError("the result set is closed");
  const Variant* value = FieldValue(name);
  if (value == nullptr) {
    throw DatabaseError("no column \"" + std::string(name) + "\" in the result");
  }
  return *value;
}

const Variant* Recordset::FieldValue(std::string_view name) const {
  return open_ ? FieldValueAt(FindColumn(*data_, name)) : nullptr;
}

void Recordset::FieldIndexes(std::span<const std::string_view> names,
                             std::span<int32_t> positions) const {
  if (positions.size() != names.size())
    throw DatabaseError("FieldIndexes needs one position for each name");
  std::fill(positions.begin(), positions.end(), -1);
  if (open_ && !names.empty()) data_->columns->Find(names, positions);
}

const Variant* Recordset::FieldValueAt(int32_t i) const {
  if (i < 0 || i >= FieldCount()) return nullptr;
  if (Eof()) throw DatabaseError("no current row: the result set is at its end");
  const size_t row = filtered_ ? visible_[position_] : position_;
  return &data_->cells[row * data_->Width() + i];
}

const Variant* Recordset::RowValues() const {
  if (!open_) throw DatabaseError("the result set is closed");
  if (Eof()) throw DatabaseError("no current row: the result set is at its end");
  const size_t row = filtered_ ? visible_[position_] : position_;
  return &data_->cells[row * data_->Width()];
}

bool Recordset::HasField(std::string_view name) const {
  return open_ && FindColumn(*data_, name) >= 0;
}

int32_t Recordset::FieldCount() const { return open_ ? static_cast<int32_t>(data_->Width()) : 0; }

std::string Recordset::FieldName(int32_t i) const {
  if (i < 0 || i >= FieldCount())
    throw DatabaseError("no column number " + std::to_string(i) + " in the result");
  return data_->columns->names()[i];
}

void Recordset::MoveNext() {
  if (Eof()) throw DatabaseError("cannot move past the end of the result set");
  ++position_;
}

void Recordset::MoveFirst() {
  if (!open_) throw DatabaseError("the result set is closed");
  position_ = 0;
}

void Recordset::Filter(std::string_view condition) {
  if (!open_) throw DatabaseError("the result set is closed");
  if (detail::Trim(condition).empty()) {
    filtered_ = false;
    visible_.clear();
    position_ = 0;
    return;
  }
  // Parsed in full before anything changes, so a bad condition leaves the previous filter.
  const auto filter = detail::RowFilter::Parse(condition, data_->columns->names());
  std::vector<int32_t> rows;
  const size_t width = data_->Width();
  for (size_t r = 0; r < data_->RowCount(); ++r)
    if (filter.Matches(&data_->cells[r * width])) rows.push_back(static_cast<int32_t>(r));
  visible_ = std::move(rows);
  filtered_ = true;
  position_ = 0;
}

void Recordset::Close() {
  data_.reset();
  keep_alive_.reset();
  visible_.clear();
  filtered_ = false;
  position_ = 0;
  open_ = false;
}

bool Recordset::IsOpen() const { return open_; }

}  // namespace tamsel

namespace tamsel::detail {

const std::shared_ptr<const ResultColumns>& NoColumns() {
  static const auto none = std::make_shared<const ResultColumns>();
  return none;
}

void ResultColumns::Find(std::span<const std::string_view> wanted, std::span<int32_t> at) const {
  auto same = [&](const Found& f) {
    return std::equal(f.wanted.begin(), f.wanted.end(), wanted.begin(), wanted.end());
  };
  {
    std::lock_guard lock(mutex_);
    for (const Found& f : found_) {
      if (same(f)) {
        std::copy(f.at.begin(), f.at.end(), at.begin());
        return;
      }
    }
  }
  // Each column is tried first against the name after the last one matched, so names listed
  // in the result's order are found at the first comparison.
  size_t next = 0;
  for (size_t c = 0; c < names_.size(); ++c) {
    const std::string& column = names_[c];
    for (size_t n = 0, k = next; n < wanted.size(); ++n, k = k + 1 == wanted.size() ? 0 : k + 1) {
      if (column.size() != wanted[k].size() || !EqualsNoCase(column, wanted[k])) continue;
      if (at[k] < 0) at[k] = static_cast<int32_t>(c);
      next = k + 1 == wanted.size() ? 0 : k + 1;
      break;
    }
  }
  // A handful of lists per statement is what the look-ups ask; more are matched every time.
  constexpr size_t kRemembered = 4;
  std::lock_guard lock(mutex_);
  if (found_.size() < kRemembered)
    found_.push_back({{wanted.begin(), wanted.end()}, {at.begin(), at.end()}});
}

}  // namespace tamsel::detail
