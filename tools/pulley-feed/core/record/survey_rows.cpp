// The survey row's table, and the rows a reading and a loss make.
#include "record/survey_rows.h"

#include <cstdio>

std::string LogFileName(const UtcTime& time)
{
    char name[32];
    std::snprintf(name, sizeof name, "pulley-%04d-%02d-%02d.csv", time.year, time.month, time.day);
    return name;
}

const LogTable<SurveyRow> SurveyTable = {
    ColumnOf<&SurveyRow::utcMs, TimeField>("utc", "UTC, ISO 8601", "when the reading was taken"),
    ColumnOf<&SurveyRow::metres, OptionalWholeField>("metres", "m",
                                                     "cable paid out, as the pulley counts it; empty without a count"),
    ColumnOf<&SurveyRow::status, WordField>(
        "status", "", "valid, or why the count is not to be trusted: no-reading, lost-link, not-connected, "
                      "no-display, no-data, no-port, test-value; dropped for rows that could not be kept"),
    ColumnOf<&SurveyRow::rate, OptionalRateField>(
        "rate_m_per_min", "m/min", "payout rate over the last 10 s, positive paying out; empty until known"),
    ColumnOf<&SurveyRow::wireLeft, OptionalDecimalField>("wire_left_m", "m",
                                                         "wire left on the drum; empty when not known"),
    ColumnOf<&SurveyRow::note, TextField>("note", "", "alarms raised and cleared, presets, rows dropped"),
};

const char DroppedStatus[] = "dropped";

SurveyRow SurveyRowOf(int64_t utcMs, const FeedReading& reading, const PayoutRate& rate,
                      std::optional<double> wireLeft, const std::string& note)
{
    return {.utcMs = utcMs,
            .metres = HasCount(reading) ? std::optional<int32_t>(reading.metres) : std::nullopt,
            .status = StatusWord(reading.status),
            .rate = RateKnown(rate) ? std::optional<double>(MetresPerMinute(rate)) : std::nullopt,
            .wireLeft = wireLeft,
            .note = note};
}

SurveyRow DroppedRow(int64_t firstUtcMs, int64_t lastUtcMs, uint64_t rows)
{
    return {.utcMs = firstUtcMs,
            .metres = std::nullopt,
            .status = DroppedStatus,
            .rate = std::nullopt,
            .wireLeft = std::nullopt,
            .note = std::to_string(rows) + " rows from " + IsoTimeText(UtcFromUnixMs(firstUtcMs)) + " to " +
                    IsoTimeText(UtcFromUnixMs(lastUtcMs)) + " could not be written"};
}
