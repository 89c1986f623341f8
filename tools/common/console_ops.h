// Where a tool's words go: its messages (standard error) and its output
// (standard output), each written as UTF-8 text through one table. The C
// library's streams by default; a Windows program gives its console's
// writer (UTF-16 to a console, whatever its code page), a service its log.
#pragma once

#include <string>

struct ConsoleOps {
    // A message is a line without the program's name or its end, which the
    // writer adds ("pulley-feed: why\n"); output is written as it is.
    void (*Write)(void* context, bool message, const std::string& text);
    void* context;
};

// The C library's streams, for the program named by context (a const char*).
void WriteToStandardStreams(void* program, bool message, const std::string& text);
inline ConsoleOps StandardStreams(const char* program)
{
    return {.Write = WriteToStandardStreams, .context = const_cast<char*>(program)};
}
