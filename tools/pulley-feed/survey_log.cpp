#include "survey_log.h"

#include "feed_lines.h"

// How far back from the end a power cut's torn row is looked for: rows are
// well under a hundred bytes.
constexpr int64_t TornRowSearchBytes = 4096;

static std::string PathOf(const SurveyLog& log, const std::string& dayName)
{
    return log.folder + "\\" + dayName;
}

static void CloseDayFile(SurveyLog& log)
{
    if (log.file != nullptr)
        log.files->Close(log.files->context, log.file);
    log.file = nullptr;
}

// Appends bytes at the known length and flushes them. On any failure the
// file is cut back to that length; if even that fails it is closed, and
// cut back when it is opened again.
static bool Append(SurveyLog& log, const std::string& bytes, std::string& reason)
{
    const LogFileOps& files = *log.files;
    int64_t size = static_cast<int64_t>(bytes.size());
    if (files.WriteAt(files.context, log.file, log.length, bytes.data(), size) == size &&
        files.Flush(files.context, log.file)) {
        log.length += size;
        return true;
    }
    reason = files.LastError(files.context);
    if (!files.Truncate(files.context, log.file, log.length))
        CloseDayFile(log);
    return false;
}

// A row a power cut left torn at the end of the file is cut off, so that
// the next row starts on a line of its own. Returns the length to write at.
static bool CutTornRow(SurveyLog& log, int64_t size, int64_t& length)
{
    const LogFileOps& files = *log.files;
    length = size;
    if (size == 0)
        return true;
    int64_t start = size > TornRowSearchBytes ? size - TornRowSearchBytes : 0;
    std::string tail(static_cast<size_t>(size - start), '\0');
    if (files.ReadAt(files.context, log.file, start, tail.data(), size - start) != size - start)
        return false;
    size_t lastEnd = tail.rfind('\n');
    if (lastEnd == tail.size() - 1)
        return true;
    if (lastEnd != std::string::npos) {
        length = start + static_cast<int64_t>(lastEnd) + 1;
        return files.Truncate(files.context, log.file, length);
    }
    // Not a file of ours: its text stays, and our rows start on a line below.
    length = size + 2;
    return files.WriteAt(files.context, log.file, size, "\r\n", 2) == 2;
}

// The folder is made again when it has gone (a stick pulled and put back, a
// share that came back empty), but not at start, where a missing folder is
// more likely a mistyped name.
static bool OpenDayFile(SurveyLog& log, const std::string& dayName, bool mayMakeFolder, std::string& reason)
{
    const LogFileOps& files = *log.files;
    log.file = files.Open(files.context, PathOf(log, dayName));
    if (log.file == nullptr && mayMakeFolder && files.MakeFolder(files.context, log.folder))
        log.file = files.Open(files.context, PathOf(log, dayName));
    int64_t size = 0, length = 0;
    bool ready = log.file != nullptr && files.Size(files.context, log.file, size);
    // The file this log last wrote, longer than it left it: the tail is a
    // row whose write failed and could not be cut back then.
    if (ready && dayName == log.dayName && size > log.length)
        ready = files.Truncate(files.context, log.file, length = log.length);
    else if (ready)
        ready = CutTornRow(log, size, length);
    if (!ready) {
        reason = files.LastError(files.context);
        CloseDayFile(log);
        return false;
    }
    log.dayName = dayName;
    log.length = length;
    return length > 0 || Append(log, LogHeader, reason);
}

bool OpenSurveyLog(SurveyLog& log, const LogFileOps& files, const std::string& folder, const std::string& dayName,
                   std::string& reason)
{
    log = SurveyLog{.files = &files, .folder = folder, .dayName = "", .file = nullptr, .length = 0};
    return OpenDayFile(log, dayName, false, reason);
}

bool WriteLogRow(SurveyLog& log, const std::string& dayName, const std::string& row, std::string& reason)
{
    if (log.file != nullptr && dayName != log.dayName)
        CloseDayFile(log);
    if (log.file == nullptr && !OpenDayFile(log, dayName, true, reason))
        return false;
    return Append(log, row, reason);
}

void CloseSurveyLog(SurveyLog& log)
{
    CloseDayFile(log);
}
