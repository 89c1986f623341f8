// A simulated counting pulley: its count, its moving cable, and the faults a
// test can ask of it. The serial port and the control input are main.cpp's.
#pragma once

#include <cstdint>
#include <string>

#include "pulley_protocol.h"

struct SimPulley {
    double position = 0;     // metres paid out; the count is its floor
    double rate = 0;         // metres per second, negative while hauling in
    bool silent = false;     // answers nothing, as with a cut cable
    int identifyFrom = 1;    // answers identification from this request on; 0 never
    int identifyRequests = 0;
    int replyDelayMs = 0;
    int noiseBytes = 0;      // random bytes sent before every reply
    int corruptReplies = 0;  // the next replies get a flipped bit
    int partialReplies = 0;  // the next replies are cut in half
    std::string version = "K-VARN pulley 2.4.1 (simulated)";
    int tensionPort = 0;     // LCI-90i lines 20 times a second as UDP to 127.0.0.1 on this port; 0: none
    bool quit = false;
    long long bytesIn = 0;  // what crossed the line, for measuring
    long long bytesOut = 0;
};

int32_t SimCount(const SimPulley& pulley);
// The wire's tension in pounds-force: the package's weight in water and the
// wire's, growing with wire out, more while hauling, a swell on it.
double SimTension(const SimPulley& pulley, double seconds);
// A line as an LCI-90i-style monitor sends it: 01RD, its time, the winch's
// name, tension, speed (m/min) and payout (m), and the byte-sum checksum.
std::string Lci90iLine(const SimPulley& pulley, double seconds, const std::string& isoTime);
void AdvanceCable(SimPulley& pulley, double seconds);

// The reply to a request, or false for no reply. event receives a line for
// the operator or test watching, or stays empty.
bool AnswerRequest(SimPulley& pulley, const Frame& request, Frame& reply, std::string& event);

// The reply as it goes on the wire, with the requested noise and damage.
int PrepareReplyBytes(SimPulley& pulley, const Frame& reply, uint8_t* out, int size, uint32_t& random);

// One control line ("count 12", "silent on", ...); the answer to print.
std::string ApplyControl(SimPulley& pulley, const std::string& line);

extern const char SimControlHelp[];
