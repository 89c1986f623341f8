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

bool WriteWholeAt(const LogFileOps& files, LogFile file, int64_t offset, const std::string& bytes,
                  std::string& reason, bool& cutBack)
{
    int64_t size = static_cast<int64_t>(bytes.size());
    cutBack = true;
    if (files.WriteAt(files.context, file, offset, bytes.data(), size) == size && files.Flush(files.context, file))
        return true;
    reason = files.LastError(files.context);
    cutBack = files.Truncate(files.context, file, offset);
    return false;
}

// Appends at the known length; a file that could not even be cut back is
// closed, and cut back when it is opened again.
static bool Append(SurveyLog& log, const std::string& bytes, std::string& reason)
{
    bool cutBack;
    if (WriteWholeAt(*log.files, log.file, log.length, bytes, reason, cutBack)) {
        log.length += static_cast<int64_t>(bytes.size());
        return true;
    }
    if (!cutBack)
        CloseDayFile(log);
    return false;
}

bool CutTornRow(const LogFileOps& files, LogFile file, int64_t size, int64_t& length)
{
    length = size;
    if (size == 0)
        return true;
    int64_t start = size > TornRowSearchBytes ? size - TornRowSearchBytes : 0;
    std::string tail(static_cast<size_t>(size - start), '\0');
    if (files.ReadAt(files.context, file, start, tail.data(), size - start) != size - start)
        return false;
    size_t lastEnd = tail.rfind('\n');
    if (lastEnd == tail.size() - 1)
        return true;
    if (lastEnd != std::string::npos) {
        length = start + static_cast<int64_t>(lastEnd) + 1;
        return files.Truncate(files.context, file, length);
    }
    // Not a file of ours: its text stays, and our rows start on a line below.
    length = size + 2;
    return files.WriteAt(files.context, file, size, "\r\n", 2) == 2;
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
        ready = CutTornRow(files, log.file, size, length);
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
