#include "survey_log.h"

#include <cstdio>

#include "sources.h"

// Beyond this many lines waiting (days of a steady cable), the oldest go.
constexpr size_t MostWaitingLines = 100000;

static std::string PathOf(const SurveyLog& log, const std::string& name)
{
    return log.folder + "\\" + name;
}

static bool WriteThrough(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushFileBuffers(file);
}

// Opens the day's file for appending (others may read it meanwhile) and
// starts a new one with the header.
static bool OpenDayFile(SurveyLog& log, const std::string& name)
{
    HANDLE file = CreateFileA(PathOf(log, name).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || (size.QuadPart == 0 && !WriteThrough(file, LogHeader))) {
        CloseHandle(file);
        return false;
    }
    log.file = file;
    log.fileName = name;
    return true;
}

static void CloseDayFile(SurveyLog& log)
{
    if (log.file != INVALID_HANDLE_VALUE)
        CloseHandle(log.file);
    log.file = INVALID_HANDLE_VALUE;
    log.fileName.clear();
}

bool OpenSurveyLog(SurveyLog& log, const std::string& folder, const UtcTime& now, std::string& reason)
{
    log = SurveyLog{.folder = folder, .fileName = "", .file = INVALID_HANDLE_VALUE, .waiting = {}, .failing = false};
    if (OpenDayFile(log, LogFileName(now)))
        return true;
    reason = SystemMessage(GetLastError());
    return false;
}

void RetryLogLines(SurveyLog& log)
{
    DWORD error = 0;
    while (!log.waiting.empty()) {
        const WaitingLogLine& waiting = log.waiting.front();
        if (waiting.fileName != log.fileName) {
            CloseDayFile(log);
            if (!OpenDayFile(log, waiting.fileName)) {
                error = GetLastError();
                break;
            }
        }
        if (!WriteThrough(log.file, waiting.line)) {
            error = GetLastError();
            CloseDayFile(log);  // opened again next time: the disk may be back
            break;
        }
        log.waiting.pop_front();
    }
    if (!log.waiting.empty() && !log.failing)
        std::fprintf(stderr, "pulley-feed: the log in %s cannot be written (%s); its lines wait and are tried again\n",
                     log.folder.c_str(), SystemMessage(error).c_str());
    else if (log.waiting.empty() && log.failing)
        std::fprintf(stderr, "pulley-feed: the log is written again\n");
    log.failing = !log.waiting.empty();
}

void WriteLogLine(SurveyLog& log, const UtcTime& time, const std::string& line)
{
    if (log.waiting.size() >= MostWaitingLines)
        log.waiting.pop_front();
    log.waiting.push_back({.fileName = LogFileName(time), .line = line});
    RetryLogLines(log);
}

void CloseSurveyLog(SurveyLog& log)
{
    CloseDayFile(log);
}
