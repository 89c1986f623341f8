// The load cell's newest good line, and the silence after it.
#include "watch/tension_watch.h"

TensionLine TakeTensionLine(TensionWatch& watch, const std::string& line, int64_t monotonicMs, int64_t utcMs)
{
    double tension = 0;
    std::string why;
    TensionLine kind = ReadTensionLine(watch.format, line, tension, why);
    if (kind != TensionLine::Good) {
        watch.badLines++;
        if (kind == TensionLine::Refused) {
            watch.refusedLines++;
            watch.refusal = why;
        }
        return kind;
    }
    if (watch.format.kind == TensionKind::Xdr)
        tension = TensionIn(watch.unit, tension);  // newtons on the line
    watch.goodLines++;
    watch.latest = tension;
    watch.latestMs = monotonicMs;
    watch.latestUtcMs = utcMs;
    return kind;
}

std::optional<double> TensionNow(const TensionWatch& watch, int64_t monotonicMs)
{
    if (!watch.latest || monotonicMs - watch.latestMs >= TensionSilentMs)
        return std::nullopt;
    return watch.latest;
}
