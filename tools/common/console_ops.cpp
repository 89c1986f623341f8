#include "console_ops.h"

#include <cstdio>

void WriteToStandardStreams(void* program, bool message, const std::string& text)
{
    if (message)
        std::fprintf(stderr, "%s: %s\n", static_cast<const char*>(program), text.c_str());
    else
        std::fputs(text.c_str(), stdout);
    std::fflush(message ? stderr : stdout);
}
