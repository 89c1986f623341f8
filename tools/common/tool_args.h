// The tools' command lines, read one way: options by name, each value
// checked where it is taken, and the same words for every refusal. Each
// refusal is said on stderr as "program: why".
#pragma once

#include <set>
#include <string>

class ToolArgs {
public:
    ToolArgs(const char* program, int argc, char** argv);

    // Moves to the next argument; false after the last.
    bool Next();
    // The argument moved to: an option such as "--baud", or a word.
    const std::string& Current() const { return current_; }
    bool IsOption() const { return current_.size() > 2 && current_.compare(0, 2, "--") == 0; }

    // The current option's value, taken from the next argument. Each is
    // false, after saying why, when the value is missing, empty or out of
    // bounds. Numbers are plain decimal: no spaces, no hexadecimal, no
    // "nan" or "inf".
    bool Text(std::string& value);
    bool WholeNumber(long long lowest, long long highest, long long& value);
    bool Number(double lowest, double highest, double& value);
    // False, after saying so, when the current option was given before.
    bool Once();

    // Say why and give false, to end the reading.
    bool Unknown();  // an option or word the program does not take
    bool Refuse(const std::string& why);

private:
    bool Value(const char*& text);

    const char* program_;
    int argc_;
    char** argv_;
    int index_;
    std::string current_;
    std::set<std::string> given_;
};

// The number as a plain decimal, as it would be typed: the shortest text
// that reads back as the same number, with no exponent and no rounding.
std::string DecimalText(double value);

// The parse of a decimal number alone, as the options take it.
bool ParseWholeNumber(const char* text, long long& value);
bool ParseDecimal(const char* text, double& value);
