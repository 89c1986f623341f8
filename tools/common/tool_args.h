// The tools' command lines, read one way: options by name, each value
// checked where it is taken, and the same words for every refusal. Each
// refusal is said as a message, "program: why", on the console given.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "console_ops.h"

// An argument, and where it was written when not on the command line
// ("pulley-feed.ini:7"): a refusal names the place. A value written beside
// its option in a file ("baud = 4800") is bound to it.
struct ToolArg {
    std::string text;
    std::string origin;
    bool boundValue = false;
};

// The arguments after the program's name (argv[0]), from the command line.
std::vector<ToolArg> CommandLineArgs(int argc, char** argv);

// An option as it was read, for a program that says what is in force.
struct GivenOption {
    std::string option;
    std::string value;  // empty for a flag
    std::string origin;
};

class ToolArgs {
public:
    // The arguments after the program's name; refusals said on the
    // standard streams, or on the console given.
    ToolArgs(const char* program, int argc, char** argv);
    ToolArgs(const char* program, std::vector<ToolArg> args);
    ToolArgs(const ConsoleOps& console, std::vector<ToolArg> args);

    // Moves to the next argument; false after the last.
    bool Next();
    // The argument moved to: an option such as "--baud", or a word.
    const std::string& Current() const { return current_; }
    bool IsOption() const { return current_.size() > 2 && current_.compare(0, 2, "--") == 0; }
    // Where the current argument was written: empty on the command line.
    const std::string& Origin() const { return args_[index_].origin; }
    // The options read so far, each with its value and origin.
    const std::vector<GivenOption>& Given() const { return given_; }

    // The current option's value, taken from the next argument. Each is
    // false, after saying why, when the value is missing, empty or out of
    // bounds. Numbers are plain decimal: no spaces, no hexadecimal, no
    // "nan" or "inf".
    bool Text(std::string& value);
    bool WholeNumber(long long lowest, long long highest, long long& value);
    bool Number(double lowest, double highest, double& value);
    // The current option's value when the next argument is one of the
    // words; else empty, and the next argument is left to be read.
    std::string OptionalWord(const std::vector<std::string>& words);
    // False, after saying so, when the current option was given before.
    bool Once();

    // Say why and give false, to end the reading.
    bool Unknown();  // an option or word the program does not take
    bool Refuse(const std::string& why);

private:
    bool Value(const char*& text);

    ConsoleOps console_;
    std::vector<ToolArg> args_;
    size_t index_;  // of the current argument, args_.size() before the first
    std::string current_;
    std::set<std::string> once_;
    std::vector<GivenOption> given_;
};

// The number as a plain decimal, as it would be typed: the shortest text
// that reads back as the same number, with no exponent and no rounding.
std::string DecimalText(double value);

// The parse of a decimal number alone, as the options take it.
bool ParseWholeNumber(const char* text, long long& value);
bool ParseDecimal(const char* text, double& value);
