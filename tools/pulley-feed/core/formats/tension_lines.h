// The winch's load cell, as its monitor sends it: the lines of an
// LCI-90i-style unit, the generic NMEA winch sentence (WNC), the UNOLS
// winch string (WIR) and the NMEA transducer sentence (XDR, force in
// newtons). Each line is taken whole or not at all: a checksum that
// disagrees, a field that is no number, a line of another shape are
// counted and never used.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What the source sends its tension in; the feed shows and logs it so.
enum class TensionUnit { Lbf, Kgf, KiloNewtons };
bool ParseTensionUnit(const std::string& name, TensionUnit& unit);
const char* TensionUnitName(TensionUnit unit);  // lbf, kgf, kN
double NewtonsOf(double value, TensionUnit unit);
double TensionIn(TensionUnit unit, double newtons);

enum class TensionKind { Lci90i, Wnc, Wir, Xdr };
struct TensionFormat {
    TensionKind kind = TensionKind::Lci90i;
    // An LCI-90i's fields between its time and its checksum, as the unit is
    // set up; which of them is the tension.
    std::vector<std::string> fields = {"name", "tension", "speed", "payout"};
    size_t tensionField = 1;
    std::string xdrName = "";  // xdr:NAME takes only that transducer's
};
// lci90i:FIELD,FIELD,... (one of them "tension"), wnc, wir, xdr or
// xdr:NAME; false, with the reason, for anything else.
bool ParseTensionFormat(const std::string& text, TensionFormat& format, std::string& reason);
// The unit the format's lines carry when it fixes one (XDR: newtons, shown
// in kN); false when the source's setting says.
bool FixedTensionUnit(const TensionFormat& format, TensionUnit& unit);

enum class TensionLine {
    Good,
    BadChecksum,  // its checksum disagrees with its bytes
    Refused,      // a sentence of the right shape that carries no force (XDR type F: a frequency)
    NotOurs,      // any other line
};
// A line without its line end: the tension it carries, in the unit of the
// source (XDR: newtons). Control bytes (SOH, RS) are passed over; why says
// what a Refused line is.
TensionLine ReadTensionLine(const TensionFormat& format, const std::string& line, double& tension, std::string& why);

// A line is at most this long: beyond it the bytes up to the next line end
// are one bad line, so an endless line costs no memory.
constexpr size_t MostTensionLineBytes = 200;

// Lines taken from a serial line or datagrams as their bytes come.
struct TensionLineReader {
    std::string partial = "";
    bool overlong = false;  // the line under way passed the most
};
// The whole lines among the bytes, in order (an overlong line as an empty
// one, which no format takes).
void ReadTensionBytes(TensionLineReader& reader, const char* bytes, size_t count, std::vector<std::string>& lines);
