// The load cell's lines read, each format here.
#include "formats/tension_lines.h"

#include <cstdlib>

#include "formats/sentences.h"
#include "tool_args.h"

// Newtons in one of each unit.
constexpr double NewtonsPerLbf = 4.4482216152605, NewtonsPerKgf = 9.80665, NewtonsPerKiloNewton = 1000;

bool ParseTensionUnit(const std::string& name, TensionUnit& unit)
{
    for (TensionUnit each : {TensionUnit::Lbf, TensionUnit::Kgf, TensionUnit::KiloNewtons})
        if (name == TensionUnitName(each)) {
            unit = each;
            return true;
        }
    return false;
}

const char* TensionUnitName(TensionUnit unit)
{
    switch (unit) {
    case TensionUnit::Kgf: return "kgf";
    case TensionUnit::KiloNewtons: return "kN";
    case TensionUnit::Lbf: break;
    }
    return "lbf";
}

static double NewtonsPer(TensionUnit unit)
{
    switch (unit) {
    case TensionUnit::Kgf: return NewtonsPerKgf;
    case TensionUnit::KiloNewtons: return NewtonsPerKiloNewton;
    case TensionUnit::Lbf: break;
    }
    return NewtonsPerLbf;
}

double NewtonsOf(double value, TensionUnit unit)
{
    return value * NewtonsPer(unit);
}

double TensionIn(TensionUnit unit, double newtons)
{
    return newtons / NewtonsPer(unit);
}

static std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : text)
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    return parts;
}

bool ParseTensionFormat(const std::string& text, TensionFormat& format, std::string& reason)
{
    format = TensionFormat{};
    std::string kind = text.substr(0, text.find(':')), rest = text.size() > kind.size() ? text.substr(kind.size() + 1) : "";
    if ((kind == "wnc" || kind == "wir") && rest.empty()) {
        format.kind = kind == "wnc" ? TensionKind::Wnc : TensionKind::Wir;
        return true;
    }
    if (kind == "xdr" && IsNmeaText(rest)) {
        format.kind = TensionKind::Xdr;
        format.xdrName = rest;
        return true;
    }
    if (kind == "lci90i") {
        format.kind = TensionKind::Lci90i;
        if (!rest.empty())
            format.fields = Split(rest, ',');
        size_t tensions = 0;
        for (size_t i = 0; i < format.fields.size(); i++)
            if (format.fields[i] == "tension") {
                format.tensionField = i;
                tensions++;
            }
        if (tensions == 1 && format.fields.size() <= 16)
            return true;
        reason = "lci90i's fields name one \"tension\" among up to 16, in the unit's order, such as "
                 "lci90i:name,tension,speed,payout";
        return false;
    }
    reason = "the tension's format is lci90i[:FIELD,...], wnc, wir or xdr[:NAME], not \"" + text + "\"";
    return false;
}

bool FixedTensionUnit(const TensionFormat& format, TensionUnit& unit)
{
    if (format.kind != TensionKind::Xdr)
        return false;
    unit = TensionUnit::KiloNewtons;
    return true;
}

// The decimal sum of the bytes up to and including the last comma: the
// checksum LCI-90i units and the UNOLS string end with.
static bool ByteSumHolds(const std::string& line)
{
    size_t last = line.rfind(',');
    long long said = 0, sum = 0;
    if (last == std::string::npos || !ParseWholeNumber(line.c_str() + last + 1, said))
        return false;
    for (size_t i = 0; i <= last; i++)
        sum += static_cast<unsigned char>(line[i]);
    return sum == said;
}

// $ body * hh: the body, when its checksum holds.
static bool NmeaBody(const std::string& line, std::string& body)
{
    size_t star = line.rfind('*');
    if (line.size() < 2 || line[0] != '$' || star == std::string::npos || star + 3 != line.size())
        return false;
    body = line.substr(1, star - 1);
    char* end = nullptr;
    long said = std::strtol(line.c_str() + star + 1, &end, 16);
    return *end == '\0' && said == NmeaChecksum(body);
}

static bool Number(const std::string& text, double& value)
{
    return ParseDecimal(text.c_str(), value);
}

static TensionLine ReadLci90i(const TensionFormat& format, const std::string& line, double& tension)
{
    std::vector<std::string> fields = Split(line, ',');
    if (fields.size() != format.fields.size() + 3 || fields[0].size() < 3 ||
        fields[0].compare(fields[0].size() - 2, 2, "RD") != 0)
        return TensionLine::NotOurs;
    if (!ByteSumHolds(line))
        return TensionLine::BadChecksum;
    return Number(fields[2 + format.tensionField], tension) ? TensionLine::Good : TensionLine::NotOurs;
}

static TensionLine ReadWir(const std::string& line, double& tension)
{
    std::vector<std::string> fields = Split(line, ',');
    if (fields.size() != 9 || fields[0] != "$WIR")
        return TensionLine::NotOurs;
    if (!ByteSumHolds(line))
        return TensionLine::BadChecksum;
    return Number(fields[3], tension) ? TensionLine::Good : TensionLine::NotOurs;
}

static TensionLine ReadNmea(const TensionFormat& format, const std::string& line, double& tension, std::string& why)
{
    std::string body;
    std::vector<std::string> fields = Split(line.substr(0, line.rfind('*')), ',');
    std::string sentence = fields[0].size() == 6 ? fields[0].substr(3) : "";
    bool wnc = format.kind == TensionKind::Wnc;
    if (sentence != (wnc ? "WNC" : "XDR") || (wnc ? fields.size() != 5 : fields.size() < 5 || (fields.size() - 1) % 4 != 0))
        return TensionLine::NotOurs;
    if (!NmeaBody(line, body))
        return TensionLine::BadChecksum;
    if (wnc)
        return Number(fields[2], tension) ? TensionLine::Good : TensionLine::NotOurs;
    // A transducer sentence carries quadruplets: type, value, unit, name.
    for (size_t at = 1; at + 3 < fields.size(); at += 4) {
        if (!format.xdrName.empty() && fields[at + 3] != format.xdrName)
            continue;
        if (fields[at] == "N" && fields[at + 2] == "N")
            return Number(fields[at + 1], tension) ? TensionLine::Good : TensionLine::NotOurs;
        if (fields[at] == "F") {
            why = "XDR type F is a frequency (in hertz), not a force: a load cell's is type N, in newtons";
            return TensionLine::Refused;
        }
    }
    return TensionLine::NotOurs;
}

TensionLine ReadTensionLine(const TensionFormat& format, const std::string& line, double& tension, std::string& why)
{
    std::string text;
    for (char c : line)
        if (static_cast<unsigned char>(c) >= ' ' && c != '\x7f')
            text += c;
    switch (format.kind) {
    case TensionKind::Wir: return ReadWir(text, tension);
    case TensionKind::Wnc:
    case TensionKind::Xdr: return ReadNmea(format, text, tension, why);
    case TensionKind::Lci90i: break;
    }
    return ReadLci90i(format, text, tension);
}

void ReadTensionBytes(TensionLineReader& reader, const char* bytes, size_t count, std::vector<std::string>& lines)
{
    for (size_t i = 0; i < count; i++) {
        char c = bytes[i];
        if (c != '\r' && c != '\n') {
            if (reader.partial.size() < MostTensionLineBytes)
                reader.partial += c;
            else
                reader.overlong = true;
            continue;
        }
        if (reader.overlong)
            lines.emplace_back();
        else if (!reader.partial.empty())
            lines.push_back(reader.partial);
        reader.partial.clear();
        reader.overlong = false;
    }
}
