// The survey log's files on Windows.
#pragma once

#include "survey_log.h"

extern const LogFileOps Win32LogFiles;
