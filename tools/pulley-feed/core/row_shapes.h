// The rows pulley-feed's logs hold, column by column: enough to tell a row
// that a power cut tore from a whole one, and either from a row that a
// person typed into the file in a spreadsheet, which is theirs to keep.
// Portable.
#pragma once

#include <string>
#include <vector>

enum class Column {
    Time,            // 2026-12-08T10:00:00.000Z
    OptionalTime,    // a time, or empty
    Whole,           // a whole number, signed
    OptionalWhole,
    Decimal,         // 42.0, -3
    OptionalDecimal,
    Word,            // lower-case letters and hyphens: valid, lost-link
    Text,            // anything: the notes, always last
};
using RowShape = std::vector<Column>;
extern const RowShape DayRowShape;   // utc,metres,status,rate_m_per_min,wire_left_m,note
extern const RowShape CastRowShape;  // cast,start_utc,end_utc,duration_s,...,notes

std::vector<std::string> SplitFields(const std::string& row);

enum class RowKind {
    Whole,    // every column there, each of its kind
    Torn,     // the start of a row of this shape, past its first field: what a power cut leaves
    Foreign,  // neither: a header, a person's note
};
// The row without its line end (a CR left at its end is not counted).
RowKind KindOfRow(const RowShape& shape, const std::string& row);
