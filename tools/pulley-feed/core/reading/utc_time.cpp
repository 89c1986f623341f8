// UTC times from milliseconds and back, and their ISO text.
#include "reading/utc_time.h"

#include <chrono>
#include <cstdio>
#include <cstring>

UtcTime UtcFromUnixMs(int64_t unixMs)
{
    using namespace std::chrono;
    sys_time<milliseconds> time{milliseconds{unixMs}};
    sys_days day = floor<days>(time);
    year_month_day date{day};
    hh_mm_ss<milliseconds> clock{time - day};
    return {static_cast<int>(date.year()),         static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
            static_cast<int>(clock.subseconds().count())};
}

int64_t UnixMsFromUtc(const UtcTime& time)
{
    using namespace std::chrono;
    sys_days day{year{time.year} / time.month / time.day};
    return (day + hours{time.hour} + minutes{time.minute} + seconds{time.second} + milliseconds{time.millisecond})
        .time_since_epoch()
        .count();
}

// A field of exactly this many digits at text, as a number.
static bool Digits(const char* text, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; i++) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool ParseIsoTime(const char* text, int64_t& unixMs)
{
    UtcTime time{};
    if (std::strlen(text) < 19 || !Digits(text, 4, time.year) || text[4] != '-' ||
        !Digits(text + 5, 2, time.month) || text[7] != '-' || !Digits(text + 8, 2, time.day) || text[10] != 'T' ||
        !Digits(text + 11, 2, time.hour) || text[13] != ':' || !Digits(text + 14, 2, time.minute) ||
        text[16] != ':' || !Digits(text + 17, 2, time.second))
        return false;
    const char* rest = text + 19;
    if (*rest == '.') {
        size_t places = std::strspn(rest + 1, "0123456789");
        if (places < 1 || places > 3 || !Digits(rest + 1, static_cast<int>(places), time.millisecond))
            return false;
        for (size_t i = places; i < 3; i++)
            time.millisecond *= 10;
        rest += 1 + places;
    }
    using namespace std::chrono;
    year_month_day date{year{time.year}, month{static_cast<unsigned>(time.month)}, day{static_cast<unsigned>(time.day)}};
    if (*rest != '\0' || !date.ok() || time.hour > 23 || time.minute > 59 || time.second > 59)
        return false;
    unixMs = UnixMsFromUtc(time);
    return true;
}

std::string IsoTimeText(const UtcTime& time)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", time.year, time.month, time.day,
                  time.hour, time.minute, time.second, time.millisecond);
    return text;
}
