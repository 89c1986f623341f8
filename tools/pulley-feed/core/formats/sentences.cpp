// The lines the feed sends, each format built here.
#include "formats/sentences.h"

#include <cstdio>

#include "count_text.h"

bool ParseFeedFormat(const std::string& name, FeedFormat& format)
{
    if (name == "nmea")
        format = FeedFormat::Nmea;
    else if (name == "display")
        format = FeedFormat::Display;
    else if (name == "tcount")
        format = FeedFormat::TCount;
    else if (name == "edgetech")
        format = FeedFormat::EdgeTech;
    else if (name == "xdr")
        format = FeedFormat::Xdr;
    else
        return false;
    return true;
}

const char DefaultXdrName[] = "WINDLASS#0";

bool IsNmeaText(const std::string& text)
{
    for (char c : text)
        if (c < ' ' || c > '}' || c == '$' || c == '*' || c == ',' || c == '!' || c == '\\' || c == '^')
            return false;
    return true;
}

std::string NmeaSentence(const std::string& body)
{
    char end[8];
    std::snprintf(end, sizeof end, "*%02X\r\n", NmeaChecksum(body));
    return "$" + body + end;
}

uint8_t NmeaChecksum(const std::string& body)
{
    uint8_t sum = 0;
    for (char c : body)
        sum ^= static_cast<uint8_t>(c);
    return sum;
}

std::string BuildSentence(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate)
{
    char fields[96];
    std::snprintf(fields, sizeof fields, "PKVNC,%02d%02d%02d.%02d,", time.hour, time.minute, time.second,
                  time.millisecond / 10);
    std::string body = fields;
    if (HasCount(reading))
        body.append(std::to_string(reading.metres));
    return NmeaSentence(body.append(",").append(RateText(rate)).append(reading.status == FeedStatus::Valid ? ",A" : ",V"));
}

std::string BuildFeedLine(FeedFormat format, const UtcTime& time, const FeedReading& reading,
                          const PayoutRate& rate, const std::string& xdrName)
{
    if (format == FeedFormat::Nmea)
        return BuildSentence(time, reading, rate);
    if (format == FeedFormat::Xdr)
        return NmeaSentence("IIXDR,D," +
                        (reading.status == FeedStatus::Valid ? std::to_string(reading.metres) : std::string()) +
                        ",M," + xdrName);
    RelayFormat relay = format == FeedFormat::Display ? DisplayLine
                        : format == FeedFormat::TCount ? TCount
                                                       : TCountEdgeTech;
    RelayLine line = BuildRelayMessage(relay, FormatCount(reading.metres, Metres, HasCount(reading)).text);
    return std::string(line.bytes, static_cast<size_t>(line.length));
}

const char TensionXdrName[] = "TENSION";

std::string BuildTensionSentence(double newtons)
{
    char body[64];
    std::snprintf(body, sizeof body, "IIXDR,N,%.0f,N,%s", newtons, TensionXdrName);
    return NmeaSentence(body);
}
