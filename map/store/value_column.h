// The values of one field for every feature of a feature store, kept small:
// whole numbers inline, everything else as codes into the field's distinct
// values (street names and road classes repeat a great deal).
#pragma once

#include "support/base/text_numbers.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <vector>

namespace bramlotte::store {

class ValueColumn {
  public:
    // `integers` keeps whole numbers inline; other values are coded.
    explicit ValueColumn(bool integers) : integers_(integers) {}
    // A column whose values were not read: it holds no rows.
    static ValueColumn unread();
    bool isRead() const { return read_; }

    void reserve(size_t rows);
    void append(const QVariant& value);
    // For a column that codes its values (neither whole numbers nor written
    // whole): adds a row of `value` and returns its code, which appendCode
    // takes for a later row of the same value without looking it up again.
    uint32_t appendCoded(const QVariant& value);
    void appendCode(uint32_t code) { codes_.push_back(code); }
    bool coded() const { return !integers_ && !plain_; }
    // Adds the rows of `tail` after these.
    void append(ValueColumn&& tail);
    size_t rowCount() const;
    QVariant at(size_t row) const;
    // The code of the row's value (equal codes, equal values), or -1 for a
    // column that does not code its values.
    int64_t code(size_t row) const {
        return read_ && coded() ? static_cast<int64_t>(codes_[row]) : -1;
    }
    void set(size_t row, const QVariant& value);
    // Sets every row `written` marks to its value in `values`, taking the
    // values over. The column then holds its values as they are, uncoded: a
    // field written whole is an output of the build, whose texts seldom repeat.
    void setMany(const std::vector<bool>& written, std::vector<QVariant>&& values);
    // Rows in the order of `order` (positions of the current rows).
    void reorder(const std::vector<size_t>& order);

  private:
    uint32_t codeOf(const QVariant& value);

    bool integers_;
    bool read_ = true;
    // Whole numbers: the value and whether it is null.
    std::vector<qint64> numbers_;
    std::vector<bool> nulls_;
    // Other values: a code per row into the distinct values; 0 is null.
    std::vector<uint32_t> codes_;
    std::vector<QVariant> distinct_{QVariant()};
    support::TextNumbers codeByText_;     // text values, by far the commonest
    QHash<QString, uint32_t> codeByKey_;  // others, by type and text
    // Values as they are, once the column has been written whole.
    bool plain_ = false;
    std::vector<QVariant> plainValues_;
};

}  // namespace bramlotte::store
