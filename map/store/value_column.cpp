#include "map/store/value_column.h"

namespace bramlotte::store {
namespace {

template <typename T>
void permute(std::vector<T>& values, const std::vector<size_t>& order) {
    std::vector<T> out;
    out.reserve(order.size());
    for (size_t i : order) {
        out.push_back(values[i]);
    }
    values.swap(out);
}

// One key per distinct value: its type and its text.
QString keyOf(const QVariant& v) {
    return QString::number(static_cast<int>(v.type())) + QLatin1Char(':') + v.toString();
}

}  // namespace

ValueColumn ValueColumn::unread() {
    ValueColumn column(false);
    column.read_ = false;
    return column;
}

void ValueColumn::reserve(size_t rows) {
    if (!read_) {
        return;
    }
    if (integers_) {
        numbers_.reserve(rows);
        nulls_.reserve(rows);
    } else {
        codes_.reserve(rows);
    }
}

uint32_t ValueColumn::codeOf(const QVariant& value) {
    if (value.isNull()) {
        return 0;
    }
    if (value.type() == QVariant::String) {
        bool added = false;
        const auto code = codeByText_.find(
            *static_cast<const QString*>(value.constData()),
            static_cast<uint32_t>(distinct_.size()),
            [this](uint32_t c) -> const QString& {
                return *static_cast<const QString*>(distinct_[c].constData());
            },
            added);
        if (added) {
            distinct_.push_back(value);
        }
        return code;
    }
    const QString key = keyOf(value);
    auto it = codeByKey_.constFind(key);
    if (it != codeByKey_.constEnd()) {
        return it.value();
    }
    const auto code = static_cast<uint32_t>(distinct_.size());
    distinct_.push_back(value);
    codeByKey_.insert(key, code);
    return code;
}

void ValueColumn::append(const QVariant& value) {
    if (integers_) {
        numbers_.push_back(value.isNull() ? 0 : value.toLongLong());
        nulls_.push_back(value.isNull());
    } else if (plain_) {
        plainValues_.push_back(value);
    } else {
        codes_.push_back(codeOf(value));
    }
}

uint32_t ValueColumn::appendCoded(const QVariant& value) {
    const uint32_t code = codeOf(value);
    codes_.push_back(code);
    return code;
}

void ValueColumn::append(ValueColumn&& tail) {
    if (!read_ || !tail.read_) {
        *this = unread();  // the rows of one part only would misplace every value
        return;
    }
    if (integers_ && tail.integers_) {
        numbers_.insert(numbers_.end(), tail.numbers_.begin(), tail.numbers_.end());
        nulls_.insert(nulls_.end(), tail.nulls_.begin(), tail.nulls_.end());
        return;
    }
    if (!integers_ && !plain_ && !tail.integers_ && !tail.plain_) {
        // Each distinct value of the tail is coded here once.
        std::vector<uint32_t> codeFor(tail.distinct_.size(), 0);
        for (size_t c = 1; c < tail.distinct_.size(); ++c) {
            codeFor[c] = codeOf(tail.distinct_[c]);
        }
        codes_.reserve(codes_.size() + tail.codes_.size());
        for (const uint32_t c : tail.codes_) {
            codes_.push_back(codeFor[c]);
        }
        return;
    }
    for (size_t row = 0; row < tail.rowCount(); ++row) {
        append(tail.at(row));
    }
}

size_t ValueColumn::rowCount() const {
    return integers_ ? numbers_.size() : plain_ ? plainValues_.size() : codes_.size();
}

QVariant ValueColumn::at(size_t row) const {
    if (integers_) {
        return nulls_[row] ? QVariant(QVariant::LongLong) : QVariant(numbers_[row]);
    }
    return plain_ ? plainValues_[row] : distinct_[codes_[row]];
}

void ValueColumn::set(size_t row, const QVariant& value) {
    if (integers_) {
        numbers_[row] = value.isNull() ? 0 : value.toLongLong();
        nulls_[row] = value.isNull();
    } else if (plain_) {
        plainValues_[row] = value;
    } else {
        codes_[row] = codeOf(value);
    }
}

void ValueColumn::setMany(const std::vector<bool>& written, std::vector<QVariant>&& values) {
    if (!integers_ && !plain_) {
        std::vector<QVariant> plain;
        plain.reserve(codes_.size());
        for (size_t row = 0; row < codes_.size(); ++row) {
            plain.push_back(row < written.size() && written[row] ? std::move(values[row])
                                                                 : at(row));
        }
        plainValues_.swap(plain);
        plain_ = true;
        codes_ = {};
        distinct_ = {QVariant()};
        codeByText_ = {};
        codeByKey_.clear();
        return;
    }
    for (size_t row = 0; row < written.size(); ++row) {
        if (written[row]) {
            set(row, values[row]);
        }
    }
}

void ValueColumn::reorder(const std::vector<size_t>& order) {
    if (!read_) {
        return;
    }
    if (integers_) {
        permute(numbers_, order);
        std::vector<bool> nulls;
        nulls.reserve(order.size());
        for (size_t i : order) {
            nulls.push_back(nulls_[i]);
        }
        nulls_.swap(nulls);
    } else if (plain_) {
        permute(plainValues_, order);
    } else {
        permute(codes_, order);
    }
}

}  // namespace bramlotte::store
