// pulley-feed's lines: what a reading of the count means, the lines made
// from it (our NMEA sentence and the display's own relay lines), the payout
// rate, the relay lines read back from a serial line, the survey log's rows,
// and when a line is due. Portable: it is built natively for its tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Why a count is, or is not, one to trust.
enum class FeedStatus {
    Valid,
    NotYetRead,    // connected, but the display has not read the pulley yet
    LostLink,      // the display lost the link to the pulley
    NotConnected,  // the display is not connected to a pulley
    NoDisplay,     // no display answers (closed or hung)
    NoData,        // the serial line brought no relay line for a while
    NoPort,        // the serial port failed (an adapter pulled) and is being opened again
    TestValue,     // the display's Test Value dialog is open: a typed value
};
const char* StatusWord(FeedStatus status);  // for the log and the console

struct FeedReading {
    FeedStatus status;
    int32_t metres;    // meaningful when Valid or TestValue
    int presets = -1;  // the display's count of presets and resets (0-255); -1: the source cannot tell
};
bool HasCount(const FeedReading& reading);  // Valid or TestValue

// A reading with the two times it was taken at: the monotonic clock, which
// never steps and schedules everything, and the wall clock (UTC), which only
// stamps the lines and rows.
struct TimedReading {
    FeedReading reading;
    int64_t monotonicMs;
    int64_t utcMs;  // since 1970-01-01
};

// UTC time of day and date, to the millisecond.
struct UtcTime {
    int year, month, day, hour, minute, second, millisecond;
};
UtcTime UtcFromUnixMs(int64_t unixMs);
int64_t UnixMsFromUtc(const UtcTime& time);
// YYYY-MM-DDTHH:MM:SS[.mmm], every field its full width and the date one
// that exists.
bool ParseIsoTime(const char* text, int64_t& unixMs);
std::string IsoTimeText(const UtcTime& time);  // 2026-12-08T12:34:56.789Z

// The payout rate in metres a minute (positive paying out) over the valid
// readings of the last 10 s, by least squares; not known until two exist.
struct RateSample {
    int64_t monotonicMs;
    int32_t metres;
};
struct PayoutRate {
    std::vector<RateSample> samples;  // the last 10 s, oldest first
};
void AddToRate(PayoutRate& rate, int64_t monotonicMs, int32_t metres);
bool RateKnown(const PayoutRate& rate);
double MetresPerMinute(const PayoutRate& rate);

// A preset or a reset between two valid readings is no payout, and starts
// the rate afresh. The display says when it made one (its count of presets
// changes with the count after it); a preset it did not make (at the pulley
// itself) or a source that cannot tell (a relay line) shows as a jump of
// more than 10 m between two readings. The display reads the pulley once a
// second, so that is 600 m/min, more than twice the fastest oceanographic
// winches (about 4 m/s hauling in): no payout makes it, even across a
// display tick or two that came late.
constexpr int32_t PresetJumpMetres = 10;
bool IsPreset(const FeedReading& before, const FeedReading& after);

enum class FeedFormat { Nmea, Display, TCount, EdgeTech, Xdr };
bool ParseFeedFormat(const std::string& name, FeedFormat& format);
// The transducer name of the XDR sentence, which one chart program's
// dashboard shows as a windlass's rode count.
extern const char DefaultXdrName[];
bool IsNmeaText(const std::string& text);  // no character NMEA 0183 keeps for itself

uint8_t NmeaChecksum(const std::string& body);  // XOR of the characters between $ and *
std::string NmeaSentence(const std::string& body);  // $, the body, * and its checksum, CR LF
// $PKVNC,hhmmss.ss,metres,rate,A*hh CR LF; metres and rate empty where not
// known, A for a valid count and V for anything else.
std::string BuildSentence(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate);
// A line in the chosen format: our sentence; the standard transducer
// sentence, $IIXDR,D,metres,M,name*hh (displacement in metres; the value
// empty when the count is not valid); or the display's relay line made from
// the metres count (dashes when there is no count to show).
std::string BuildFeedLine(FeedFormat format, const UtcTime& time, const FeedReading& reading,
                          const PayoutRate& rate, const std::string& xdrName = DefaultXdrName);

// The reading as JSON, the same values as its sentence, for the page and
// other programs: metres, feet (the display's feet) and the display's texts
// in both units, valid, the status word, the rate and the UTC time, then
// the further fields given ("name":value,...).
std::string BuildReadingJson(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate,
                             const std::string& moreFields = "");

// A relay line read back from a serial line, in any of the display's three
// formats. An EdgeTech line carries no unit: edgeTechFeet says which it is.
// False for a line that is none of them.
bool ParseRelayLine(const std::string& line, bool edgeTechFeet, FeedReading& reading);
// The metres count whose feet text is this number (the display's feet are
// the metres times 3.28, truncated); false when no single count gives it.
bool MetresFromFeet(int32_t feet, int32_t& metres);

// Relay lines taken from a serial line as its bytes come.
struct RelayLineReader {
    bool edgeTechFeet;
    std::string partial;    // the bytes of a line not yet ended
    bool lastWasEdgeTech;   // EdgeTech's line comes every second; the others only on a change
};
// True when a whole relay line was among the bytes; latest is the last one's reading.
bool ReadRelayBytes(RelayLineReader& reader, const char* bytes, size_t count, FeedReading& latest);

// The survey log: one CSV file a UTC day.
std::string LogFileName(const UtcTime& time);  // pulley-YYYY-MM-DD.csv
extern const char LogHeader[];
// utc,metres,status,rate_m_per_min,wire_left_m,note: the wire left empty
// when not known, the note empty but for alarms and dropped rows.
std::string BuildLogLine(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate,
                         const std::string& wireLeft = "", const std::string& note = "");
// The row that stands for rows the log could not keep: when, and how many.
std::string BuildDroppedRow(int64_t firstUtcMs, int64_t lastUtcMs, uint64_t rows);

// The feed asks its source for the reading this often.
constexpr int FeedPollPeriodMs = 250;

// When lines are due: on every new reading or status, and at least every
// interval while nothing changes. Times are the monotonic clock's.
struct Schedule {
    int64_t intervalMs;
    bool sent;
    int64_t lastMs;
    FeedReading last;
};
// True when a line is due now; it then counts as sent.
bool LineDue(Schedule& schedule, int64_t nowMs, const FeedReading& reading);
