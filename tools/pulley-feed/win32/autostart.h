// Start at logon: a value under the user's Run key that starts the feed in
// the notification area with its settings file.
#pragma once

#include <string>

#include "config_place.h"
#include "settings/feed_options.h"

// The Run key's value that holds the feed's start.
extern const wchar_t AutostartValue[];

// "on", "off", or "ask" (says which, and the command) on the console: the
// exit code. "off" and "ask" need no settings.
FeedExitCode Autostart(const std::string& what, const ConfigPlace& config, const ConsoleOps& console);

// The command that starts the feed with these settings and these options,
// quoted as the system reads a command line.
std::wstring FeedCommandLine(const std::wstring& options, const ConfigPlace& config);

// Refused, with the reason said, when the settings are not all in the file:
// what starts the feed later reads only the file.
bool SettingsAllInFile(const ConfigPlace& config, const char* what, const ConsoleOps& console);
