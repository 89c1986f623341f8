// Logs of whole rows appended to files of a folder (see row_files.h): the
// survey log, a CSV file a UTC day, and the events, one file for ever.
#pragma once

#include <cstdint>
#include <string>

#include "record/log_table.h"
#include "record/row_files.h"

struct RowLog {
    const LogFileOps* files;
    std::string folder;
    RowShape shape;        // of its rows, and
    std::string header;    // their header
    std::string fileName;  // the file whose length is known; open when file is
    LogFile file;
    int64_t length;  // that file's length in whole rows, as this log wrote it
};

// Opens the log's first file, so that a folder that cannot be written is
// said at start; false with the reason.
bool OpenRowLog(RowLog& log, const LogFileOps& files, const std::string& folder, const std::string& fileName,
                const RowShape& shape, const std::string& header, std::string& reason);
// The survey log, opened on the day file of that name.
bool OpenSurveyLog(RowLog& log, const LogFileOps& files, const std::string& folder, const std::string& dayName,
                   std::string& reason);
// Writes the row at the end of its file (created with the header, and its
// folder with it when the folder has gone) and onto the disk. False, with
// the reason, leaves the file as it was before the row.
bool WriteLogRow(RowLog& log, const std::string& fileName, const std::string& row, std::string& reason);
void CloseRowLog(RowLog& log);
