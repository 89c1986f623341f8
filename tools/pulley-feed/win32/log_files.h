// The survey log's files on Windows, their paths in UTF-8 (the feed's
// command line is read as UTF-16 and kept in UTF-8).
#pragma once

#include "platform/log_file_ops.h"

extern const LogFileOps Win32LogFiles;
