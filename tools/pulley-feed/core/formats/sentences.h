// The lines the feed sends: our NMEA sentence, the standard transducer
// sentence, and the display's own relay lines made from the count.
#pragma once

#include <cstdint>
#include <string>

#include "reading/payout_rate.h"
#include "reading/reading.h"
#include "reading/utc_time.h"

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
// The tension as the transducer sentence has a force: $IIXDR,N,newtons,N,
// TENSION*hh.
extern const char TensionXdrName[];
std::string BuildTensionSentence(double newtons);
