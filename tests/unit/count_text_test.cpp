#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "count_text.h"

static std::string Text(int32_t count, uint8_t units, bool connected)
{
    return FormatCount(count, units, connected).text;
}

static std::string Line(int32_t format, const std::string& text)
{
    RelayLine line = BuildRelayMessage(format, text.c_str());
    return std::string(line.bytes, static_cast<size_t>(line.length));
}

TEST(Conversions, MetresToFeetTruncatesTowardZero)
{
    EXPECT_EQ(MetresToFeet(12), 39);
    EXPECT_EQ(MetresToFeet(25), 82);
    EXPECT_EQ(MetresToFeet(100), 328);
    EXPECT_EQ(MetresToFeet(-5), -16);
    EXPECT_EQ(MetresToFeet(-1), -3);
    EXPECT_EQ(MetresToFeet(0), 0);
}

TEST(Conversions, MetresToFeetOutOfRangeGivesInt32Min)
{
    EXPECT_EQ(MetresToFeet(LostReading), INT32_MIN);
    EXPECT_EQ(MetresToFeet(INT32_MIN), INT32_MIN);
    // Either side of the edge of the range.
    EXPECT_EQ(MetresToFeet(654720624), 2147483646);
    EXPECT_EQ(MetresToFeet(654720625), INT32_MIN);
    EXPECT_EQ(MetresToFeet(-654720624), -2147483646);
    EXPECT_EQ(MetresToFeet(-654720625), INT32_MIN);
}

TEST(Conversions, FeetToMetresAddsHalfThenTruncates)
{
    EXPECT_EQ(FeetToMetres(100), 30);
    EXPECT_EQ(FeetToMetres(33), 10);
    EXPECT_EQ(FeetToMetres(-100), -29);  // not -30: the half is added before truncation
    EXPECT_EQ(FeetToMetres(-1), 0);
    EXPECT_EQ(FeetToMetres(39), 12);
    EXPECT_EQ(FeetToMetres(32000), 9756);
    EXPECT_EQ(FeetToMetres(INT32_MIN), -654720623);
    EXPECT_EQ(FeetToMetres(INT32_MAX), 654720624);
}

TEST(FormatCount, MetresConnected)
{
    EXPECT_EQ(Text(12, Metres, true), "+0012m");
    EXPECT_EQ(Text(-5, Metres, true), "-0005m");
    EXPECT_EQ(Text(0, Metres, true), "+0000m");
    EXPECT_EQ(Text(10000, Metres, true), "+10000m");
    EXPECT_EQ(Text(NoReading, Metres, true), "+9999m");
}

TEST(FormatCount, FeetConnected)
{
    EXPECT_EQ(Text(12, Feet, true), "+00039ft");
    EXPECT_EQ(Text(-5, Feet, true), "-00016ft");
    EXPECT_EQ(Text(100, Feet, true), "+00328ft");
    EXPECT_EQ(Text(-1, Feet, true), "-00003ft");
}

TEST(FormatCount, NotConnectedShowsDashesWhateverTheCount)
{
    for (int32_t count : {0, 12, -5, NoReading, LostReading, INT32_MIN}) {
        EXPECT_EQ(Text(count, Metres, false), "-----m");
        EXPECT_EQ(Text(count, Feet, false), "------ft");
    }
}

TEST(FormatCount, ExtremesFitThirteenCharacters)
{
    EXPECT_EQ(Text(INT32_MIN, Metres, true), "-2147483648m");
    EXPECT_EQ(Text(LostReading, Feet, true), "-2147483648ft");
    EXPECT_EQ(Text(LostReading, Feet, true).size(), 13u);
}

TEST(FormatCount, UnknownUnitsByteGivesNoText)
{
    EXPECT_EQ(Text(12, 2, true), "");
    EXPECT_EQ(Text(12, 255, false), "");
}

TEST(RelayMessage, EachFormatInMetres)
{
    EXPECT_EQ(Line(DisplayLine, "+0012m"), "+0012m\r");
    EXPECT_EQ(Line(TCount, "+0012m"), "1:+0012m\r\n");
    EXPECT_EQ(Line(TCountEdgeTech, "+0012m"), "1:+0012\r\n");
}

TEST(RelayMessage, EachFormatInFeetAndDashes)
{
    EXPECT_EQ(Line(DisplayLine, "+00039ft"), "+00039ft\r");
    EXPECT_EQ(Line(TCount, "+00039ft"), "1:+00039ft\r\n");
    EXPECT_EQ(Line(TCountEdgeTech, "+00039ft"), "1:+00039\r\n");
    EXPECT_EQ(Line(DisplayLine, "-----m"), "-----m\r");
    EXPECT_EQ(Line(TCount, "-----m"), "1:-----m\r\n");
    EXPECT_EQ(Line(TCountEdgeTech, "-----m"), "1:-----\r\n");
    EXPECT_EQ(Line(TCountEdgeTech, "------ft"), "1:------\r\n");
}

// The EdgeTech line carries the whole number without its unit, however long.
TEST(RelayMessage, LongCountsAreSentWhole)
{
    EXPECT_EQ(Line(TCountEdgeTech, Text(9999, Metres, true)), "1:+9999\r\n");
    EXPECT_EQ(Line(TCountEdgeTech, Text(10033, Metres, true)), "1:+10033\r\n");
    EXPECT_EQ(Line(TCountEdgeTech, Text(-10033, Metres, true)), "1:-10033\r\n");
    EXPECT_EQ(Line(TCountEdgeTech, Text(10033, Feet, true)), "1:+32908\r\n");
    EXPECT_EQ(Line(TCountEdgeTech, Text(LostReading, Feet, true)), "1:-2147483648\r\n");
    EXPECT_EQ(Line(TCount, Text(INT32_MIN, Feet, true)).size(), 17u);  // the longest line
}

TEST(RelayMessage, NoLineForNotUsedOrUnknownFormats)
{
    for (int32_t format : {3, 4, -1, INT32_MAX, INT32_MIN})
        EXPECT_EQ(BuildRelayMessage(format, "+0012m").length, 0) << format;
}
