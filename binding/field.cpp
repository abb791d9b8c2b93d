#include "binding/field.h"

#include <cstring>
#include <limits>

#include "binding/error.h"
#include "binding/table.h"

namespace binding {
namespace {

// Day 0 of the program's dates (30 December 1899) in the database's day count.
constexpr std::int32_t kDateOffset = 15018;
constexpr std::int32_t kTimeUnitsPerSecond = ISC_TIME_SECONDS_PRECISION;

template <typename T>
T load(const char* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

template <typename T>
void save(char* data, T value) {
    std::memcpy(data, &value, sizeof value);
}

// The scaled whole number held in an integer slot of any width; false for other slots.
bool loadWhole(short sqltype, const char* data, std::int64_t& value) {
    switch (sqltype) {
        case SQL_SHORT:
            value = load<ISC_SHORT>(data);
            return true;
        case SQL_LONG:
            value = load<ISC_LONG>(data);
            return true;
        case SQL_INT64:
            value = load<ISC_INT64>(data);
            return true;
        default:
            return false;
    }
}

}  // namespace

Field::Field(std::string name, std::string fieldName, FieldKind kind, int size, bool required)
    : name_(std::move(name)),
      fieldName_(std::move(fieldName)),
      kind_(kind),
      size_(size),
      required_(required) {}

bool Field::isNull() const {
    table_->checkActive();
    return table_->columnNull(column_);
}

std::int32_t Field::asInteger() const {
    if (isNull()) return 0;
    const auto& column = table_->liveColumn(column_);
    const char* data = table_->columnData(column_);
    std::int64_t value = 0;
    if (!loadWhole(column.sqltype, data, value))
        throw Error("Field '" + fieldName_ + "' is not an integer");
    for (short s = column.sqlscale; s < 0; ++s) value /= 10;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw Error(tableMessage(table_->componentName(),
                                 "Value of field '" + fieldName_ + "' is out of range"));
    return static_cast<std::int32_t>(value);
}

FixedPoint Field::asFixedPoint() const {
    if (isNull()) return 0;
    const auto& column = table_->liveColumn(column_);
    const char* data = table_->columnData(column_);
    if (column.sqltype == SQL_INT64 && column.sqlscale == kFixedPointScale)
        return load<ISC_INT64>(data);
    std::int64_t value = 0;
    if (!loadWhole(column.sqltype, data, value))
        throw Error("Field '" + fieldName_ + "' is not a number");
    short scale = column.sqlscale;
    for (; scale > kFixedPointScale; --scale) {
        if (__builtin_mul_overflow(value, 10, &value))
            throw Error(tableMessage(table_->componentName(),
                                     "Value of field '" + fieldName_ + "' is out of range"));
    }
    for (; scale < kFixedPointScale; ++scale) value /= 10;
    return value;
}

std::string Field::asString() const {
    if (isNull()) return {};
    const auto& column = table_->liveColumn(column_);
    const char* data = table_->columnData(column_);
    switch (column.sqltype) {
        case SQL_VARYING:
            return std::string(data + 2, load<unsigned short>(data));
        case SQL_TEXT:
            return std::string(data, static_cast<std::size_t>(column.sqllen));
        case SQL_SHORT:
        case SQL_LONG:
            return std::to_string(asInteger());
        default:
            throw Error("Field '" + fieldName_ + "' is not text");
    }
}

std::int32_t Field::asDate() const {
    if (isNull()) return 0;
    const auto& column = table_->liveColumn(column_);
    if (column.sqltype == SQL_TIMESTAMP)
        return load<ISC_TIMESTAMP>(table_->columnData(column_)).timestamp_date - kDateOffset;
    if (column.sqltype != SQL_TYPE_DATE) throw Error("Field '" + fieldName_ + "' is not a date");
    return load<ISC_DATE>(table_->columnData(column_)) - kDateOffset;
}

void Field::setInteger(std::int32_t value) {
    const auto& column = table_->liveColumn(column_);
    if (column.sqlscale != 0) throw Error("Field '" + fieldName_ + "' is not an integer");
    switch (column.sqltype) {
        case SQL_SHORT:
            if (value < std::numeric_limits<ISC_SHORT>::min() ||
                value > std::numeric_limits<ISC_SHORT>::max())
                throw Error(tableMessage(table_->componentName(),
                                         "Value of field '" + fieldName_ + "' is out of range"));
            save(table_->beginWrite(column_), static_cast<ISC_SHORT>(value));
            return;
        case SQL_LONG:
            save(table_->beginWrite(column_), static_cast<ISC_LONG>(value));
            return;
        case SQL_INT64:
            save(table_->beginWrite(column_), static_cast<ISC_INT64>(value));
            return;
        default:
            throw Error("Field '" + fieldName_ + "' is not an integer");
    }
}

void Field::setFixedPoint(FixedPoint value) {
    const auto& column = table_->liveColumn(column_);
    if (column.sqltype != SQL_INT64 || column.sqlscale != kFixedPointScale)
        throw Error("Field '" + fieldName_ + "' is not a fixed-point field");
    save(table_->beginWrite(column_), static_cast<ISC_INT64>(value));
}

void Field::setString(std::string_view value) {
    const auto& column = table_->liveColumn(column_);
    if (column.sqltype != SQL_VARYING) throw Error("Field '" + fieldName_ + "' is not text");
    std::size_t length = value.size();
    if (size_ > 0) length = std::min(length, static_cast<std::size_t>(size_));
    length = std::min(length, static_cast<std::size_t>(column.sqllen));
    if (length == 0) {
        setNull();
        return;
    }
    char* data = table_->beginWrite(column_);
    save(data, static_cast<unsigned short>(length));
    std::memcpy(data + 2, value.data(), length);
}

void Field::setDate(std::int32_t daysSince1899) {
    const auto& column = table_->liveColumn(column_);
    const auto day = static_cast<ISC_DATE>(daysSince1899 + kDateOffset);
    if (column.sqltype == SQL_TIMESTAMP) {
        save(table_->beginWrite(column_), ISC_TIMESTAMP{day, 0});
        return;
    }
    if (column.sqltype != SQL_TYPE_DATE) throw Error("Field '" + fieldName_ + "' is not a date");
    save(table_->beginWrite(column_), day);
}

void Field::setTime(std::int32_t millisecondsOfDay) {
    const auto& column = table_->liveColumn(column_);
    const auto seconds = static_cast<ISC_TIME>(millisecondsOfDay / 1000);
    const auto time = static_cast<ISC_TIME>(seconds * kTimeUnitsPerSecond);
    if (column.sqltype == SQL_TIMESTAMP) {
        // A time of day kept as a timestamp sits on the program's day 0.
        save(table_->beginWrite(column_), ISC_TIMESTAMP{kDateOffset, time});
        return;
    }
    if (column.sqltype != SQL_TYPE_TIME) throw Error("Field '" + fieldName_ + "' is not a time");
    save(table_->beginWrite(column_), time);
}

void Field::setNull() {
    table_->beginWrite(column_);
    table_->setColumnNull(column_);
}

}  // namespace binding
