// events.csv's table, the reading an event carries, and the last station.
#include "record/events.h"

#include "record/row_files.h"

const LogTable<EventRow> EventTable = {
    ColumnOf<&EventRow::utcMs, TimeField>("utc"),
    ColumnOf<&EventRow::kind, WordField>("kind"),
    ColumnOf<&EventRow::cruise, NameField>("cruise"),
    ColumnOf<&EventRow::station, NameField>("station"),
    ColumnOf<&EventRow::cast, OptionalWholeField>("cast"),
    ColumnOf<&EventRow::metres, OptionalWholeField>("metres"),
    ColumnOf<&EventRow::rate, OptionalRateField>("rate_m_per_min"),
    ColumnOf<&EventRow::status, WordField>("status"),
    ColumnOf<&EventRow::source, NameField>("source"),
    ColumnOf<&EventRow::text, TextField>("text"),
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

std::string LastStation(const LogFileOps& files, const std::string& folder)
{
    std::string station;
    LogFile file = files.OpenToRead(files.context, FilePath(folder, EventsFileName));
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
