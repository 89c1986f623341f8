#include "tool_args.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

std::vector<ToolArg> CommandLineArgs(int argc, char** argv)
{
    std::vector<ToolArg> args;
    for (int i = 1; i < argc; i++)
        args.push_back({.text = argv[i], .origin = ""});
    return args;
}

ToolArgs::ToolArgs(const char* program, int argc, char** argv) : ToolArgs(program, CommandLineArgs(argc, argv)) {}

ToolArgs::ToolArgs(const char* program, std::vector<ToolArg> args) : ToolArgs(StandardStreams(program), std::move(args))
{
}

ToolArgs::ToolArgs(const ConsoleOps& console, std::vector<ToolArg> args)
    : console_(console), args_(std::move(args)), index_(args_.size())
{
}

bool ToolArgs::Next()
{
    index_ = index_ == args_.size() ? 0 : index_ + 1;
    if (index_ >= args_.size())
        return false;
    current_ = args_[index_].text;
    if (IsOption() && !args_[index_].boundValue)
        given_.push_back({.option = current_, .value = "", .origin = args_[index_].origin});
    return true;
}

bool ToolArgs::Refuse(const std::string& why)
{
    const std::string& origin = index_ < args_.size() ? args_[index_].origin : std::string();
    console_.Write(console_.context, true, (origin.empty() ? "" : origin + ": ") + why + " (--help lists the options)");
    return false;
}

bool ToolArgs::Unknown()
{
    const ToolArg& arg = args_[index_];
    if (arg.boundValue)  // "wait = yes" in a file
        return Refuse(given_.back().option + " takes no value");
    if (!arg.origin.empty() && IsOption())  // as it was written in the file
        return Refuse("unknown option \"" + current_.substr(2) + "\"");
    return Refuse((IsOption() ? "unknown option " : "unexpected argument ") + current_);
}

bool ToolArgs::Once()
{
    if (once_.insert(current_).second)
        return true;
    return Refuse(current_ + " is given twice");
}

bool ToolArgs::Value(const char*& text)
{
    if (index_ + 1 >= args_.size() || args_[index_ + 1].text.empty() ||
        (!args_[index_].origin.empty() && !args_[index_ + 1].boundValue))  // "udp" alone in a file
        return Refuse(current_ + " wants a value");
    text = args_[++index_].text.c_str();
    if (IsOption() && !given_.empty())
        given_.back().value = text;
    return true;
}

std::string ToolArgs::OptionalWord(const std::vector<std::string>& words)
{
    for (const std::string& word : words)
        if (index_ + 1 < args_.size() && args_[index_ + 1].text == word) {
            const char* text;
            Value(text);
            return word;
        }
    return "";
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
