#include "count_text.h"

#include <cctype>
#include <cfloat>
#include <cstdio>
#include <cstring>

// The feet value is the product rounded to a double and then truncated. A
// compiler that keeps doubles at a wider precision (the x87 unit, the i686
// default) leaves 25 x 3.28 just under 82 and shows 81 ft: one count in 28
// comes out a foot short. The i686 build computes with SSE2 for this.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must round to double");

// The pulley maker's display truncates with the processor's conversion, which
// yields INT32_MIN for anything out of range; a C++ cast would be undefined
// there, so that value is produced explicitly.
static int32_t TruncateToInt32(double value)
{
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t MetresToFeet(int32_t metres)
{
    return TruncateToInt32(metres * FeetPerMetre);
}

// Adds the half before truncating toward zero, so negative halves do not
// round to nearest: -100 ft gives -29 m. Presets already stored on pulleys
// were made this way, so it stays.
int32_t FeetToMetres(int32_t feet)
{
    return TruncateToInt32(feet / FeetPerMetre + 0.5);
}

DisplayText FormatCount(int32_t count, uint8_t units, bool connected)
{
    DisplayText out{};
    if (units == Feet) {
        if (connected)
            std::snprintf(out.text, sizeof out.text, "%+06ift", static_cast<int>(MetresToFeet(count)));
        else
            std::snprintf(out.text, sizeof out.text, "------ft");
    } else if (units == Metres) {
        if (connected)
            std::snprintf(out.text, sizeof out.text, "%+05im", static_cast<int>(count));
        else
            std::snprintf(out.text, sizeof out.text, "-----m");
    }
    return out;
}

static void Append(RelayLine& line, const char* bytes, size_t length)
{
    std::memcpy(line.bytes + line.length, bytes, length);
    line.length += static_cast<int>(length);
}

// The length of a display text without its unit suffix ("m" or "ft").
static size_t WithoutUnit(const char* text, size_t length)
{
    while (length > 0 && std::isalpha(static_cast<unsigned char>(text[length - 1])))
        length--;
    return length;
}

RelayLine BuildRelayMessage(int32_t format, const char* text)
{
    RelayLine line{};
    size_t textLength = strnlen(text, DisplayTextSize - 1);
    switch (format) {
    case DisplayLine:
        Append(line, text, textLength);
        Append(line, "\r", 1);
        break;
    case TCount:
        Append(line, "1:", 2);
        Append(line, text, textLength);
        Append(line, "\r\n", 2);
        break;
    case TCountEdgeTech:
        // EdgeTech equipment takes the number without a unit. The whole
        // number: cut at five characters, 10,033 m would go out as 1003 and
        // 39 ft as 3.
        Append(line, "1:", 2);
        Append(line, text, WithoutUnit(text, textLength));
        Append(line, "\r\n", 2);
        break;
    default:
        break;
    }
    return line;
}
