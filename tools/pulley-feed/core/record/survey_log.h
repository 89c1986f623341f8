// The survey log: one CSV file a UTC day in a folder, of whole rows (see
// row_files.h).
#pragma once

#include <cstdint>
#include <string>

#include "record/row_files.h"

struct SurveyLog {
    const LogFileOps* files;
    std::string folder;
    std::string dayName;  // the day file whose length is known; open when file is
    LogFile file;
    int64_t length;  // that file's length in whole rows, as this log wrote it
};

// Opens the first day's file, so that a folder that cannot be written is
// said at start; false with the reason.
bool OpenSurveyLog(SurveyLog& log, const LogFileOps& files, const std::string& folder, const std::string& dayName,
                   std::string& reason);
// Writes the row at the end of its day's file (created with the header,
// and its folder with it when the folder has gone) and onto the disk. False,
// with the reason, leaves the file as it was before the row.
bool WriteLogRow(SurveyLog& log, const std::string& dayName, const std::string& row, std::string& reason);
void CloseSurveyLog(SurveyLog& log);
