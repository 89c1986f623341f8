// The load cell's lines: two real LCI-90i recordings read whole, a byte
// changed caught by the checksum, the other formats and their refusals, an
// endless line.
#include <gtest/gtest.h>

#include <fstream>

#include "formats/sentences.h"
#include "formats/tension_lines.h"

static TensionFormat Format(const std::string& text)
{
    TensionFormat format;
    std::string reason;
    EXPECT_TRUE(ParseTensionFormat(text, format, reason)) << reason;
    return format;
}

static TensionLine Read(const TensionFormat& format, const std::string& line, double& tension)
{
    std::string why;
    return ReadTensionLine(format, line, tension, why);
}

TEST(TensionLines, RecordedLci90iLinesAndTheirChecksums)
{
    TensionFormat format = Format("lci90i:name,tension,speed,payout");
    for (const char* file : {"lci90i-trawl-winch.txt", "lci90i-waterfall-winch.txt"}) {
        std::ifstream recorded(std::string(PULLEY_TEST_DATA) + "/winch-lines/" + file, std::ios::binary);
        std::string logged, first;
        int good = 0;
        while (std::getline(recorded, logged)) {
            std::string line = logged.substr(logged.find(' ') + 1);  // after the logger's own time
            double tension = 0;
            ASSERT_EQ(Read(format, line, tension), TensionLine::Good) << line;
            good++;
            if (first.empty())
                first = line;
        }
        EXPECT_EQ(good, 400) << file;
        // Each byte changed once: caught by the checksum, or no line of ours.
        for (size_t at = 1; at < first.size(); at++) {
            std::string changed = first;
            changed[at] = changed[at] == '1' ? '2' : '1';
            double tension = 0;
            EXPECT_NE(Read(format, changed, tension), TensionLine::Good) << changed;
        }
    }
    double tension = 0;
    EXPECT_EQ(Read(format, "\x01" "02RD,2014-08-01T00:28:38.351,STBD TRAWL,00000061,000000.0,-00034.0,3596", tension),
              TensionLine::Good);
    EXPECT_EQ(tension, 61);
    // A unit set up without a name, with its fields so configured; a record separator before it.
    std::string unnamed = "\x1e" "03RD,2022-05-14T16:17:36.502,-0000168,00000000,-00004.8,2839";
    EXPECT_EQ(Read(format, unnamed, tension), TensionLine::NotOurs);
    EXPECT_EQ(Read(Format("lci90i:tension,speed,payout"), unnamed, tension), TensionLine::Good);
    EXPECT_EQ(tension, -168);
}

TEST(TensionLines, TheOtherFormatsAndWhatTheyRefuse)
{
    double tension = 0;
    std::string why;
    EXPECT_EQ(Read(Format("wnc"), NmeaSentence("WIWNC,1,2839.5,42.0,1250.0").substr(0, 35), tension),
              TensionLine::Good);
    EXPECT_EQ(tension, 2839.5);
    EXPECT_EQ(Read(Format("wnc"), "$WIWNC,1,2839.5,42.0,1250.0*00", tension), TensionLine::BadChecksum);
    std::string wir = "$WIR,2026-12-09,10:42:11.250,2839,42.0,1250.0,0,0,";
    int sum = 0;
    for (char c : wir)
        sum += static_cast<unsigned char>(c);
    EXPECT_EQ(Read(Format("wir"), wir + std::to_string(sum), tension), TensionLine::Good);
    EXPECT_EQ(tension, 2839);
    EXPECT_EQ(Read(Format("wir"), wir + std::to_string(sum + 1), tension), TensionLine::BadChecksum);
    std::string force = NmeaSentence("IIXDR,N,12630,N,TENSION"), frequency = NmeaSentence("IIXDR,F,50.0,H,TENSION");
    EXPECT_EQ(Read(Format("xdr"), force.substr(0, force.size() - 2), tension), TensionLine::Good);
    EXPECT_EQ(tension, 12630);
    EXPECT_EQ(ReadTensionLine(Format("xdr"), frequency.substr(0, frequency.size() - 2), tension, why),
              TensionLine::Refused);
    EXPECT_NE(why.find("frequency"), std::string::npos) << why;
    EXPECT_EQ(Read(Format("xdr:OTHER"), force.substr(0, force.size() - 2), tension), TensionLine::NotOurs);
    TensionFormat refused;
    for (const char* text : {"lci90i:name,speed", "lci90i:tension,tension", "nmea", "wnc:x", "xdr:A,B"})
        EXPECT_FALSE(ParseTensionFormat(text, refused, why)) << text;
    TensionUnit unit;
    EXPECT_TRUE(ParseTensionUnit("kN", unit) && NewtonsOf(2, unit) == 2000);
    EXPECT_NEAR(TensionIn(TensionUnit::Lbf, NewtonsOf(2839, TensionUnit::Lbf)), 2839, 1e-9);
    EXPECT_NEAR(NewtonsOf(1, TensionUnit::Kgf), 9.80665, 1e-12);

    // An endless line costs no memory and makes one bad line; the next is whole.
    TensionLineReader reader;
    std::vector<std::string> lines;
    std::string endless(100000, '7');
    ReadTensionBytes(reader, endless.data(), endless.size(), lines);
    EXPECT_LE(reader.partial.size(), MostTensionLineBytes);
    std::string next = "\r\n\n$WIWNC,1\r\n";
    ReadTensionBytes(reader, next.data(), next.size(), lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"", "$WIWNC,1"}));
}
