// Any bytes as a settings file: the load must stay in bounds, terminate the
// names, keep every byte it can, and everything the program then makes from
// the record (texts, relay lines) must stay in its buffers.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <cstdlib>
#include <cstring>

#include "count_text.h"
#include "settings.h"

struct Input {
    const uint8_t* data;
    size_t size;
};

static int ReadInput(void* context, void* buffer, int size)
{
    const Input& input = *static_cast<const Input*>(context);
    size_t length = input.size < static_cast<size_t>(size) ? input.size : static_cast<size_t>(size);
    std::memcpy(buffer, input.data, length);
    return static_cast<int>(length);
}
static bool Refuse(void*, const void*, int) { return false; }
static void NoBox(void*) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input{data, size};
    SettingsFile file = {.Read = ReadInput, .Replace = Refuse, .ShowSaveFailure = NoBox, .context = &input};
    SettingsRecord record;
    if (!LoadSettings(record, file))
        std::abort();
    if (std::strlen(record.pulleyPort) > 15 || std::strlen(record.relayPort) > 15)
        std::abort();
    // Every byte as read, but the last of a name field that held no NUL.
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&record);
    for (size_t i = 0; i < SettingsRecordSize; i++) {
        uint8_t expected = i < size ? data[i] : 0;
        for (size_t field : {offsetof(SettingsRecord, pulleyPort), offsetof(SettingsRecord, relayPort)})
            if (i == field + PortNameSize - 1 && std::memchr(raw + field, 0, PortNameSize - 1) == nullptr)
                expected = 0;
        if (raw[i] != expected)
            std::abort();
    }
    for (bool connected : {false, true}) {
        DisplayText text = FormatCount(static_cast<int32_t>(record.relayBaudIndex), record.units, connected);
        RelayLine line = BuildRelayMessage(record.relayFormat, text.text);
        if (std::strlen(text.text) > 13 || line.length < 0 || line.length > RelayLineSize)
            std::abort();
    }
    return 0;
}
