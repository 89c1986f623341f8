// pulley-feed.ini read as the options it stands for.
#include "settings/config_file.h"

#include <set>

#include "settings/feed_options.h"

const char ConfigFileName[] = "pulley-feed.ini";

static std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ReadConfigText(const std::string& text, const std::string& fileName, std::vector<ToolArg>& args,
                    std::string& error)
{
    if (text.size() > MostConfigBytes) {
        error = fileName + " is larger than " + std::to_string(MostConfigBytes >> 20) +
                " MiB: a settings file is a few lines (is it the right file?)";
        return false;
    }
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
        error = fileName + " is saved as UTF-16 (\"Unicode\"): save it as UTF-8";
        return false;
    }
    // Notepad starts a UTF-8 file with a byte order mark.
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int number = 1; start <= text.size(); number++) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = Trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        std::string origin = fileName + ":" + std::to_string(number);
        if (line.find('\0') != std::string::npos) {
            error = origin + ": a NUL character (a file saved as UTF-16?): save it as UTF-8";
            return false;
        }
        size_t equals = line.find('=');
        std::string key = Trimmed(line.substr(0, equals));
        for (char& c : key)  // "UDP" is udp
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (key.empty() || key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string::npos ||
            key[0] == '-') {
            error = origin + ": \"" + key + "\" is not an option's name (write them as \"udp = 192.168.1.255\")";
            return false;
        }
        if (OnlyOnTheCommandLine("--" + key)) {
            error = origin + ": " + key + " belongs on the command line, not in the settings file";
            return false;
        }
        args.push_back({.text = "--" + key, .origin = origin});
        if (equals == std::string::npos)
            continue;
        std::string value = Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        args.push_back({.text = value, .origin = origin, .boundValue = true});
    }
    return true;
}

std::vector<ToolArg> WithConfig(const std::vector<ToolArg>& file, const std::vector<ToolArg>& commandLine)
{
    std::set<std::string> given;
    for (const ToolArg& arg : commandLine)
        if (arg.text.compare(0, 2, "--") == 0)
            given.insert(arg.text);
    std::vector<ToolArg> merged;
    bool skipping = false;
    for (const ToolArg& arg : file) {
        if (!arg.boundValue)
            skipping = given.count(arg.text) > 0;
        if (!skipping)
            merged.push_back(arg);
    }
    merged.insert(merged.end(), commandLine.begin(), commandLine.end());
    return merged;
}
