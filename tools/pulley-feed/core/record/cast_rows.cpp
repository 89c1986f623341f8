// casts.csv's table.
#include "record/cast_rows.h"

const LogTable<CastRecord> CastTable = {
    ColumnOf<&CastRecord::number, WholeField>("cast"),
    ColumnOf<&CastRecord::startUtcMs, TimeField>("start_utc"),
    ColumnOf<&CastRecord::endUtcMs, OptionalTimeField>("end_utc"),
    ColumnOf<&CastRecord::durationSeconds, TenthsField>("duration_s"),
    ColumnOf<&CastRecord::maxMetres, WholeField>("max_wire_out_m"),
    ColumnOf<&CastRecord::maxUtcMs, TimeField>("max_utc"),
    ColumnOf<&CastRecord::maxLeftUtcMs, OptionalTimeField>("max_left_utc"),
    ColumnOf<&CastRecord::maxRateOut, TenthsField>("max_rate_out_m_per_min"),
    ColumnOf<&CastRecord::maxRateIn, TenthsField>("max_rate_in_m_per_min"),
    ColumnOf<&CastRecord::cruise, NameField>("cruise"),
    ColumnOf<&CastRecord::station, NameField>("station"),
    ColumnOf<&CastRecord::notes, TextField>("notes"),
};

const LogTable<CastRecord> CastTableWithoutCruise = {
    CastTable[0], CastTable[1], CastTable[2], CastTable[3], CastTable[4], CastTable[5], CastTable[7], CastTable[8],
    CastTable[11],
};

bool ReadCastRow(const std::string& row, CastRecord& cast)
{
    CastRecord read;
    if (!ReadRow(CastTable, row, read) && !ReadRow(CastTableWithoutCruise, row, read = CastRecord{}))
        return false;
    cast = read;
    return true;
}

const char CastsFileName[] = "casts.csv";
const char OpenCastNote[] = "open";
