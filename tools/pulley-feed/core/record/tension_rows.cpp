// The tension files' table and names.
#include "record/tension_rows.h"

#include <cstdio>

const LogTable<TensionRow> TensionTable = {
    ColumnOf<&TensionRow::utcMs, TimeField>("utc", "UTC, ISO 8601", "when the line came (the feed's clock)"),
    ColumnOf<&TensionRow::tension, OptionalDecimalField>("tension", "as unit says", "the line's tension"),
    ColumnOf<&TensionRow::unit, WordField>("unit", "", "lbf, kgf or kN, as the load cell sends it"),
    ColumnOf<&TensionRow::line, QuotedTextField>("line", "", "the load cell's line as it came, its control bytes left out"),
};

std::string TensionFileName(const UtcTime& day)
{
    char name[32];
    std::snprintf(name, sizeof name, "tension-%04d-%02d-%02d.csv", day.year, day.month, day.day);
    return name;
}
