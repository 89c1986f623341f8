#include "tool_args.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

ToolArgs::ToolArgs(const char* program, int argc, char** argv)
    : program_(program), argc_(argc), argv_(argv), index_(0)
{
}

bool ToolArgs::Next()
{
    if (++index_ >= argc_)
        return false;
    current_ = argv_[index_];
    return true;
}

bool ToolArgs::Refuse(const std::string& why)
{
    std::fprintf(stderr, "%s: %s (--help lists the options)\n", program_, why.c_str());
    return false;
}

bool ToolArgs::Unknown()
{
    return Refuse((IsOption() ? "unknown option " : "unexpected argument ") + current_);
}

bool ToolArgs::Once()
{
    if (given_.insert(current_).second)
        return true;
    return Refuse(current_ + " is given twice");
}

bool ToolArgs::Value(const char*& text)
{
    if (index_ + 1 >= argc_ || argv_[index_ + 1][0] == '\0')
        return Refuse(current_ + " wants a value");
    text = argv_[++index_];
    return true;
}

bool ToolArgs::Text(std::string& value)
{
    const char* text;
    if (!Value(text))
        return false;
    value = text;
    return true;
}

// Digits only, after an optional sign: strtoll and strtod would also take
// leading spaces, hexadecimal, "nan" and "inf".
static bool PlainDecimal(const char* text, bool fraction)
{
    const char* digits = text + (*text == '-' || *text == '+');
    if (!(*digits >= '0' && *digits <= '9') && !(fraction && *digits == '.'))
        return false;
    return std::strspn(digits, fraction ? "0123456789.eE+-" : "0123456789") == std::strlen(digits);
}

bool ParseWholeNumber(const char* text, long long& value)
{
    if (!PlainDecimal(text, false))
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && *end == '\0';
}

bool ParseDecimal(const char* text, double& value)
{
    if (!PlainDecimal(text, true))
        return false;
    char* end = nullptr;
    value = std::strtod(text, &end);
    return *end == '\0' && std::isfinite(value);
}

bool ToolArgs::WholeNumber(long long lowest, long long highest, long long& value)
{
    const char* text;
    if (!Value(text))
        return false;
    if (ParseWholeNumber(text, value) && value >= lowest && value <= highest)
        return true;
    return Refuse(current_ + " wants a whole number from " + std::to_string(lowest) + " to " +
                  std::to_string(highest) + ", not \"" + text + "\"");
}

std::string DecimalText(double value)
{
    char text[400];  // the longest fixed text a double can have
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr);
}

bool ToolArgs::Number(double lowest, double highest, double& value)
{
    const char* text;
    if (!Value(text))
        return false;
    if (ParseDecimal(text, value) && value >= lowest && value <= highest)
        return true;
    return Refuse(current_ + " wants a number from " + DecimalText(lowest) + " to " + DecimalText(highest) + ", not \"" +
                  text + "\"");
}
