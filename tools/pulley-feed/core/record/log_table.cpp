// The kinds of field the logs hold, and the reading of rows by their shape.
#include "record/log_table.h"

#include <cstdio>
#include <cstring>

#include "formats/reading_json.h"
#include "reading/payout_rate.h"
#include "reading/utc_time.h"
#include "tool_args.h"

// An optional value's field: empty when there is none.
template <typename Value, const FieldKind<Value>& Kind>
static constexpr FieldKind<std::optional<Value>> Optional(Column column)
{
    return {column, Kind.json,
            [](const std::optional<Value>& value) { return value ? Kind.Write(*value) : std::string(); },
            [](const std::string& text, std::optional<Value>& value) {
                if (text.empty()) {
                    value.reset();
                    return true;
                }
                return Kind.Read(text, value.emplace());
            }};
}

static std::string WriteTime(const int64_t& utcMs)
{
    return IsoTimeText(UtcFromUnixMs(utcMs));
}

static bool ReadTime(const std::string& text, int64_t& utcMs)
{
    return !text.empty() && text.back() == 'Z' && ParseIsoTime(text.substr(0, text.size() - 1).c_str(), utcMs);
}

static bool ReadWhole(const std::string& text, int32_t& value)
{
    long long number = 0;
    if (!ParseWholeNumber(text.c_str(), number) || number < INT32_MIN || number > INT32_MAX)
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

static bool ReadDecimal(const std::string& text, double& value)
{
    return ParseDecimal(text.c_str(), value);
}

static std::string Written(const char* format, double value)
{
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

static std::string WriteText(const std::string& text)
{
    return text;
}

static bool ReadText(const std::string& text, std::string& value)
{
    value = text;
    return true;
}

// Each kind is made before anything runs (constexpr): the logs' tables,
// made at start, copy their column and JSON.
constexpr FieldKind<int64_t> TimeField = {Column::Time, JsonAs::String, WriteTime, ReadTime};
constexpr FieldKind<std::optional<int64_t>> OptionalTimeField = Optional<int64_t, TimeField>(Column::OptionalTime);
constexpr FieldKind<int32_t> WholeField = {Column::Whole, JsonAs::Number,
                                       [](const int32_t& value) { return std::to_string(value); }, ReadWhole};
constexpr FieldKind<std::optional<int32_t>> OptionalWholeField = Optional<int32_t, WholeField>(Column::OptionalWhole);
constexpr FieldKind<double> TenthsField = {Column::Decimal, JsonAs::Number,
                                       [](const double& value) { return Written("%.1f", value); }, ReadDecimal};
static constexpr FieldKind<double> RateField = {
    Column::Decimal, JsonAs::Number, [](const double& value) { return RateText(value); }, ReadDecimal};
constexpr FieldKind<std::optional<double>> OptionalRateField = Optional<double, RateField>(Column::OptionalDecimal);
static constexpr FieldKind<double> DecimalField = {Column::Decimal, JsonAs::Number,
                                               [](const double& value) { return Written("%.10g", value); },
                                               ReadDecimal};
constexpr FieldKind<std::optional<double>> OptionalDecimalField = Optional<double, DecimalField>(Column::OptionalDecimal);
constexpr FieldKind<std::string> WordField = {Column::Word, JsonAs::String, WriteText, ReadText};
constexpr FieldKind<std::string> NameField = {Column::Name, JsonAs::String, WriteText, ReadText};
constexpr FieldKind<std::string> TextField = {Column::Text, JsonAs::String, WriteText, ReadText};

static std::string WriteQuoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text)
        quoted.append(c == '"' ? "\"\"" : std::string(1, c));
    return quoted + "\"";
}

static bool ReadQuoted(const std::string& text, std::string& value)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    value.clear();
    for (size_t i = 1; i + 1 < text.size(); i++) {
        if (text[i] == '"' && (i + 2 >= text.size() || text[++i] != '"'))
            return false;  // a lone quote inside
        value += text[i];
    }
    return true;
}

constexpr FieldKind<std::string> QuotedTextField = {Column::Text, JsonAs::String, WriteQuoted, ReadQuoted};

bool IsFieldName(const std::string& text)
{
    if (text.size() > 64)
        return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == ',' || c == '"')
            return false;
    return true;
}

std::string JsonField(JsonAs json, const std::string& text)
{
    double number = 0;
    if (text.empty())
        return "null";
    if (json == JsonAs::Number && ParseDecimal(text.c_str(), number))
        return DecimalText(number);
    return JsonString(text);
}

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
                    column == Column::OptionalDecimal || column == Column::Name || column == Column::Text;
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
    case Column::Name: return IsFieldName(text);
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
    bool number = shape[0] == Column::Whole || shape[0] == Column::OptionalWhole || shape[0] == Column::Decimal ||
                  shape[0] == Column::OptionalDecimal;
    if (fields.size() == 1 && number)
        return RowKind::Foreign;
    return FieldFits(shape[checked], fields[checked], false) ? RowKind::Torn : RowKind::Foreign;
}
