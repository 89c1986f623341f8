#include "sources.h"

#include "serial_port.h"
#include "shared_constants.h"

// Long enough for a display waiting on a silent pulley (about 210 ms), short
// enough that a hung one does not hold the network for long.
constexpr UINT DisplayAnswerMs = 300;
constexpr int64_t SerialSilenceMs = 3000;

bool DisplayRunning()
{
    return FindWindowA(PULLEY_WINDOW_CLASS, nullptr) != nullptr;
}

static bool AskDisplay(HWND window, UINT message, DWORD_PTR& answer)
{
    return SendMessageTimeoutA(window, message, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, DisplayAnswerMs, &answer) != 0;
}

FeedReading PollDisplay(DisplaySource& source, int64_t nowMs)
{
    if (source.window == nullptr || !IsWindow(source.window))
        source.window = FindWindowA(PULLEY_WINDOW_CLASS, nullptr);
    DWORD_PTR metres = 0, status = 0;
    if (source.window == nullptr || !AskDisplay(source.window, UM_GETMETRES, metres) ||
        !AskDisplay(source.window, UM_GETSTATUS, status)) {
        source.window = nullptr;
        source.connectedSince = -1;
        return {FeedStatus::NoDisplay, 0};
    }
    if (!(status & PULLEY_STATUS_CONNECTED))
        source.connectedSince = -1;
    else if (source.connectedSince < 0)
        source.connectedSince = nowMs;
    double secondsConnected = source.connectedSince < 0 ? 0 : static_cast<double>(nowMs - source.connectedSince) / 1000;
    // Both answers travel in the low 32 bits of the result.
    return ReadingFromDisplay(static_cast<int32_t>(metres), static_cast<uint32_t>(status), secondsConnected);
}

bool OpenSerialSource(SerialSource& source, const char* name, DWORD baudRate, bool edgeTechFeet,
                      std::string& reason)
{
    source = SerialSource{.port = INVALID_HANDLE_VALUE,
                          .edgeTechFeet = edgeTechFeet,
                          .partial = "",
                          .last = {FeedStatus::NoData, 0},
                          .lastLineMs = 0};
    SetLastError(0);
    source.port = OpenSerialPort(name, baudRate, ReadAtOnceTimeouts);
    if (source.port == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        reason = error != 0 ? SystemMessage(error) : "not a serial port";
        return false;
    }
    return true;
}

FeedReading PollSerial(SerialSource& source, int64_t nowMs)
{
    char buffer[256];
    DWORD received = 0;
    while (ReadFile(source.port, buffer, sizeof buffer, &received, nullptr) && received > 0) {
        for (DWORD i = 0; i < received; i++) {
            char c = buffer[i];
            if (c != '\r' && c != '\n') {
                if (source.partial.size() < 64)  // no relay line is longer; noise is cut
                    source.partial += c;
                continue;
            }
            FeedReading reading;
            if (!source.partial.empty() && ParseRelayLine(source.partial, source.edgeTechFeet, reading)) {
                source.last = reading;
                source.lastLineMs = nowMs;
            }
            source.partial.clear();
        }
    }
    if (source.lastLineMs == 0 || nowMs - source.lastLineMs > SerialSilenceMs)
        return {FeedStatus::NoData, 0};
    return source.last;
}

std::string SystemMessage(DWORD code)
{
    char text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.'))
        text[--length] = '\0';
    if (length == 0)
        return "error " + std::to_string(code);
    return text;
}
