#include "log_rows.h"

#include <cstdio>

std::string LogFileName(const UtcTime& time)
{
    char name[32];
    std::snprintf(name, sizeof name, "pulley-%04d-%02d-%02d.csv", time.year, time.month, time.day);
    return name;
}

const char LogHeader[] = "utc,metres,status,rate_m_per_min,wire_left_m,note\r\n";

std::string BuildLogLine(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate,
                         const std::string& wireLeft, const std::string& note)
{
    std::string line = IsoTimeText(time) + ",";
    if (HasCount(reading))
        line.append(std::to_string(reading.metres));
    return line + "," + StatusWord(reading.status) + "," + RateText(rate) + "," + wireLeft + "," + note + "\r\n";
}

std::string BuildDroppedRow(int64_t firstUtcMs, int64_t lastUtcMs, uint64_t rows)
{
    std::string first = IsoTimeText(UtcFromUnixMs(firstUtcMs));
    return first + ",,dropped,,," + std::to_string(rows) + " rows from " + first + " to " +
           IsoTimeText(UtcFromUnixMs(lastUtcMs)) + " could not be written\r\n";
}
