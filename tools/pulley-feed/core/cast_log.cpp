#include "cast_log.h"

#include <algorithm>
#include <vector>

#include "tool_args.h"

const char CastHeader[] =
    "cast,start_utc,end_utc,duration_s,max_wire_out_m,max_utc,max_rate_out_m_per_min,max_rate_in_m_per_min,"
    "notes\r\n";

static const char IncompleteNote[] = "incomplete: the feed stopped during the cast";

// No cast lasts a year: a longer duration in an open row is not ours.
constexpr double MostCastSeconds = 366 * 86400.0;

// The open cast a stopped feed left, closed: its end the last reading it
// had, its duration as written (one no cast has ends it at its start).
static bool CloseLeftOpen(std::vector<std::string> fields, std::string& row)
{
    int64_t startMs = 0;
    double seconds = 0;
    std::string start = fields[1];
    start.pop_back();  // a whole row's time ends in Z
    if (!ParseIsoTime(start.c_str(), startMs) || !ParseDecimal(fields[3].c_str(), seconds))
        return false;
    if (!(seconds >= 0 && seconds <= MostCastSeconds))
        seconds = 0;
    fields[2] = IsoTimeText(UtcFromUnixMs(startMs + static_cast<int64_t>(seconds * 1000)));
    fields[8] = IncompleteNote;
    row.clear();
    for (const std::string& field : fields)
        row += (row.empty() ? "" : ",") + field;
    row += "\r\n";
    return true;
}

// Cast numbers go up to this; a higher one, typed by hand, is not numbered
// on from (the next would soon overflow).
constexpr long long MostCastNumber = 1000000;

// Where a row starts and ends in the file, and its fields.
struct FoundRow {
    int64_t at = -1, end = -1;
    std::vector<std::string> fields;
};

// The last cast row of ours in the file, the last open one (a person may
// have typed rows after it), and the highest cast number.
struct CastRowsFound {
    int highestNumber = 0;
    long long beyondNumbering = 0;  // the highest number typed beyond them, if any
    FoundRow last, open;
    CastList listed;
};

// A row a spreadsheet saved in a locale that writes ';' between fields and
// ',' in numbers, as ours: its cast number, or 0.
static long long NumberSavedWithSemicolons(std::string row)
{
    if (row.find(';') == std::string::npos)
        return 0;
    for (char& c : row)
        c = c == ',' ? '.' : c == ';' ? ',' : c;
    long long number = 0;
    if (KindOfRow(CastRowShape, row) != RowKind::Whole || !ParseWholeNumber(SplitFields(row)[0].c_str(), number))
        return 0;
    return number;
}

// Counts a row's number for the numbering, unless it is beyond it.
static void CountNumber(CastRowsFound& found, long long number)
{
    if (number > MostCastNumber)
        found.beyondNumbering = std::max(found.beyondNumbering, number);
    else if (number >= 1)
        found.highestNumber = std::max(found.highestNumber, static_cast<int>(number));
}

static bool FindCastRows(const CastLog& log, CastRowsFound& found)
{
    const LogFileOps& files = *log.files;
    constexpr int64_t ChunkBytes = 64 * 1024;
    std::string partial;
    std::vector<char> chunk(ChunkBytes);
    for (int64_t at = 0; at < log.length;) {
        int64_t count = std::min(ChunkBytes, log.length - at);
        if (files.ReadAt(files.context, log.file, at, chunk.data(), count) != count)
            return false;
        int64_t rowAt = at - static_cast<int64_t>(partial.size());
        partial.append(chunk.data(), static_cast<size_t>(count));
        at += count;
        size_t start = 0;
        for (size_t end; (end = partial.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string row = partial.substr(start, end - start);
            long long number = 0;
            std::vector<std::string> fields = SplitFields(row.substr(0, row.find_last_not_of('\r') + 1));
            if (KindOfRow(CastRowShape, row) != RowKind::Whole || !ParseWholeNumber(fields[0].c_str(), number) ||
                number < 1) {
                CountNumber(found, NumberSavedWithSemicolons(row));
                continue;
            }
            CountNumber(found, number);
            found.last = {rowAt + static_cast<int64_t>(start), rowAt + static_cast<int64_t>(end) + 1, fields};
            if (fields.size() == 9 && fields[8] == OpenCastNote)
                found.open = found.last;
            ListCast(found.listed, fields);
        }
        partial.erase(0, start);
    }
    return true;
}

// A feed stopped during a cast left its row open: closed as incomplete,
// the rows after it (a person's) kept.
static bool CloseCastLeftOpen(CastLog& log, const CastRowsFound& found, std::string& reason)
{
    const FoundRow& open = found.open;
    std::string row;
    if (open.at < 0 || !CloseLeftOpen(open.fields, row))
        return true;
    const LogFileOps& files = *log.files;
    std::string after(static_cast<size_t>(log.length - open.end), '\0');
    bool cutBack;
    if (files.ReadAt(files.context, log.file, open.end, after.data(), log.length - open.end) != log.length - open.end ||
        !files.Truncate(files.context, log.file, open.at)) {
        reason = files.LastError(files.context);
        return false;
    }
    if (!WriteWholeAt(files, log.file, open.at, row + after, reason, cutBack))
        return false;
    log.length = open.at + static_cast<int64_t>(row.size() + after.size());
    // Listed as closed now.
    for (std::vector<std::string>& listed : log.listed.closed)
        if (listed == open.fields)
            listed = SplitFields(row.substr(0, row.size() - 2));
    return true;
}

// Opens the file (made, with its folder, when missing); reopened on a file
// not as this log left it, reads it again for its open row.
static bool OpenCastFile(CastLog& log, bool reopening, CastRowsFound& found, std::string& reason)
{
    int64_t length = 0;
    if (!OpenRowFile(*log.files, log.folder, log.path, CastRowShape, CastHeader, reopening ? log.length : -1, log.file,
                     length, reason))
        return false;
    if (reopening && length == log.length)
        return true;
    log.length = length;
    log.openRowAt = -1;
    if (!FindCastRows(log, found)) {
        reason = log.files->LastError(log.files->context);
        CloseCastLog(log);
        return false;
    }
    return true;
}

bool OpenCastLog(CastLog& log, const LogFileOps& files, const std::string& folder, int& lastNumber,
                 std::string& reason)
{
    log = CastLog{.files = &files, .folder = folder, .path = folder + "\\casts.csv", .file = nullptr, .length = 0,
                  .openRowAt = -1};
    CastRowsFound found;
    if (!OpenCastFile(log, false, found, reason))
        return false;
    log.listed = found.listed;
    if (!CloseCastLeftOpen(log, found, reason)) {
        CloseCastLog(log);
        return false;
    }
    lastNumber = found.highestNumber;
    if (found.beyondNumbering > 0)
        log.notice = "casts.csv holds cast " + std::to_string(found.beyondNumbering) + ", beyond the numbering (up to " +
                     std::to_string(MostCastNumber) + "): the next cast is numbered " + std::to_string(lastNumber + 1);
    return true;
}

// Reopened on a file that is no longer the one this log left (a stick that
// came back with another copy), the open cast's row there is ours to write over.
static bool ReopenCastLog(CastLog& log, std::string& reason)
{
    CastRowsFound found;
    int64_t before = log.length;
    if (!OpenCastFile(log, true, found, reason))
        return false;
    if (log.length != before && found.open.at >= 0 && found.open.end == log.length)
        log.openRowAt = found.open.at;
    return true;
}

bool WriteCastRow(CastLog& log, const CastRow& row, std::string& reason)
{
    if (log.file == nullptr && !ReopenCastLog(log, reason))
        return false;
    const LogFileOps& files = *log.files;
    // A new open row replaces the old one; cut first (that row, or what a
    // failed write left), so that a power cut in between loses that row at
    // most.
    int64_t at = log.openRowAt >= 0 ? log.openRowAt : log.length;
    bool cutBack = true;
    if (!files.Truncate(files.context, log.file, at)) {
        reason = files.LastError(files.context);
        CloseCastLog(log);
        return false;
    }
    log.length = at;
    log.openRowAt = -1;
    if (!WriteWholeAt(files, log.file, at, row.text, reason, cutBack)) {
        if (!cutBack)
            CloseCastLog(log);
        return false;
    }
    log.length = at + static_cast<int64_t>(row.text.size());
    log.openRowAt = row.open ? at : -1;
    return true;
}

void CloseCastLog(CastLog& log)
{
    if (log.file != nullptr)
        log.files->Close(log.files->context, log.file);
    log.file = nullptr;
}
