// casts.csv's table.
#include "record/cast_rows.h"

const LogTable<CastRecord> CastTable = {
    ColumnOf<&CastRecord::number, WholeField>("cast"),
    ColumnOf<&CastRecord::startUtcMs, TimeField>("start_utc"),
    ColumnOf<&CastRecord::endUtcMs, OptionalTimeField>("end_utc"),
    ColumnOf<&CastRecord::durationSeconds, TenthsField>("duration_s"),
    ColumnOf<&CastRecord::maxMetres, WholeField>("max_wire_out_m"),
    ColumnOf<&CastRecord::maxUtcMs, TimeField>("max_utc"),
    ColumnOf<&CastRecord::maxRateOut, TenthsField>("max_rate_out_m_per_min"),
    ColumnOf<&CastRecord::maxRateIn, TenthsField>("max_rate_in_m_per_min"),
    ColumnOf<&CastRecord::notes, TextField>("notes"),
};

const char OpenCastNote[] = "open";
