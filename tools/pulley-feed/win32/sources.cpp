#include "sources.h"

#include "running/console_writer.h"
#include "formats/display_reading.h"
#include "serial_port.h"
#include "shared_constants.h"
#include "system_text.h"

// The display answers between its ticks. Its slowest tick reads a silent
// pulley (about 210 ms) and writes a relay line at a low rate (up to about
// 350 ms): only a display that takes longer than that is not answering.
constexpr UINT DisplayAnswerMs = 1000;

bool DisplayRunning()
{
    return FindWindowA(PULLEY_WINDOW_CLASS, nullptr) != nullptr;
}

static bool AskDisplay(void* context, unsigned message, uint32_t& answer)
{
    DisplaySource& source = *static_cast<DisplaySource*>(context);
    DWORD_PTR result = 0;
    SetLastError(0);
    if (SendMessageTimeoutA(source.window, message, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, DisplayAnswerMs, &result)) {
        answer = static_cast<uint32_t>(result);  // every answer travels in the low 32 bits
        return true;
    }
    // A display started as administrator does not take messages from a
    // program that is not.
    bool denied = GetLastError() == ERROR_ACCESS_DENIED;
    if (denied && !source.denied)
        source.console->Message("the display runs with higher rights (as administrator) and refuses to answer; "
                                "run pulley-feed the same way");
    source.denied = denied;
    return false;
}

static bool PollDisplay(void* context, int64_t, FeedReading& reading)
{
    DisplaySource& source = *static_cast<DisplaySource*>(context);
    if (source.window == nullptr || !IsWindow(source.window))
        source.window = FindWindowA(PULLEY_WINDOW_CLASS, nullptr);
    DisplayAnswer answer =
        source.window == nullptr ? DisplayAnswer::NoAnswer : AskDisplayReading({.Ask = AskDisplay, .context = &source}, reading);
    if (answer == DisplayAnswer::NoAnswer) {
        source.window = nullptr;
        reading = {FeedStatus::NoDisplay, 0};
    }
    return answer != DisplayAnswer::MovedOn;
}

FeedSource DisplayFeedSource(DisplaySource& source)
{
    return {.Poll = PollDisplay, .context = &source};
}

HANDLE OpenLinePort(const std::string& name, DWORD baudRate, std::string& reason)
{
    SerialPortFailure failure;
    HANDLE port = OpenSerialPort(name.c_str(), baudRate, ReadAtOnceTimeouts, &failure);
    if (port != INVALID_HANDLE_VALUE)
        return port;
    if (failure.error == 0)
        reason = std::string("no port by that name (") + failure.step + ")";
    else
        reason = std::string(failure.step) + " failed: " + SystemMessage(failure.error) + " (error " +
                 std::to_string(failure.error) + ")";
    return INVALID_HANDLE_VALUE;
}

bool OpenSerialSource(SerialSource& source, std::string& reason)
{
    source.port = OpenLinePort(source.name, source.baudRate, reason);
    return source.port != INVALID_HANDLE_VALUE;
}

// The port failed (a USB adapter pulled): said once, and opened again every
// two seconds until it answers.
static void LosePort(SerialSource& source, int64_t nowMs)
{
    DWORD error = GetLastError();
    source.console->Message(source.name + " failed (" + SystemMessage(error) +
                            "); the lines say not valid, and the port is opened again every 2 s");
    CloseSerialSource(source);
    source.reopenAtMs = nowMs + SerialReopenMs;
}

static bool Reopen(SerialSource& source, int64_t nowMs)
{
    std::string reason;
    if (nowMs < source.reopenAtMs)
        return false;
    if (!OpenSerialSource(source, reason)) {
        source.reopenAtMs = nowMs + SerialReopenMs;
        return false;
    }
    source.console->Message(source.name + " is open again");
    source.reader.partial.clear();
    source.lineSeen = false;
    return true;
}

static FeedReading ReadSerial(SerialSource& source, int64_t nowMs)
{
    if (source.port == INVALID_HANDLE_VALUE && !Reopen(source, nowMs))
        return {FeedStatus::NoPort, 0};
    // A pulled adapter fails the read on Windows; a port whose far end has
    // gone (a pty under Wine) still reads nothing, but no longer answers
    // for its state.
    DWORD errors = 0;
    if (!ClearCommError(source.port, &errors, nullptr)) {
        LosePort(source, nowMs);
        return {FeedStatus::NoPort, 0};
    }
    char buffer[256];
    DWORD received = 0;
    do {
        if (!ReadFile(source.port, buffer, sizeof buffer, &received, nullptr)) {
            LosePort(source, nowMs);
            return {FeedStatus::NoPort, 0};
        }
        if (ReadRelayBytes(source.reader, buffer, received, source.last)) {
            source.lineSeen = true;
            source.lastLineMs = nowMs;
        }
    } while (received > 0);
    int64_t staleAfterMs = source.staleAfterMs >= 0          ? source.staleAfterMs
                           : source.reader.lastWasEdgeTech ? EdgeTechStaleMs
                                                             : -1;
    if (!source.lineSeen || (staleAfterMs >= 0 && nowMs - source.lastLineMs > staleAfterMs))
        return {FeedStatus::NoData, 0};
    return source.last;
}

static bool PollSerial(void* context, int64_t nowMs, FeedReading& reading)
{
    reading = ReadSerial(*static_cast<SerialSource*>(context), nowMs);
    return true;
}

FeedSource SerialFeedSource(SerialSource& source)
{
    return {.Poll = PollSerial, .context = &source};
}

void CloseSerialSource(SerialSource& source)
{
    if (source.port != INVALID_HANDLE_VALUE)
        CloseHandle(source.port);
    source.port = INVALID_HANDLE_VALUE;
}
