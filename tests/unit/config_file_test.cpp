// pulley-feed.ini read by the options' own reader: every line's mistake
// named with its file and line, the command line winning option by option.
#include <gtest/gtest.h>

#include "settings/config_file.h"
#include "settings/feed_options.h"

// What the feed says and prints while it reads its settings.
struct Said {
    std::string messages, output;
    static void Write(void* context, bool message, const std::string& text)
    {
        Said& said = *static_cast<Said*>(context);
        (message ? said.messages : said.output) += text + (message ? "\n" : "");
    }
};

// The file and the command line as the feed reads them: the exit code
// (none to run) and the messages it said.
static std::pair<std::optional<FeedExitCode>, std::string> Parse(const std::string& file,
                                                                 std::vector<std::string> commandLine,
                                                                 FeedOptions& options, std::string* output = nullptr)
{
    std::vector<ToolArg> fileArgs, lineArgs;
    std::string error;
    if (!ReadConfigText(file, "pulley-feed.ini", fileArgs, error))
        return {ExitUsage, error};
    for (const std::string& arg : commandLine)
        lineArgs.push_back({.text = arg, .origin = ""});
    Said said;
    std::optional<FeedExitCode> code =
        ParseFeedOptions(WithConfig(fileArgs, lineArgs), options, {.Write = Said::Write, .context = &said});
    if (output != nullptr)
        *output = said.output;
    return {code, said.messages};
}

TEST(FeedConfig, LinesBecomeOptionsAndMistakesNameTheirLine)
{
    FeedOptions options;
    auto [code, said] = Parse("\xEF\xBB\xBF# the CTD winch\r\n"
                              "udp = 192.168.1.255\r\n"
                              "  UDP=10.0.0.255:2000  \r\n"
                              "\r\n"
                              "; the page\n"
                              "http = 8110\n"
                              "name = \"CTD winch #2\"\n"
                              "alarm-above = 2500\n"
                              "wait",
                              {}, options);
    ASSERT_EQ(code, std::nullopt) << said;
    ASSERT_EQ(options.udpTargets.size(), 2u);
    EXPECT_EQ(options.udpTargets[1].port, 2000);
    EXPECT_EQ(options.stationName, "CTD winch #2");
    EXPECT_TRUE(options.wait && options.alarms.above && options.alarms.aboveMetres == 2500);

    const std::pair<const char*, const char*> mistakes[] = {
        {"udp = 192.168.1.255\nalrm-above = 2500\n", "pulley-feed.ini:2: unknown option \"alrm-above\""},
        {"http = 8110\n\nbaud = fast\n", "pulley-feed.ini:3: --baud wants a whole number"},
        {"log = D:\\survey\nname = A\nname = B\n", "pulley-feed.ini:3: --name is given twice"},
        {"log = D:\\survey\nwait = yes\n", "pulley-feed.ini:2: --wait takes no value"},
        {"udp\n", "pulley-feed.ini:1: --udp wants a value"},
        {"log = x\nservice = install\n", "pulley-feed.ini:2: service belongs on the command line"},
        {"log = x\n--udp = y\n", "pulley-feed.ini:2: \"--udp\" is not an option's name"},
        {"log = x\nserial = COM3\nservice = remove\n", "pulley-feed.ini:3: service belongs"},
        {"log = x\nclock = 2026-12-08T00:00:00\n", "pulley-feed.ini:2: clock belongs on the command line"},
        {"log = x\nprint-config\n", "pulley-feed.ini:2: print-config belongs on the command line"},
    };
    for (const auto& [file, expected] : mistakes) {
        FeedOptions refused;
        auto [refusedCode, message] = Parse(file, {"--config", "winch.ini"}, refused);
        EXPECT_EQ(refusedCode, ExitUsage) << file;
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
    // What is not a settings file is refused whole, with what to do.
    const std::pair<std::string, const char*> notSettings[] = {
        {std::string("log = x\nalarm-above = 25\0" "00\n", 28), "pulley-feed.ini:2: a NUL character"},
        {std::string("\xFF\xFEl\0o\0g\0", 8), "saved as UTF-16 (\"Unicode\"): save it as UTF-8"},
        {"log = x\n" + std::string(MostConfigBytes, '#'), "larger than 1 MiB"},
    };
    for (const auto& [file, expected] : notSettings) {
        FeedOptions refused;
        auto [refusedCode, message] = Parse(file, {}, refused);
        EXPECT_EQ(refusedCode, ExitUsage);
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
    FeedOptions display;
    auto [serviceCode, why] = Parse("http = 8110\n", {"--service", "install"}, display);
    EXPECT_EQ(serviceCode, ExitUsage);
    EXPECT_NE(why.find("cannot see the display's window"), std::string::npos) << why;
}

TEST(FeedConfig, TheCommandLineWinsAndPrintConfigSaysWhere)
{
    FeedOptions options;
    const char file[] = "udp = 192.168.1.255\nname = Deck\nmax-clients = 10\nlog = D:\\survey\n";
    auto [code, said] = Parse(file, {"--name", "Bridge", "--udp", "10.0.0.255", "--udp", "10.0.1.255"}, options);
    ASSERT_EQ(code, std::nullopt) << said;
    EXPECT_EQ(options.stationName, "Bridge");
    ASSERT_EQ(options.udpTargets.size(), 2u) << "the file's udp replaced, not added to";
    EXPECT_EQ(options.udpTargets[0].host, "10.0.0.255");
    EXPECT_EQ(options.maxClients, 10);

    FeedOptions printed;
    std::string shown;
    auto [printCode, _] = Parse(file, {"--print-config", "--name", "Bridge"}, printed, &shown);
    EXPECT_EQ(printCode, ExitEnded);
    for (const char* line : {"udp = 192.168.1.255", "# pulley-feed.ini:1", "max-clients = 10", "# pulley-feed.ini:3",
                             "name = Bridge", "# command line"})
        EXPECT_NE(shown.find(line), std::string::npos) << line << " in\n" << shown;
    EXPECT_EQ(shown.find("Deck"), std::string::npos);
}
