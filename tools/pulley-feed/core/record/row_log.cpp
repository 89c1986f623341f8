// Logs of whole rows on the disk: each row at the end of its own file.
#include "record/row_log.h"

#include "record/survey_rows.h"

static void CloseFile(RowLog& log)
{
    if (log.file != nullptr)
        log.files->Close(log.files->context, log.file);
    log.file = nullptr;
}

// Appends at the known length; a file that could not even be cut back is
// closed, and cut back when it is opened again.
static bool Append(RowLog& log, const std::string& bytes, std::string& reason)
{
    bool cutBack;
    if (WriteWholeAt(*log.files, log.file, log.length, bytes, reason, cutBack)) {
        log.length += static_cast<int64_t>(bytes.size());
        return true;
    }
    if (!cutBack)
        CloseFile(log);
    return false;
}

static bool OpenFile(RowLog& log, const std::string& fileName, std::string& reason)
{
    int64_t knownLength = fileName == log.fileName ? log.length : -1, length = 0;
    if (!OpenRowFile(*log.files, FilePath(log.folder, fileName), log.shape, log.header, knownLength,
                     log.file, length, reason))
        return false;
    log.fileName = fileName;
    log.length = length;
    return true;
}

bool OpenRowLog(RowLog& log, const LogFileOps& files, const std::string& folder, const std::string& fileName,
                const RowShape& shape, const std::string& header, std::string& reason)
{
    log = RowLog{.files = &files, .folder = folder, .shape = shape, .header = header, .fileName = "", .file = nullptr,
                 .length = 0};
    return OpenFile(log, fileName, reason);
}

bool OpenSurveyLog(RowLog& log, const LogFileOps& files, const std::string& folder, const std::string& dayName,
                   std::string& reason)
{
    return OpenRowLog(log, files, folder, dayName, ShapeOf(SurveyTable), HeaderOf(SurveyTable), reason);
}

bool WriteLogRow(RowLog& log, const std::string& fileName, const std::string& row, std::string& reason)
{
    if (log.file != nullptr && fileName != log.fileName)
        CloseFile(log);
    if (log.file == nullptr && !OpenFile(log, fileName, reason))
        return false;
    return Append(log, row, reason);
}

void CloseRowLog(RowLog& log)
{
    CloseFile(log);
}
