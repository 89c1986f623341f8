// The day files on the disk: each row in its own day's file.
#include "record/survey_log.h"

#include "record/survey_rows.h"

static void CloseDayFile(SurveyLog& log)
{
    if (log.file != nullptr)
        log.files->Close(log.files->context, log.file);
    log.file = nullptr;
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

static bool OpenDayFile(SurveyLog& log, const std::string& dayName, std::string& reason)
{
    int64_t knownLength = dayName == log.dayName ? log.length : -1, length = 0;
    if (!OpenRowFile(*log.files, log.folder, FilePath(log.folder, dayName), ShapeOf(SurveyTable),
                     HeaderOf(SurveyTable), knownLength, log.file, length, reason))
        return false;
    log.dayName = dayName;
    log.length = length;
    return true;
}

bool OpenSurveyLog(SurveyLog& log, const LogFileOps& files, const std::string& folder, const std::string& dayName,
                   std::string& reason)
{
    log = SurveyLog{.files = &files, .folder = folder, .dayName = "", .file = nullptr, .length = 0};
    return OpenDayFile(log, dayName, reason);
}

bool WriteLogRow(SurveyLog& log, const std::string& dayName, const std::string& row, std::string& reason)
{
    if (log.file != nullptr && dayName != log.dayName)
        CloseDayFile(log);
    if (log.file == nullptr && !OpenDayFile(log, dayName, reason))
        return false;
    return Append(log, row, reason);
}

void CloseSurveyLog(SurveyLog& log)
{
    CloseDayFile(log);
}
