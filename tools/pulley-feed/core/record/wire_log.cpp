// The wire log: its head, its table, and its rows from the casts and the book.
#include "record/wire_log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "formats/tension_lines.h"

#include "reading/utc_time.h"
#include "tool_args.h"

// A row of the wire log.
struct WireLogRow {
    int64_t utcMs = 0;
    std::string type, cruise;
    std::optional<int32_t> cast = std::nullopt;
    std::optional<double> cableLength = std::nullopt, maxTension = std::nullopt, tensionWireOut = std::nullopt,
                          tensionWireIn = std::nullopt;
    std::optional<int32_t> maxWireOut = std::nullopt;
    std::string notes = "";
};

// yyyy-mm-dd hh:mm:ss, which spreadsheets take as a date and time.
static std::string SpreadsheetTime(const int64_t& utcMs)
{
    UtcTime time = UtcFromUnixMs(utcMs);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                  time.minute, time.second);
    return text;
}

static constexpr FieldKind<int64_t> SpreadsheetTimeField = {Column::Text, JsonAs::String, SpreadsheetTime,
                                                            [](const std::string&, int64_t&) { return false; }};

static const LogTable<WireLogRow> WireLogTable = {
    ColumnOf<&WireLogRow::type, TextField>("Event Type"),
    ColumnOf<&WireLogRow::cruise, TextField>("Cruise #"),
    ColumnOf<&WireLogRow::utcMs, SpreadsheetTimeField>("Date"),
    ColumnOf<&WireLogRow::cast, OptionalWholeField>("Cast #"),
    ColumnOf<&WireLogRow::cableLength, OptionalDecimalField>("Cable Length (m)"),
    ColumnOf<&WireLogRow::maxTension, OptionalDecimalField>("Maximum Tension (lbf)"),
    ColumnOf<&WireLogRow::tensionWireOut, OptionalDecimalField>("MT Wire Out (m)"),
    ColumnOf<&WireLogRow::tensionWireIn, OptionalDecimalField>("MT Wire In (m)"),
    ColumnOf<&WireLogRow::maxWireOut, OptionalWholeField>("Max Wire Out (m)"),
    ColumnOf<&WireLogRow::notes, TextField>("Notes"),
};

// A field as CSV has it: quoted, its quotes doubled, where it holds a
// comma, a quote or a line end.
static std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

static std::string CsvRow(const std::vector<std::string>& fields)
{
    std::string row;
    for (const std::string& field : fields)
        row.append(row.empty() ? "" : ",").append(CsvField(field));
    return row + "\r\n";
}

static std::string Duration(double seconds)
{
    long long whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

// "install" is "Install", "cut-back" "Cut Back".
static std::string EventType(const std::string& event)
{
    std::string type;
    for (size_t i = 0; i < event.size(); i++)
        type += event[i] == '-' ? ' ' : (i == 0 || event[i - 1] == '-') ? static_cast<char>(event[i] - 'a' + 'A')
                                                                          : event[i];
    return type;
}

static std::string Joined(const std::vector<std::string>& parts)
{
    std::string joined;
    for (const std::string& part : parts)
        if (!part.empty())
            joined.append(joined.empty() ? "" : "; ").append(part);
    return joined;
}

// The cast's most tension in pounds-force, as the wire log's column has
// it, to a tenth; none without a tension source.
static std::optional<double> MaxTensionLbf(const CastRecord& cast)
{
    TensionUnit unit;
    if (!cast.maxTension || !ParseTensionUnit(cast.tensionUnit, unit))
        return std::nullopt;
    return std::round(TensionIn(TensionUnit::Lbf, NewtonsOf(*cast.maxTension, unit)) * 10) / 10;
}

static WireLogRow CastRow(const CastRecord& cast, const WireBook& book)
{
    return {.utcMs = cast.startUtcMs,
            .type = "Cast",
            .cruise = cast.cruise,
            .cast = cast.number,
            .cableLength = WireLengthAt(book, cast.startUtcMs),
            .maxTension = MaxTensionLbf(cast),
            .tensionWireOut = cast.maxTensionWireOut,
            .tensionWireIn = cast.maxTensionWireIn,
            .maxWireOut = cast.maxMetres,
            .notes = Joined({cast.station.empty() ? "" : "station " + cast.station,
                             "duration " + Duration(cast.durationSeconds),
                             "deepest " + SpreadsheetTime(cast.maxUtcMs) +
                                 (cast.maxLeftUtcMs ? " to " + SpreadsheetTime(*cast.maxLeftUtcMs) : ""),
                             cast.notes})};
}

static WireLogRow EntryRow(const WireEntry& entry, const WireBook& book)
{
    std::string metres = entry.metres ? DecimalText(*entry.metres) + " m" : "";
    return {.utcMs = entry.utcMs,
            .type = EventType(entry.event),
            .cruise = entry.cruise,
            .cableLength = WireLengthAt(book, entry.utcMs),
            .notes = Joined({entry.event == "cut-back" ? "cut back " + metres : "",
                             entry.nsfId.empty() ? "" : "NSF id " + entry.nsfId,
                             entry.partNumber.empty() ? "" : "part " + entry.partNumber,
                             entry.maker.empty() ? "" : "maker " + entry.maker, entry.note})};
}

std::string WireLogDescription(const std::string& kind)
{
    std::string text = "File format: " + kind +
                       "\r\nWhat: the wire log a technician hands in, in the UNOLS wire pool layout\r\n"
                       "File type: ASCII CSV: comma-separated values, quoted where a field holds a comma, lines ended "
                       "CR LF\r\nFiles: " + kind + "-YYYYMMDDThhmmssZ.csv, one for the cruise, written again as it goes"
                       "\r\nRecord format: a head of name,value rows (the wire's NSF id, part number, maker, "
                       "breaking load; the ship and the winch), a blank line, then one record a line: ";
    for (size_t i = 0; i < WireLogTable.size(); i++)
        text.append(i == 0 ? "" : ",").append(WireLogTable[i].name);
    return text + "\r\nExample record: Cast,AT50-12,2026-12-08 10:00:00,12,5950,,,,2480,station CTD 14; duration "
                  "01:37:52\r\nDates: yyyy-mm-dd hh:mm:ss, UTC. Tension columns empty without a tension source.\r\n";
}

std::string BuildWireLog(const WireLogHead& head, const std::vector<CastRecord>& casts, const WireBook& book,
                         int64_t sinceUtcMs)
{
    const WireEntry* wire = InstalledWire(book);
    std::string log;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"Tension Member NSF ID", wire ? wire->nsfId : ""},
             {"Part Number", wire ? wire->partNumber : ""},
             {"Manufacturer", wire ? wire->maker : ""},
             {"Breaking Load", wire && wire->breakingLoad ? DecimalText(*wire->breakingLoad) + " " + wire->loadUnit
                                                         : ""},
             {"Ship", head.ship},
             {"Winch", head.winch},
             {"Winch Model", head.winchModel},
             {"Winch Manufacturer", head.winchMaker},
             {"Winch Serial", head.winchSerial},
             {"Times", "UTC, yyyy-mm-dd hh:mm:ss"}})
        log += CsvRow({name, value});
    log += "\r\n" + HeaderOf(WireLogTable);
    std::vector<WireLogRow> rows;
    for (const CastRecord& cast : casts)
        if (cast.startUtcMs >= sinceUtcMs)
            rows.push_back(CastRow(cast, book));
    for (const WireEntry& entry : book.entries)
        if (entry.utcMs >= sinceUtcMs)
            rows.push_back(EntryRow(entry, book));
    std::stable_sort(rows.begin(), rows.end(), [](const WireLogRow& a, const WireLogRow& b) { return a.utcMs < b.utcMs; });
    for (const WireLogRow& row : rows) {
        std::vector<std::string> fields;
        for (const LogColumn<WireLogRow>& column : WireLogTable)
            fields.push_back(column.Write(row));
        log += CsvRow(fields);
    }
    return log;
}
