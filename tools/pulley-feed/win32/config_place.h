// Where the feed's settings come from: the command line, and the settings
// file that --config names or that lies beside the program.
#pragma once

#include <string>
#include <vector>

#include "tool_args.h"

struct ConfigPlace {
    std::wstring file;           // the settings file read, absolute; empty when there is none
    bool commandLineSettings;    // the command line gives settings of its own, besides the file
};

// The arguments to read: the file's, less what the command line gives
// itself, then the command line's. False, with the reason, when the file
// --config names cannot be read or a line of the file is no option.
bool ReadConfigPlace(const std::vector<ToolArg>& commandLine, ConfigPlace& place, std::vector<ToolArg>& args,
                     std::string& reason);

// The program's own path, for what starts it again (logon, the service).
std::wstring ProgramPath();
// The wire book, kept beside the settings file (or the program, without one).
std::string WireBookPath(const ConfigPlace& config);
