#include "row_shapes.h"

#include <cstring>

const RowShape DayRowShape = {Column::Time, Column::OptionalWhole, Column::Word, Column::OptionalDecimal,
                              Column::OptionalDecimal, Column::Text};
const RowShape CastRowShape = {Column::Whole,   Column::Time,    Column::OptionalTime,
                               Column::Decimal, Column::Whole,   Column::Time,
                               Column::Decimal, Column::Decimal, Column::Text};

std::vector<std::string> SplitFields(const std::string& row)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma; (comma = row.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(row.substr(start, comma - start));
    fields.push_back(row.substr(start));
    return fields;
}

// Each character of a time, by the class it belongs to: '0' a digit, any
// other itself.
static const char TimePattern[] = "0000-00-00T00:00:00.000Z";

static bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

static bool TimeSoFar(const std::string& text)
{
    if (text.size() > std::strlen(TimePattern))
        return false;
    for (size_t i = 0; i < text.size(); i++)
        if (TimePattern[i] == '0' ? !IsDigit(text[i]) : text[i] != TimePattern[i])
            return false;
    return true;
}

// -?digits(.digits)?, the digits perhaps not all there yet.
static bool NumberSoFar(const std::string& text, bool decimal, bool whole)
{
    size_t i = text.compare(0, 1, "-") == 0 ? 1 : 0, digits = 0, point = std::string::npos;
    for (; i < text.size(); i++) {
        if (IsDigit(text[i]))
            digits++;
        else if (decimal && text[i] == '.' && point == std::string::npos && digits > 0)
            point = i;
        else
            return false;
    }
    return !whole || (digits > 0 && (point == std::string::npos || point + 1 < text.size()));
}

// The field is of its column's kind; whole: all of it, or only its start.
static bool FieldFits(Column column, const std::string& text, bool whole)
{
    bool optional = column == Column::OptionalTime || column == Column::OptionalWhole ||
                    column == Column::OptionalDecimal || column == Column::Text;
    if (text.empty())
        return optional || !whole;
    switch (column) {
    case Column::Time:
    case Column::OptionalTime: return TimeSoFar(text) && (!whole || text.size() == std::strlen(TimePattern));
    case Column::Whole:
    case Column::OptionalWhole: return NumberSoFar(text, false, whole);
    case Column::Decimal:
    case Column::OptionalDecimal: return NumberSoFar(text, true, whole);
    case Column::Word: return text.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") == std::string::npos;
    case Column::Text: return true;
    }
    return false;
}

RowKind KindOfRow(const RowShape& shape, const std::string& row)
{
    std::string text = !row.empty() && row.back() == '\r' ? row.substr(0, row.size() - 1) : row;
    std::vector<std::string> fields = SplitFields(text);
    // The notes may hold commas of their own: they take what is left.
    bool all = fields.size() >= shape.size();
    size_t checked = all ? shape.size() - 1 : fields.size() - 1;
    for (size_t i = 0; i < checked; i++)
        if (!FieldFits(shape[i], fields[i], true))
            return RowKind::Foreign;
    if (all)
        return RowKind::Whole;
    // A number alone, without the comma after it, is as likely a person's
    // as the start of a row of ours: it is kept.
    bool number = shape[0] != Column::Time && shape[0] != Column::OptionalTime && shape[0] != Column::Text &&
                  shape[0] != Column::Word;
    if (fields.size() == 1 && number)
        return RowKind::Foreign;
    return FieldFits(shape[checked], fields[checked], false) ? RowKind::Torn : RowKind::Foreign;
}
