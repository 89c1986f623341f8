// events.csv's table, the reading an event carries, and the last station.
#include "record/events.h"

#include "record/row_files.h"

const LogTable<EventRow> EventTable = {
    ColumnOf<&EventRow::utcMs, TimeField>("utc", "UTC, ISO 8601", "when it happened"),
    ColumnOf<&EventRow::kind, WordField>("kind", "",
                                         "mark, station, alarm-raised, alarm-cleared, alarm-acknowledged, cast-start, "
                                         "cast-end, wire"),
    ColumnOf<&EventRow::cruise, NameField>("cruise", "", "the cruise"),
    ColumnOf<&EventRow::station, NameField>("station", "", "the station"),
    ColumnOf<&EventRow::cast, OptionalWholeField>("cast", "", "the cast under way, started or ended"),
    ColumnOf<&EventRow::metres, OptionalWholeField>("metres", "m",
                                                    "cable out at that moment: only from a valid reading at most 2 s old"),
    ColumnOf<&EventRow::rate, OptionalRateField>("rate_m_per_min", "m/min", "payout rate at that moment"),
    ColumnOf<&EventRow::status, WordField>("status", "", "that reading's status, or stale"),
    ColumnOf<&EventRow::source, NameField>("source", "", "local, pulley-remote, or the LAN address that wrote it"),
    ColumnOf<&EventRow::text, TextField>("text", "", "the mark's words, the alarm, the wire entry"),
};

const char EventsFileName[] = "events.csv";

const char MarkEvent[] = "mark", StationEvent[] = "station", AlarmRaisedEvent[] = "alarm-raised",
           AlarmClearedEvent[] = "alarm-cleared", AlarmAcknowledgedEvent[] = "alarm-acknowledged",
           CastStartEvent[] = "cast-start", CastEndEvent[] = "cast-end", WireEvent[] = "wire";

void StampReading(EventRow& row, const TimedReading* latest, const PayoutRate& rate, int64_t nowMs)
{
    row.metres.reset();
    row.rate.reset();
    if (latest == nullptr) {
        row.status = StatusWord(FeedStatus::NotYetRead);
        return;
    }
    bool fresh = nowMs - latest->monotonicMs <= EventReadingMostMs;
    row.status = fresh ? StatusWord(latest->reading.status) : "stale";
    if (!fresh || latest->reading.status != FeedStatus::Valid)
        return;
    row.metres = latest->reading.metres;
    if (RateKnown(rate))
        row.rate = MetresPerMinute(rate);
}

std::string LastStation(const LogFileOps& files, const std::string& path)
{
    std::string station;
    LogFile file = files.OpenToRead(files.context, path);
    int64_t size = 0;
    if (file == nullptr)
        return station;
    if (files.Size(files.context, file, size))
        ReadLines(files, file, size, [&station](const std::string& line, int64_t, int64_t) {
            EventRow row;
            if (ReadRow(EventTable, line, row) && row.kind == StationEvent)
                station = row.station;
        });
    files.Close(files.context, file);
    return station;
}
