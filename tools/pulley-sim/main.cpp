// pulley-sim: a counting pulley on a serial device, for trying the display
// without a winch. See --help.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "sim_pulley.h"
#include "tool_args.h"

#ifdef _WIN32
#include <winsock2.h>

#include "win_serial.h"
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#endif

static const char Usage[] =
    "usage: pulley-sim --port DEVICE [options]\n"
    "\n"
    "Answers the display's device library like a counting pulley, on DEVICE\n"
    "(a serial device or pty on Linux, COMn on Windows).\n"
    "\n"
    "options:\n"
    "  --count N            start at N metres (default 0)\n"
    "  --rate R             pay out R metres per second (default 0)\n"
    "  --identify-from N    answer identification from the Nth request (default 1)\n"
    "  --identify-never     never answer identification\n"
    "  --delay MS           answer every request MS milliseconds late\n"
    "  --noise N            send N random bytes before every reply\n"
    "  --silent             start silent (no answers at all)\n"
    "  --control FIFO       also read control lines from this FIFO (Linux)\n"
    "  --tension-out udp:PORT  also send a load cell's lines to 127.0.0.1:PORT\n"
    "  --help               this text\n"
    "\n";

#ifdef _WIN32
typedef HANDLE SimPort;
static bool OpenSimPort(const char* name, SimPort& port)
{
    port = OpenPulleyPort(name);
    return port != INVALID_HANDLE_VALUE;
}
static int ReadSimPort(SimPort port, uint8_t* buffer, int size, int waitMs)
{
    for (int waited = 0;; waited += 2) {
        int received = Win32SerialLine.ReadAvailable(port, buffer, size);
        if (received != 0 || waited >= waitMs)
            return received;
        Sleep(2);
    }
}
static void WriteSimPort(SimPort port, const uint8_t* bytes, int length)
{
    Win32SerialLine.Write(port, bytes, length);
}
static void SleepMs(int ms)
{
    Sleep(static_cast<DWORD>(ms));
}
typedef SOCKET SimSocket;
static SimSocket OpenUdpSocket()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    return socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}
#else
typedef int SimPort;
static bool OpenSimPort(const char* name, SimPort& port)
{
    port = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (port < 0)
        return false;
    termios settings{};
    if (tcgetattr(port, &settings) == 0) {
        cfmakeraw(&settings);
        cfsetspeed(&settings, B19200);
        tcsetattr(port, TCSANOW, &settings);
    }
    return true;
}
// -1 when the device is gone (the pty pair was taken down).
static int ReadSimPort(SimPort port, uint8_t* buffer, int size, int waitMs)
{
    pollfd ready{port, POLLIN, 0};
    if (poll(&ready, 1, waitMs) <= 0)
        return 0;
    ssize_t received = read(port, buffer, static_cast<size_t>(size));
    if (received > 0)
        return static_cast<int>(received);
    if (received < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    return -1;
}
static void WriteSimPort(SimPort port, const uint8_t* bytes, int length)
{
    while (length > 0) {
        ssize_t written = write(port, bytes, static_cast<size_t>(length));
        if (written <= 0) {
            pollfd ready{port, POLLOUT, 0};
            if (poll(&ready, 1, 100) <= 0)
                return;
            continue;
        }
        bytes += written;
        length -= static_cast<int>(written);
    }
}
static void SleepMs(int ms)
{
    usleep(static_cast<useconds_t>(ms) * 1000);
}
typedef int SimSocket;
static SimSocket OpenUdpSocket()
{
    return socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}
#endif

// A datagram to 127.0.0.1:port, from a socket made on the first.
static void SendToLocalPort(int port, const std::string& text)
{
    static SimSocket udp = OpenUdpSocket();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(udp, text.data(), static_cast<int>(text.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

// The load cell's lines come 20 a second, stamped with the monitor's own clock.
constexpr double TensionLineSeconds = 0.05;

static void SendTensionLine(const SimPulley& pulley, double seconds)
{
    char iso[40];
    auto now = std::chrono::system_clock::now();
    std::time_t whole = std::chrono::system_clock::to_time_t(now);
    long long millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    size_t length = std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S", std::gmtime(&whole));
    std::snprintf(iso + length, sizeof iso - length, ".%03lld", millis);
    SendToLocalPort(pulley.tensionPort, Lci90iLine(pulley, seconds, iso));
}

// Control lines arrive on their own threads (a console read blocks) and are
// applied by the main loop, which owns the pulley.
static std::mutex controlLock;
static std::deque<std::string> controlLines;

static void QueueControlLine(const std::string& line)
{
    std::lock_guard<std::mutex> hold(controlLock);
    controlLines.push_back(line);
}

static bool TakeControlLine(std::string& line)
{
    std::lock_guard<std::mutex> hold(controlLock);
    if (controlLines.empty())
        return false;
    line = controlLines.front();
    controlLines.pop_front();
    return true;
}

static void ReadControlStream(std::FILE* stream)
{
    char line[512];
    while (std::fgets(line, sizeof line, stream)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        if (line[0] != '\0')
            QueueControlLine(line);
    }
}

static void Say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

struct Options {
    std::string port;
    std::string control;
    SimPulley pulley;
};

// Counts and rates are checked, so that a mistyped number says so instead
// of becoming 0 (or "nan", which would never stop paying out).
static bool ReadWhole(ToolArgs& args, long long lowest, long long highest, int& value)
{
    long long whole = 0;
    if (!args.Once() || !args.WholeNumber(lowest, highest, whole))
        return false;
    value = static_cast<int>(whole);
    return true;
}

static bool ReadOption(ToolArgs& args, Options& options)
{
    const std::string& option = args.Current();
    SimPulley& pulley = options.pulley;
    if (option == "--port")
        return args.Once() && args.Text(options.port);
    if (option == "--control")
        return args.Once() && args.Text(options.control);
    if (option == "--count")
        return args.Once() && args.Number(-2147483648.0, 2147483647.0, pulley.position);
    if (option == "--rate")
        return args.Once() && args.Number(-100000, 100000, pulley.rate);
    if (option == "--tension-out") {
        std::string where;
        return args.Once() && args.Text(where) &&
               (ApplyControl(pulley, "tension-out " + where).compare(0, 3, "ok ") == 0 ||
                args.Refuse("--tension-out is udp:PORT, a port from 1 to 65535"));
    }
    if (option == "--identify-from")
        return ReadWhole(args, 1, 1000000, pulley.identifyFrom);
    if (option == "--delay")
        return ReadWhole(args, 0, 60000, pulley.replyDelayMs);
    if (option == "--noise")
        return ReadWhole(args, 0, 256, pulley.noiseBytes);
    if (option == "--identify-never")
        pulley.identifyFrom = 0;
    else if (option == "--silent")
        pulley.silent = true;
    else
        return args.Unknown();
    return true;
}

// 0 when the options are good; 1 after saying why they are not.
static int ParseOptions(int argc, char** argv, Options& options)
{
    ToolArgs args("pulley-sim", argc, argv);
    while (args.Next())
        if (!ReadOption(args, options))
            return 1;
    if (options.port.empty()) {
        args.Refuse("--port names the serial device to answer on");
        return 1;
    }
    return 0;
}

static void AnswerFrames(SimPulley& pulley, SimPort port, FrameReader& reader, const uint8_t* bytes, int count,
                         uint32_t& random)
{
    for (int i = 0; i < count; i++) {
        Frame request, reply;
        std::string event;
        if (!FeedFrameReader(reader, bytes[i], request))
            continue;
        bool answers = AnswerRequest(pulley, request, reply, event);
        if (!event.empty())
            Say("event " + event);
        if (!answers)
            continue;
        if (pulley.replyDelayMs > 0)
            SleepMs(pulley.replyDelayMs);
        uint8_t wire[512];
        int size = PrepareReplyBytes(pulley, reply, wire, sizeof wire, random);
        WriteSimPort(port, wire, size);
        pulley.bytesOut += size;
    }
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Usage, stdout);
        std::puts(SimControlHelp);
        return 0;
    }
    Options options;
    if (ParseOptions(argc, argv, options) != 0)
        return 2;
    SimPort port;
    if (!OpenSimPort(options.port.c_str(), port)) {
        std::fprintf(stderr, "pulley-sim: cannot open %s\n", options.port.c_str());
        return 1;
    }
    std::thread(ReadControlStream, stdin).detach();
#ifndef _WIN32
    if (!options.control.empty()) {
        // Opened for writing too, so the FIFO never reads end-of-file when a
        // writer goes away.
        int fifo = open(options.control.c_str(), O_RDWR);
        if (fifo < 0) {
            std::fprintf(stderr, "pulley-sim: cannot open %s\n", options.control.c_str());
            return 1;
        }
        std::thread(ReadControlStream, fdopen(fifo, "r")).detach();
    }
#endif
    SimPulley& pulley = options.pulley;
    Say(std::string("ready ") + options.port);
    FrameReader reader{};
    uint32_t random = 12345;
    auto last = std::chrono::steady_clock::now(), started = last;
    double tensionDue = 0;
    while (!pulley.quit) {
        std::string line;
        while (TakeControlLine(line))
            Say(ApplyControl(pulley, line));
        auto now = std::chrono::steady_clock::now();
        AdvanceCable(pulley, std::chrono::duration<double>(now - last).count());
        last = now;
        double seconds = std::chrono::duration<double>(now - started).count();
        if (pulley.tensionPort != 0 && seconds >= tensionDue) {
            SendTensionLine(pulley, seconds);
            tensionDue = std::max(tensionDue + TensionLineSeconds, seconds - TensionLineSeconds);
        }
        uint8_t bytes[256];
        int received = ReadSimPort(port, bytes, sizeof bytes, 10);
        if (received < 0) {
            Say(std::string("gone ") + options.port);
            return 1;
        }
        pulley.bytesIn += received;
        AnswerFrames(pulley, port, reader, bytes, received, random);
    }
    return 0;
}
