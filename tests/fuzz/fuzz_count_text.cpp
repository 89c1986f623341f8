// Any count, units byte, connection state and relay format: the texts fit
// their buffers, keep their shape, and the conversions never misbehave.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "count_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 10)
        return 0;
    int32_t count, format;
    std::memcpy(&count, data, 4);
    std::memcpy(&format, data + 4, 4);
    uint8_t units = data[8];
    bool connected = data[9] & 1;
    DisplayText text = FormatCount(count, units, connected);
    size_t length = strnlen(text.text, sizeof text.text);
    if (length > 13)
        std::abort();
    if (units <= Feet && text.text[length - 1] != (units == Feet ? 't' : 'm'))
        std::abort();
    RelayLine line = BuildRelayMessage(format, text.text);
    if (line.length < 0 || line.length > RelayLineSize)
        std::abort();
    if ((format < DisplayLine || format > TCountEdgeTech) && line.length != 0)
        std::abort();
    int32_t feet = MetresToFeet(count);
    int32_t metres = FeetToMetres(count);
    // Within the range the round trip is exact for counts of zero or more.
    if (count >= 0 && count < 600000000 && FeetToMetres(feet) != count)
        std::abort();
    (void)metres;
    return 0;
}
