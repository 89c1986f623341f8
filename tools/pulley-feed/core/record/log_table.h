// A log file's columns in one table, from which its header, its rows, their
// reading back and their JSON are all made. Each column is named once (the
// header's text), with the field of the record it holds and the kind of
// field that is: the kind says how it is written, read back, told from
// what a power cut tore or a person typed, and given in JSON. Adding a
// column is one line in a table, and the code that fills its field.
// Portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a field holds, as the file has it.
enum class Column {
    Time,            // 2026-12-08T10:00:00.000Z
    OptionalTime,    // a time, or empty
    Whole,           // a whole number, signed
    OptionalWhole,
    Decimal,         // 42.0, -3
    OptionalDecimal,
    Word,            // lower-case letters and hyphens: valid, lost-link
    Name,            // an id or a name, or empty: printable, no comma (AT50-12, CTD 14)
    Text,            // anything: the notes, always last
};
using RowShape = std::vector<Column>;

// How a field goes into JSON; an empty field is null whatever its kind.
enum class JsonAs { Number, String };

// A kind of field, for one type of value: how it is written and read back.
template <typename Value>
struct FieldKind {
    Column column;
    JsonAs json;
    std::string (*Write)(const Value& value);
    bool (*Read)(const std::string& text, Value& value);  // false: no field of this kind
};
extern const FieldKind<int64_t> TimeField;                    // UTC ms
extern const FieldKind<std::optional<int64_t>> OptionalTimeField;
extern const FieldKind<int32_t> WholeField;
extern const FieldKind<std::optional<int32_t>> OptionalWholeField;
extern const FieldKind<double> TenthsField;                   // one decimal: 5872.3
extern const FieldKind<std::optional<double>> OptionalRateField;    // as RateText writes it
extern const FieldKind<std::optional<double>> OptionalDecimalField; // up to ten digits: 2964, 2963.5
extern const FieldKind<std::string> WordField;
extern const FieldKind<std::string> NameField;
extern const FieldKind<std::string> TextField;
// A text in quotes, as CSV has one that holds commas: a line of another
// device's, kept as it came, that spreadsheets read as one field.
extern const FieldKind<std::string> QuotedTextField;
// A name or id fits a Name field: up to 64 printable characters, no comma,
// quote or control character.
bool IsFieldName(const std::string& text);

// A column of a record's table: its name, the record's field it holds, and
// for the files' descriptions its units and what it means.
template <typename Record>
struct LogColumn {
    const char* name;
    Column column;
    JsonAs json;
    std::string (*Write)(const Record& record);
    bool (*Read)(const std::string& text, Record& record);
    const char* units;
    const char* meaning;
};
template <typename Record>
using LogTable = std::vector<LogColumn<Record>>;

template <typename Member>
struct MemberOf;
template <typename Record, typename Value>
struct MemberOf<Value Record::*> {
    using RecordType = Record;
    using ValueType = Value;
};

// The column named so, holding the field of the record (a member pointer)
// as the kind writes it: ColumnOf<&CastRecord::number, WholeField>("cast",
// "", "the cast's number").
template <auto Field, const auto& Kind>
LogColumn<typename MemberOf<decltype(Field)>::RecordType> ColumnOf(const char* name, const char* units = "",
                                                                   const char* meaning = "")
{
    using Record = typename MemberOf<decltype(Field)>::RecordType;
    return {name,
            Kind.column,
            Kind.json,
            [](const Record& record) { return Kind.Write(record.*Field); },
            [](const std::string& text, Record& record) { return Kind.Read(text, record.*Field); },
            units,
            meaning};
}

std::vector<std::string> SplitFields(const std::string& row);

enum class RowKind {
    Whole,    // every column there, each of its kind
    Torn,     // the start of a row of this shape, past its first field: what a power cut leaves
    Foreign,  // neither: a header, a person's note
};
// The row without its line end (a CR left at its end is not counted).
RowKind KindOfRow(const RowShape& shape, const std::string& row);
// A field as JSON: null when empty, a number as the shortest decimal that
// reads back as it, a string escaped.
std::string JsonField(JsonAs json, const std::string& text);

template <typename Record>
RowShape ShapeOf(const LogTable<Record>& table)
{
    RowShape shape;
    for (const LogColumn<Record>& column : table)
        shape.push_back(column.column);
    return shape;
}

// The header row, with its line end.
template <typename Record>
std::string HeaderOf(const LogTable<Record>& table)
{
    std::string header;
    for (const LogColumn<Record>& column : table)
        header.append(header.empty() ? "" : ",").append(column.name);
    return header + "\r\n";
}

// The record's row, with its line end.
template <typename Record>
std::string RowOf(const LogTable<Record>& table, const Record& record)
{
    std::string row;
    for (size_t i = 0; i < table.size(); i++)
        row.append(i == 0 ? "" : ",").append(table[i].Write(record));
    return row + "\r\n";
}

// A whole row of the table's, read back into the record (its line end, if
// any, not counted); false for any other row. The last column, the notes,
// takes what is left of the row, commas and all.
template <typename Record>
bool ReadRow(const LogTable<Record>& table, const std::string& line, Record& record)
{
    std::string row = line.substr(0, line.find_last_not_of("\r\n") + 1);
    if (KindOfRow(ShapeOf(table), row) != RowKind::Whole)
        return false;
    std::vector<std::string> fields = SplitFields(row);
    for (size_t more = table.size(); more < fields.size(); more++)
        fields[table.size() - 1] += "," + fields[more];
    for (size_t i = 0; i < table.size(); i++)
        if (!table[i].Read(fields[i], record))
            return false;
    return true;
}

// {"name":value,...}, each column by its name, as the file has it.
template <typename Record>
std::string RowJson(const LogTable<Record>& table, const Record& record)
{
    std::string json = "{";
    for (const LogColumn<Record>& column : table)
        json.append(json.size() > 1 ? ",\"" : "\"")
            .append(column.name)
            .append("\":")
            .append(JsonField(column.json, column.Write(record)));
    return json + "}";
}
