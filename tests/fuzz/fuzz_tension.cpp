// The load cell's lines in one format (TENSION_FORMAT), as any bytes may
// bring them: the reader holds no more than a line's most, a line taken is
// a finite number, and a line taken stays so with framing bytes around it.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/tension_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TensionFormat format = [] {
        TensionFormat parsed;
        std::string reason;
        if (!ParseTensionFormat(TENSION_FORMAT, parsed, reason))
            std::abort();
        return parsed;
    }();
    TensionLineReader reader;
    std::vector<std::string> lines;
    ReadTensionBytes(reader, reinterpret_cast<const char*>(data), size, lines);
    if (reader.partial.size() > MostTensionLineBytes)
        std::abort();
    for (const std::string& line : lines) {
        double tension = 0, again = 0;
        std::string why;
        if (line.size() > MostTensionLineBytes)
            std::abort();
        if (ReadTensionLine(format, line, tension, why) != TensionLine::Good)
            continue;
        if (!std::isfinite(tension) ||
            ReadTensionLine(format, "\x01" + line + "\x1e", again, why) != TensionLine::Good || again != tension)
            std::abort();
    }
    return 0;
}
