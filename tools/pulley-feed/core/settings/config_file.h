// pulley-feed.ini: the long options by name, one a line, read by the same
// reader as the command line. Each line becomes the arguments it stands
// for ("udp = 192.168.1.255" is --udp 192.168.1.255), marked with the file
// and the line, so that a refusal names them.
#pragma once

#include <string>
#include <vector>

#include "tool_args.h"

// The name of the settings file beside the program.
extern const char ConfigFileName[];
// A settings file is a page of lines: a larger one is not one.
constexpr size_t MostConfigBytes = 1 << 20;

// The file's text as arguments: blank lines and lines starting with # or ;
// are skipped; "key = value" or "key" alone; one pair of double quotes
// around a value is taken off. False, with the reason ("pulley-feed.ini:3:
// ..."), for a line whose key is no option name or an option of the
// command line's alone, for a NUL character (a file saved as UTF-16), and
// for a text over MostConfigBytes.
bool ReadConfigText(const std::string& text, const std::string& fileName, std::vector<ToolArg>& args,
                    std::string& error);

// The file's arguments, less each option the command line gives itself,
// then the command line's: the command line wins, option by option.
std::vector<ToolArg> WithConfig(const std::vector<ToolArg>& file, const std::vector<ToolArg>& commandLine);
