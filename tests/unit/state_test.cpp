#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "state.h"

// A scripted pulley, relay port and window, handed to the core as their
// tables' context: every call is logged in order.
struct FakeWorld {
    std::vector<std::string> calls;
    std::deque<int32_t> readings;
    std::deque<int> identifyAnswers;
    PulleyLink nextLink;
    std::vector<std::string> relayed;
    std::function<void()> duringWarning;
};

static FakeWorld& World(void* context)
{
    return *static_cast<FakeWorld*>(context);
}
static void Note(void* context, const std::string& call)
{
    World(context).calls.push_back(call);
}
static PulleyLink FakeConnect(void* context, const char* name)
{
    Note(context, std::string("connect ") + name);
    return World(context).nextLink;
}
static int FakeIdentify(void* context, PulleyLink)
{
    Note(context, "identify");
    std::deque<int>& answers = World(context).identifyAnswers;
    int answer = answers.empty() ? 0 : answers.front();
    if (!answers.empty())
        answers.pop_front();
    return answer;
}
static int32_t FakeRead(void* context, PulleyLink)
{
    Note(context, "read");
    std::deque<int32_t>& readings = World(context).readings;
    int32_t reading = readings.empty() ? LostReading : readings.front();
    if (!readings.empty())
        readings.pop_front();
    return reading;
}
static int FakeReset(void* context, PulleyLink)
{
    Note(context, "reset");
    return 1;
}
static int FakePreset(void* context, PulleyLink, int32_t metres)
{
    Note(context, "preset " + std::to_string(metres));
    return 1;
}
static int FakeVersion(void* context, PulleyLink, char* buffer, int size)
{
    Note(context, "version");
    snprintf(buffer, static_cast<size_t>(size), "fw 1.0");
    return 1;
}
static int FakeDisconnect(void* context, PulleyLink)
{
    Note(context, "disconnect");
    return 1;
}
static void FakeCloseHandle(void* context, PulleyLink)
{
    Note(context, "closehandle");
}
static RelayPort FakeRelayOpen(void* context, const char* name, int32_t baudIndex)
{
    Note(context, std::string("relayopen ") + name + " " + std::to_string(baudIndex));
    return std::string(name) == "COM9" ? nullptr : reinterpret_cast<RelayPort>(static_cast<uintptr_t>(0x80));
}
static void FakeRelayWrite(void* context, RelayPort, const char* bytes, int length)
{
    World(context).relayed.emplace_back(bytes, static_cast<size_t>(length));
}
static void FakeRelayClose(void* context, RelayPort)
{
    Note(context, "relayclose");
}
static void StartTimer(void* context) { Note(context, "start"); }
static void StopTimer(void* context) { Note(context, "stop"); }
static void Refresh(void* context) { Note(context, "refresh"); }
static void Repaint(void* context) { Note(context, "repaint"); }
static void Warn(void* context)
{
    Note(context, "warning");
    if (World(context).duringWarning)
        World(context).duringWarning();
}
static void NoteProgress(int attempts, void* context)
{
    Note(context, "progress " + std::to_string(attempts));
}

static PulleyLink SomeLink()
{
    return reinterpret_cast<PulleyLink>(static_cast<uintptr_t>(0x40));
}

class Link : public ::testing::Test, protected FakeWorld {
protected:
    PulleyState state;

    void SetUp() override
    {
        nextLink = SomeLink();
        void* world = static_cast<FakeWorld*>(this);
        InitPulleyState(state,
                        {.Connect = FakeConnect, .Identify = FakeIdentify, .Read = FakeRead, .Reset = FakeReset,
                         .Preset = FakePreset, .GetVersion = FakeVersion, .Disconnect = FakeDisconnect,
                         .CloseAsHandle = FakeCloseHandle, .context = world},
                        {.Open = FakeRelayOpen, .Write = FakeRelayWrite, .Close = FakeRelayClose, .context = world},
                        {.StartPollTimer = StartTimer, .StopPollTimer = StopTimer, .Refresh = Refresh,
                         .Repaint = Repaint, .ShowLostLinkWarning = Warn, .context = world});
        ApplyDefaultSettings(state.settings);
    }

    IdentifyResult Tick() { return IdentifyTick(state, NoteProgress, static_cast<FakeWorld*>(this)); }

    void Connect()
    {
        identifyAnswers = {1};
        ASSERT_TRUE(BeginConnect(state, "COM3"));
        ASSERT_EQ(Tick(), Identified);
        ConfirmConnected(state);
        calls.clear();
    }

    void OpenRelay(int32_t format)
    {
        ASSERT_TRUE(::OpenRelay(state, "COM2", 1));
        state.settings.relayFormat = format;
        calls.clear();
    }
};

using Calls = std::vector<std::string>;

TEST_F(Link, StartsIdleWithNoReading)
{
    EXPECT_FALSE(state.connected);
    EXPECT_EQ(state.count, NoReading);
    EXPECT_EQ(QueryCount(state), 9999);
    state.settings.units = Feet;
    EXPECT_EQ(QueryCount(state), MetresToFeet(9999));
}

TEST_F(Link, FailedOpenReturnsFalseAndStaysIdle)
{
    nextLink = InvalidLink();
    EXPECT_FALSE(BeginConnect(state, "COM9"));
    EXPECT_FALSE(state.connected);
    EXPECT_STREQ(state.connectName, "COM9");
    ResetCount(state);
    PresetCount(state, 5);
    EXPECT_EQ(calls, Calls({"connect COM9"}));  // the -1 link never reaches the library
}

TEST_F(Link, IdentifiedOnFifthTickAndPollingStartsWithoutARead)
{
    identifyAnswers = {0, 0, 0, 0, 1};
    ASSERT_TRUE(BeginConnect(state, "COM3"));
    for (int tick = 1; tick < 5; tick++)
        EXPECT_EQ(Tick(), Waiting);
    EXPECT_EQ(Tick(), Identified);
    ConfirmConnected(state);
    EXPECT_TRUE(state.connected);
    EXPECT_EQ(calls.back(), "start");
    EXPECT_EQ(calls[calls.size() - 3], "progress 5");  // the bar moves before the pulley is asked
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "read"), 0);
}

TEST_F(Link, NeverIdentifiedGivesUpAfterFifthTryWithOneDisconnect)
{
    ASSERT_TRUE(BeginConnect(state, "COM3"));
    for (int tick = 1; tick < 5; tick++)
        EXPECT_EQ(Tick(), Waiting);
    EXPECT_EQ(Tick(), GaveUp);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "identify"), 5);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "disconnect"), 1);
    EXPECT_FALSE(state.connected);
    // The closed link is not used again, and a new attempt counts from one.
    CancelConnect(state);
    ResetCount(state);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "disconnect"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "reset"), 0);
    identifyAnswers = {1};
    ASSERT_TRUE(BeginConnect(state, "COM3"));
    EXPECT_EQ(Tick(), Identified);
    EXPECT_EQ(state.identifyAttempts, 1);
}

TEST_F(Link, CancelWhileIdentifyingClosesTheLink)
{
    ASSERT_TRUE(BeginConnect(state, "COM3"));
    EXPECT_EQ(Tick(), Waiting);
    CancelConnect(state);
    EXPECT_EQ(calls.back(), "disconnect");
    CancelConnect(state);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "disconnect"), 1);
    // An attempt begun while another's link is open closes that link first.
    ASSERT_TRUE(BeginConnect(state, "COM3"));
    ASSERT_TRUE(BeginConnect(state, "COM4"));
    EXPECT_EQ(Calls(calls.end() - 3, calls.end()), Calls({"connect COM3", "disconnect", "connect COM4"}));
}

TEST_F(Link, NewReadingRefreshesAndSameReadingDoesNothing)
{
    Connect();
    readings = {12, 12, 13};
    PollTick(state);
    EXPECT_EQ(calls, Calls({"read", "refresh"}));
    EXPECT_EQ(state.count, 12);
    PollTick(state);
    EXPECT_EQ(calls, Calls({"read", "refresh", "read"}));
    PollTick(state);
    EXPECT_EQ(state.count, 13);
    EXPECT_EQ(calls.back(), "refresh");
}

TEST_F(Link, ReconnectingToAPulleyReading9999DoesNotRefresh)
{
    Connect();
    readings = {NoReading};
    PollTick(state);
    EXPECT_EQ(calls, Calls({"read"}));
}

TEST_F(Link, RelayGetsALineForEachNewCountInTheChosenFormat)
{
    Connect();
    OpenRelay(TCount);
    readings = {12, 12, -5};
    PollTick(state);
    PollTick(state);
    PollTick(state);
    EXPECT_EQ(relayed, std::vector<std::string>({"1:+0012m\r\n", "1:-0005m\r\n"}));
    state.settings.units = Feet;
    state.settings.relayFormat = DisplayLine;
    readings = {12};
    PollTick(state);
    EXPECT_EQ(relayed.back(), "+00039ft\r");
}

TEST_F(Link, EdgeTechGetsALineEverySecondEvenWhenSteady)
{
    Connect();
    OpenRelay(TCountEdgeTech);
    readings = {12, 12, 12};
    PollTick(state);
    PollTick(state);
    PollTick(state);
    EXPECT_EQ(relayed, std::vector<std::string>(3, "1:+0012\r\n"));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "refresh"), 3);
}

TEST_F(Link, NotUsedOrUnknownFormatSendsNothing)
{
    Connect();
    OpenRelay(NotUsed);
    readings = {12};
    PollTick(state);
    state.settings.relayFormat = 77;
    readings = {13};
    PollTick(state);
    EXPECT_TRUE(relayed.empty());
}

TEST_F(Link, LostLinkStopsWarnsThenClosesAndSendsOneDashLine)
{
    Connect();
    OpenRelay(DisplayLine);
    readings = {12};
    PollTick(state);
    relayed.clear();
    calls.clear();
    // While the box is up the link is still open and the count is the old one.
    int32_t countDuringBox = 0;
    duringWarning = [&] {
        countDuringBox = QueryCount(state);
        ResetCount(state);
    };
    readings = {LostReading};
    PollTick(state);
    EXPECT_EQ(countDuringBox, 12);
    EXPECT_EQ(calls, Calls({"read", "stop", "warning", "reset", "closehandle", "refresh"}));
    EXPECT_FALSE(state.connected);
    EXPECT_EQ(state.count, LostReading);
    EXPECT_EQ(relayed, std::vector<std::string>({"-----m\r"}));
    EXPECT_EQ(QueryCount(state), LostReading);
    state.settings.units = Feet;
    EXPECT_EQ(QueryCount(state), INT32_MIN);
    EXPECT_STREQ(CurrentDisplayText(state).text, "------ft");
    // Nothing reaches the closed link afterwards, not even a queued tick.
    calls.clear();
    PollTick(state);
    ResetCount(state);
    PresetCount(state, 3);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Link, DisconnectClosesAsHandleAndRepaintsNoReading)
{
    Connect();
    readings = {12};
    PollTick(state);
    calls.clear();
    Disconnect(state);
    EXPECT_EQ(calls, Calls({"stop", "closehandle", "repaint"}));
    EXPECT_FALSE(state.connected);
    EXPECT_EQ(state.count, NoReading);
    EXPECT_EQ(state.link, nullptr);
}

TEST_F(Link, ResetAndPresetGoToTheLibraryOnlyWithALiveLink)
{
    ResetCount(state);
    PresetCount(state, 30);
    EXPECT_TRUE(calls.empty());
    Connect();
    ResetCount(state);
    PresetCount(state, -29);
    EXPECT_EQ(calls, Calls({"reset", "preset -29"}));
}

TEST_F(Link, TestModeAnswersTheTestValueInAnyUnit)
{
    Connect();
    readings = {12};
    PollTick(state);
    state.settings.units = Feet;
    EXPECT_EQ(QueryCount(state), 39);
    state.testMode = true;
    state.testSource = {[](void*) -> int32_t { return -250; }, nullptr};
    EXPECT_EQ(QueryCount(state), -250);
    state.settings.units = Metres;
    EXPECT_EQ(QueryCount(state), -250);
}

// The metres query and the status bits, for clients that label their data.
TEST_F(Link, MetresAndStatusWhateverTheUnit)
{
    EXPECT_EQ(QueryMetres(state), NoReading);
    EXPECT_EQ(QueryStatus(state), 0u);
    Connect();
    OpenRelay(DisplayLine);
    EXPECT_EQ(QueryStatus(state), uint32_t{PULLEY_STATUS_CONNECTED | PULLEY_STATUS_RELAY_OPEN}) << "not read yet";
    readings = {NoReading};
    PollTick(state);
    EXPECT_EQ(QueryMetres(state), NoReading);
    EXPECT_EQ(QueryStatus(state) & PULLEY_STATUS_READ, uint32_t{PULLEY_STATUS_READ}) << "a real 9999 m";
    readings = {12};
    PollTick(state);
    state.settings.units = Feet;
    EXPECT_EQ(QueryMetres(state), 12);
    EXPECT_EQ(QueryStatus(state),
              uint32_t{PULLEY_STATUS_CONNECTED | PULLEY_STATUS_FEET | PULLEY_STATUS_RELAY_OPEN | PULLEY_STATUS_READ});
    state.testMode = true;
    state.testSource = {[](void*) -> int32_t { return -250; }, nullptr};
    EXPECT_EQ(QueryMetres(state), -250);
    EXPECT_EQ(QueryStatus(state) & PULLEY_STATUS_TEST_VALUE, uint32_t{PULLEY_STATUS_TEST_VALUE});
    state.testMode = false;
    readings = {LostReading};
    PollTick(state);
    EXPECT_EQ(QueryMetres(state), LostReading);
    EXPECT_EQ(QueryStatus(state), uint32_t{PULLEY_STATUS_FEET | PULLEY_STATUS_RELAY_OPEN});
}

// What a program reading the count needs to tell a preset from payout, and
// a lost link from a count: both change with the reading they belong to.
TEST_F(Link, PresetsCountWithTheirResultAndTheLostLinkWarningShows)
{
    auto presets = [&] { return (QueryStatus(state) & PULLEY_STATUS_PRESETS_MASK) >> PULLEY_STATUS_PRESETS_SHIFT; };
    ResetCount(state);  // no link: nothing asked, nothing counted
    Connect();
    readings = {502, 0, 0};
    PollTick(state);
    ResetCount(state);
    EXPECT_EQ(presets(), 0u) << "not before the count after it is read";
    PollTick(state);
    EXPECT_EQ(std::make_pair(presets(), QueryMetres(state)), std::make_pair(1u, 0));
    PollTick(state);
    EXPECT_EQ(presets(), 1u);
    for (int i = 0; i < 255; i++) {
        PresetCount(state, 10033);
        readings = {10033};
        PollTick(state);
    }
    EXPECT_EQ(presets(), 0u) << "wraps after 255";
    uint32_t statusDuringBox = 0;
    duringWarning = [&] { statusDuringBox = QueryStatus(state); };
    readings = {LostReading};
    PollTick(state);
    EXPECT_EQ(statusDuringBox & (PULLEY_STATUS_LINK_LOST | PULLEY_STATUS_READ), uint32_t{PULLEY_STATUS_LINK_LOST});
    EXPECT_EQ(QueryStatus(state) & PULLEY_STATUS_LINK_LOST, 0u) << "once dismissed, the count itself says so";
}

TEST_F(Link, ShutdownDisconnectsAndClosesTheRelay)
{
    Connect();
    OpenRelay(DisplayLine);
    EXPECT_TRUE(::OpenRelay(state, "COM4", 2)) << "open already: kept, not opened again";
    EXPECT_TRUE(calls.empty());
    Shutdown(state);
    EXPECT_EQ(calls, Calls({"disconnect", "stop", "relayclose"}));
    EXPECT_FALSE(::OpenRelay(state, "COM9", 0));
    EXPECT_EQ(state.relayPort, nullptr);
    calls.clear();
    EXPECT_EQ(state.relayPort, nullptr);
    calls.clear();
    Shutdown(state);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Link, WindowClosedDuringLostLinkWarningDoesNotCloseTwice)
{
    Connect();
    duringWarning = [&] { Shutdown(state); };
    readings = {LostReading};
    PollTick(state);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "disconnect"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "closehandle"), 0);
}

TEST_F(Link, FirmwareVersionOnlyWhenConnected)
{
    char buffer[40] = "stale text";
    EXPECT_FALSE(ReadFirmwareVersion(state, buffer, sizeof buffer));
    Connect();
    EXPECT_TRUE(ReadFirmwareVersion(state, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "fw 1.0");
}
