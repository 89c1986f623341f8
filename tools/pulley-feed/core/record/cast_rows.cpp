// casts.csv's table.
#include "record/cast_rows.h"

const LogTable<CastRecord> CastTable = {
    ColumnOf<&CastRecord::number, WholeField>("cast", "", "the cast's number"),
    ColumnOf<&CastRecord::startUtcMs, TimeField>("start_utc", "UTC, ISO 8601", "when the cable passed the start depth"),
    ColumnOf<&CastRecord::endUtcMs, OptionalTimeField>("end_utc", "UTC, ISO 8601",
                                                       "when it came back to it; empty while under way"),
    ColumnOf<&CastRecord::durationSeconds, TenthsField>("duration_s", "s", "how long it lasted (monotonic clock)"),
    ColumnOf<&CastRecord::maxMetres, WholeField>("max_wire_out_m", "m", "the most cable out"),
    ColumnOf<&CastRecord::maxUtcMs, TimeField>("max_utc", "UTC, ISO 8601", "when it reached the most"),
    ColumnOf<&CastRecord::maxLeftUtcMs, OptionalTimeField>("max_left_utc", "UTC, ISO 8601",
                                                           "when it left the most; empty while there"),
    ColumnOf<&CastRecord::maxRateOut, TenthsField>("max_rate_out_m_per_min", "m/min", "fastest payout"),
    ColumnOf<&CastRecord::maxRateIn, TenthsField>("max_rate_in_m_per_min", "m/min", "fastest haul-in"),
    ColumnOf<&CastRecord::cruise, NameField>("cruise", "", "the cruise when it started"),
    ColumnOf<&CastRecord::station, NameField>("station", "", "the station when it started"),
    ColumnOf<&CastRecord::maxTension, OptionalDecimalField>("max_tension", "as tension_unit says",
                                                            "the most tension, from every line of the load cell"),
    ColumnOf<&CastRecord::tensionUnit, NameField>("tension_unit", "", "lbf, kgf or kN, as the load cell sends it"),
    ColumnOf<&CastRecord::maxTensionWireOut, OptionalWholeField>("max_tension_wire_out_m", "m",
                                                                 "the wire out at the most tension"),
    ColumnOf<&CastRecord::maxTensionWireIn, OptionalDecimalField>("max_tension_wire_in_m", "m",
                                                                  "the wire in then: the cable's length less that"),
    ColumnOf<&CastRecord::notes, TextField>("notes", "",
                                            "open while under way; incomplete; tow-yos; Tension Warning or Tension "
                                            "Alarm; a person's"),
};

const LogTable<CastRecord> CastTableWithoutCruise = {
    CastTable[0], CastTable[1], CastTable[2], CastTable[3], CastTable[4], CastTable[5], CastTable[7], CastTable[8],
    CastTable[15],
};

const LogTable<CastRecord> CastTableWithoutTension = {
    CastTable[0], CastTable[1], CastTable[2], CastTable[3], CastTable[4], CastTable[5],
    CastTable[6], CastTable[7], CastTable[8], CastTable[9], CastTable[10], CastTable[15],
};

bool ReadCastRow(const std::string& row, CastRecord& cast)
{
    CastRecord read;
    for (const LogTable<CastRecord>* table : {&CastTable, &CastTableWithoutTension, &CastTableWithoutCruise})
        if (ReadRow(*table, row, read = CastRecord{})) {
            cast = read;
            return true;
        }
    return false;
}

const char CastsFileName[] = "casts.csv";
const char OpenCastNote[] = "open";
const char TensionWarningNote[] = "Tension Warning", TensionAlarmNote[] = "Tension Alarm";
