// A field object: one column of a table's current row, read and written in the form
// the stock work needs (integers, fixed-point decimals, text, dates and times). It has
// no storage of its own; its table owns the row buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "binding/fixed_point.h"

namespace binding {

class Table;

enum class FieldKind { Integer, Fixed, String, Date, Time, Other };

class Field {
  public:
    // `size` is the number of characters of a string field and the number of decimals of
    // a fixed-point field; 0 otherwise.
    Field(std::string name, std::string fieldName, FieldKind kind, int size, bool required);

    const std::string& name() const { return name_; }
    const std::string& fieldName() const { return fieldName_; }
    FieldKind kind() const { return kind_; }
    int size() const { return size_; }
    bool required() const { return required_; }

    bool isNull() const;
    // A null column reads as 0, or as an empty text.
    std::int32_t asInteger() const;
    FixedPoint asFixedPoint() const;
    std::string asString() const;
    // Days since 30 December 1899.
    std::int32_t asDate() const;

    void setInteger(std::int32_t value);
    void setFixedPoint(FixedPoint value);
    // Keeps at most `size` characters; an empty text is stored as null.
    void setString(std::string_view value);
    void setDate(std::int32_t daysSince1899);
    // Milliseconds since midnight; the database keeps whole seconds.
    void setTime(std::int32_t millisecondsOfDay);
    void setNull();

  private:
    friend class Table;

    // Constant after construction
    const std::string name_;
    const std::string fieldName_;
    const FieldKind kind_;
    const int size_;
    const bool required_;

    // Set while the table is open
    Table* table_ = nullptr;
    int column_ = -1;
};

}  // namespace binding
