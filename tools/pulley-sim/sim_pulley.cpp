#include "sim_pulley.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "tool_args.h"

int32_t SimCount(const SimPulley& pulley)
{
    double count = std::floor(pulley.position);
    if (count >= INT32_MAX)
        return INT32_MAX;
    if (count <= INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(count);
}

void AdvanceCable(SimPulley& pulley, double seconds)
{
    pulley.position += pulley.rate * seconds;
}

static void ReplyWith(Frame& reply, const Frame& request, const void* payload, int length)
{
    reply = Frame{};
    reply.sequence = request.sequence;
    reply.command = ReplyTo(request.command);
    reply.length = static_cast<uint8_t>(length);
    if (length > 0)  // an empty reply may come with no payload at all
        std::memcpy(reply.payload, payload, static_cast<size_t>(length));
}

static void ReplyWithError(Frame& reply, const Frame& request, ProtocolError error)
{
    reply = Frame{};
    reply.sequence = request.sequence;
    reply.command = ReplyError;
    reply.length = 1;
    reply.payload[0] = error;
}

static bool AnswerIdentify(SimPulley& pulley, const Frame& request, Frame& reply, std::string& event)
{
    pulley.identifyRequests++;
    bool answers = pulley.identifyFrom > 0 && pulley.identifyRequests >= pulley.identifyFrom;
    event = "identify " + std::to_string(pulley.identifyRequests) + (answers ? " answered" : " ignored");
    if (answers)
        ReplyWith(reply, request, IdentifyReply, IdentifyReplySize);
    return answers;
}

bool AnswerRequest(SimPulley& pulley, const Frame& request, Frame& reply, std::string& event)
{
    event.clear();
    if (pulley.silent)
        return false;
    uint8_t value[CountSize];
    switch (request.command) {
    case CommandIdentify:
        return AnswerIdentify(pulley, request, reply, event);
    case CommandRead:
        PutInt32(value, SimCount(pulley));
        ReplyWith(reply, request, value, CountSize);
        return true;
    case CommandReset:
        pulley.position = 0;
        event = "reset";
        ReplyWith(reply, request, nullptr, 0);
        return true;
    case CommandPreset:
        if (request.length != CountSize) {
            ReplyWithError(reply, request, ErrorBadLength);
            return true;
        }
        pulley.position = GetInt32(request.payload);
        event = "preset " + std::to_string(GetInt32(request.payload));
        ReplyWith(reply, request, nullptr, 0);
        return true;
    case CommandVersion:
        ReplyWith(reply, request, pulley.version.data(),
                  static_cast<int>(pulley.version.size() < MaxPayload ? pulley.version.size() : MaxPayload));
        return true;
    default:
        ReplyWithError(reply, request, ErrorUnknownCommand);
        return true;
    }
}

static uint8_t NextRandom(uint32_t& random)
{
    random = random * 1664525u + 1013904223u;
    return static_cast<uint8_t>(random >> 24);
}

int PrepareReplyBytes(SimPulley& pulley, const Frame& reply, uint8_t* out, int size, uint32_t& random)
{
    int used = 0;
    for (int i = 0; i < pulley.noiseBytes && used < size - MaxFrameSize; i++)
        out[used++] = NextRandom(random);
    int frameSize = EncodeFrame(reply, out + used);
    if (pulley.corruptReplies > 0) {
        pulley.corruptReplies--;
        out[used + 1 + NextRandom(random) % (frameSize - 1)] ^= static_cast<uint8_t>(1u << (NextRandom(random) % 8));
    } else if (pulley.partialReplies > 0) {
        pulley.partialReplies--;
        frameSize /= 2;
    }
    return used + frameSize;
}

static bool ReadOnOff(std::istringstream& words, bool& value)
{
    std::string word;
    words >> word;
    if (word != "on" && word != "off")
        return false;
    value = word == "on";
    return true;
}

double SimTension(const SimPulley& pulley, double seconds)
{
    // A CTD package of 800 lbf in water and 0.64 lbf a metre of 0.322-inch
    // wire; hauling adds the drag of the water, 12 lbf for each m/s; the
    // ship's heave adds a swell of 8 s.
    double wireOut = pulley.position > 0 ? pulley.position : 0;
    double hauling = pulley.rate < 0 ? -pulley.rate * 12 : 0;
    return 800 + wireOut * 0.64 + hauling + 40 * std::sin(seconds * 2 * 3.14159265358979 / 8);
}

std::string Lci90iLine(const SimPulley& pulley, double seconds, const std::string& isoTime)
{
    char fields[160];
    std::snprintf(fields, sizeof fields, "01RD,%s,SIM CTD,%08.0f,%08.1f,%08.1f,", isoTime.c_str(),
                  SimTension(pulley, seconds), pulley.rate * 60, pulley.position);
    long sum = 0;
    for (const char* c = fields; *c; c++)
        sum += static_cast<unsigned char>(*c);
    return fields + std::to_string(sum) + "\r\n";
}

std::string ApplyControl(SimPulley& pulley, const std::string& line)
{
    std::istringstream words(line);
    std::string command;
    words >> command;
    bool ok = true;
    if (command == "count") {
        long long count = 0;
        ok = static_cast<bool>(words >> count);
        if (ok)
            pulley.position = static_cast<double>(count);
    } else if (command == "rate") {
        ok = static_cast<bool>(words >> pulley.rate);
    } else if (command == "silent") {
        ok = ReadOnOff(words, pulley.silent);
    } else if (command == "identify-from") {
        std::string from;
        long long number = 0;
        words >> from;
        ok = from == "never" || (ParseWholeNumber(from.c_str(), number) && number > 0 && number <= 1000000);
        if (ok)
            pulley.identifyFrom = static_cast<int>(number);
        pulley.identifyRequests = 0;
    } else if (command == "delay") {
        ok = static_cast<bool>(words >> pulley.replyDelayMs) && pulley.replyDelayMs >= 0;
    } else if (command == "noise") {
        ok = static_cast<bool>(words >> pulley.noiseBytes) && pulley.noiseBytes >= 0 && pulley.noiseBytes <= 256;
    } else if (command == "corrupt") {
        ok = static_cast<bool>(words >> pulley.corruptReplies);
    } else if (command == "partial") {
        ok = static_cast<bool>(words >> pulley.partialReplies);
    } else if (command == "tension-out") {
        std::string where;
        long long port = 0;
        words >> where;
        ok = where == "off" || (where.compare(0, 4, "udp:") == 0 && ParseWholeNumber(where.c_str() + 4, port) &&
                                port >= 1 && port <= 65535);
        if (ok)
            pulley.tensionPort = static_cast<int>(port);
    } else if (command == "version") {
        std::getline(words >> std::ws, pulley.version);
    } else if (command == "status") {
        return "status count " + std::to_string(SimCount(pulley)) + " rate " + std::to_string(pulley.rate) +
               " bytes-in " + std::to_string(pulley.bytesIn) + " bytes-out " + std::to_string(pulley.bytesOut) +
               (pulley.silent ? " silent" : "");
    } else if (command == "quit") {
        pulley.quit = true;
    } else if (command == "help") {
        return SimControlHelp;
    } else {
        return "error unknown command: " + command;
    }
    return ok ? "ok " + line : "error bad value: " + line;
}

const char SimControlHelp[] =
    "control lines, on standard input or the --control FIFO:\n"
    "  count N            set the count to N metres\n"
    "  rate R             pay out R metres per second (negative: haul in)\n"
    "  silent on|off      stop or resume answering (a lost link)\n"
    "  identify-from N    answer identification from the Nth request on\n"
    "  identify-from never\n"
    "  delay MS           answer every request MS milliseconds late\n"
    "  noise N            send N random bytes before every reply (0: none)\n"
    "  corrupt N          flip a bit in each of the next N replies\n"
    "  partial N          send only the first half of each of the next N replies\n"
    "  version TEXT       the firmware version to report\n"
    "  tension-out udp:PORT|off  send a load cell's LCI-90i lines, 20 a second, to\n"
    "                     127.0.0.1:PORT, tension growing with wire out and hauling\n"
    "  status             print the count and the bytes received and sent\n"
    "  quit               end the simulator\n"
    "every line is answered on standard output with \"ok ...\" or \"error ...\";\n"
    "requests that change the pulley print \"event ...\" lines.";
