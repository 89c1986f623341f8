// casts.csv on the disk: numbered on from the highest, an open row closed.
#include "record/cast_log.h"

#include <algorithm>
#include <vector>

#include "record/cruise_folder.h"

static const char IncompleteNote[] = "incomplete: the feed stopped during the cast";

// No cast lasts a year: a longer duration in an open row is not ours.
constexpr double MostCastSeconds = 366 * 86400.0;

// The open cast a stopped feed left, closed: its end the last reading it
// had, its duration as written (one no cast has ends it at its start).
static std::string ClosedLeftOpen(CastRecord cast)
{
    if (!(cast.durationSeconds >= 0 && cast.durationSeconds <= MostCastSeconds))
        cast.durationSeconds = 0;
    cast.endUtcMs = cast.startUtcMs + static_cast<int64_t>(cast.durationSeconds * 1000);
    cast.notes = IncompleteNote;
    return RowOf(CastTable, cast);
}

// Cast numbers go up to this; a higher one, typed by hand, is not numbered
// on from (the next would soon overflow).
constexpr int32_t MostCastNumber = 1000000;

// Where a row of ours starts and ends in the file, and what it holds.
struct FoundRow {
    int64_t at = -1, end = -1;
    CastRecord cast;
};

// The last cast row of ours in the file, the last open one (a person may
// have typed rows after it), and the highest cast number.
struct CastRowsFound {
    int32_t highestNumber = 0;
    int32_t beyondNumbering = 0;  // the highest number typed beyond it, if any
    FoundRow last, open;
    CastList listed;
};

// A row a spreadsheet saved in a locale that writes ';' between fields and
// ',' in numbers, as ours: its cast number, or 0.
static int32_t NumberSavedWithSemicolons(std::string row)
{
    if (row.find(';') == std::string::npos)
        return 0;
    for (char& c : row)
        c = c == ',' ? '.' : c == ';' ? ',' : c;
    CastRecord cast;
    return ReadCastRow(row, cast) ? cast.number : 0;
}

// Counts a row's number for the numbering, unless it is beyond it.
static void CountNumber(CastRowsFound& found, int32_t number)
{
    if (number > MostCastNumber)
        found.beyondNumbering = std::max(found.beyondNumbering, number);
    else if (number >= 1)
        found.highestNumber = std::max(found.highestNumber, number);
}

static bool FindCastRows(const CastLog& log, CastRowsFound& found)
{
    return ReadLines(*log.files, log.file, log.length, [&found](const std::string& row, int64_t at, int64_t end) {
        CastRecord cast;
        if (!ReadCastRow(row, cast) || cast.number < 1) {
            CountNumber(found, NumberSavedWithSemicolons(row));
            return;
        }
        CountNumber(found, cast.number);
        found.last = {at, end, cast};
        if (cast.notes == OpenCastNote)
            found.open = found.last;
        ListCast(found.listed, cast);
    });
}

// A feed stopped during a cast left its row open: closed as incomplete,
// the rows after it (a person's) kept.
static bool CloseCastLeftOpen(CastLog& log, const CastRowsFound& found, std::string& reason)
{
    const FoundRow& open = found.open;
    if (open.at < 0)
        return true;
    std::string row = ClosedLeftOpen(open.cast);
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
    for (CastRecord& listed : log.listed.closed)
        if (listed.number == open.cast.number && listed.startUtcMs == open.cast.startUtcMs)
            ReadCastRow(row, listed);
    return true;
}

// casts.csv as an earlier release left it: its header takes the new
// columns, in a copy put in its place at once, so that a power cut leaves
// the old file or the new. Its rows stay as they are, read by their own
// columns.
static bool UpgradeHeader(const CastLog& log, std::string& reason)
{
    const LogFileOps& files = *log.files;
    LogFile file = files.OpenToRead(files.context, log.path);
    if (file == nullptr)
        return true;
    int64_t size = 0;
    std::string text;
    bool read = files.Size(files.context, file, size);
    if (read) {
        text.resize(static_cast<size_t>(size));
        read = files.ReadAt(files.context, file, 0, text.data(), size) == size;
    }
    files.Close(files.context, file);
    std::string old;
    for (const LogTable<CastRecord>* table : {&CastTableWithoutCruise, &CastTableWithoutTension})
        if (text.compare(0, HeaderOf(*table).size(), HeaderOf(*table)) == 0)
            old = HeaderOf(*table);
    if (!read || old.empty()) {
        reason = read ? "" : files.LastError(files.context);
        return read;
    }
    std::string copy = TempFor(log.path);
    LogFile temp = files.Open(files.context, copy);
    bool cutBack = false;
    bool written = temp != nullptr && files.Truncate(files.context, temp, 0) &&
                   WriteWholeAt(files, temp, 0, HeaderOf(CastTable) + text.substr(old.size()), reason, cutBack);
    if (temp != nullptr)
        files.Close(files.context, temp);
    if (written && files.Replace(files.context, copy, log.path))
        return true;
    if (reason.empty())
        reason = files.LastError(files.context);
    return false;
}

// Opens the file (made, with its folder, when missing); reopened on a file
// not as this log left it, reads it again for its open row.
static bool OpenCastFile(CastLog& log, bool reopening, CastRowsFound& found, std::string& reason)
{
    int64_t length = 0;
    if (!reopening && !UpgradeHeader(log, reason))
        return false;
    if (!OpenRowFile(*log.files, log.path, ShapeOf(CastTable), HeaderOf(CastTable),
                     reopening ? log.length : -1, log.file, length, reason))
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
                 std::string& reason, const std::string& fileName)
{
    log = CastLog{.files = &files, .folder = folder, .path = FilePath(folder, fileName), .file = nullptr, .length = 0,
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

bool WriteCastRow(CastLog& log, const std::string& path, const std::string& row, bool open, std::string& reason)
{
    if (!path.empty() && FilePath(log.folder, path) != log.path) {  // another cruise's: that file from now on
        CloseCastLog(log);
        int lastNumber = 0;
        if (!OpenCastLog(log, *log.files, log.folder, lastNumber, reason, path))
            return false;
    }
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
    if (!WriteWholeAt(files, log.file, at, row, reason, cutBack)) {
        if (!cutBack)
            CloseCastLog(log);
        return false;
    }
    log.length = at + static_cast<int64_t>(row.size());
    log.openRowAt = open ? at : -1;
    return true;
}

bool ReadCasts(const LogFileOps& files, const std::string& path, std::vector<CastRecord>& casts, std::string& reason)
{
    casts.clear();
    LogFile file = files.OpenToRead(files.context, path);
    if (file == nullptr)
        return true;
    int64_t size = 0;
    bool read = files.Size(files.context, file, size) &&
                ReadLines(files, file, size, [&casts](const std::string& row, int64_t, int64_t) {
                    CastRecord cast;
                    if (ReadCastRow(row, cast))
                        casts.push_back(cast);
                });
    if (!read)
        reason = files.LastError(files.context);
    files.Close(files.context, file);
    return read;
}

void CloseCastLog(CastLog& log)
{
    if (log.file != nullptr)
        log.files->Close(log.files->context, log.file);
    log.file = nullptr;
}
