// The survey log: one CSV file a UTC day in a folder, each line written
// through to the disk at once, so a power cut loses at most the line being
// written. A line that cannot be written is kept and tried again.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "feed.h"

struct WaitingLogLine {
    std::string fileName;  // of its day
    std::string line;
};
struct SurveyLog {
    std::string folder;
    std::string fileName;  // of the open file, empty when none is open
    HANDLE file;
    std::deque<WaitingLogLine> waiting;  // lines not yet on disk, oldest first
    bool failing;                     // reported, until a line is written again
};

// Opens today's file, so that a folder that cannot be written is said at
// start; false with the system's reason.
bool OpenSurveyLog(SurveyLog& log, const std::string& folder, const UtcTime& now, std::string& reason);
// Writes the line into the file of its day, after any that wait.
void WriteLogLine(SurveyLog& log, const UtcTime& time, const std::string& line);
// Tries again the lines that wait.
void RetryLogLines(SurveyLog& log);
void CloseSurveyLog(SurveyLog& log);
