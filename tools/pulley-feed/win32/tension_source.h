// The load cell's monitor, read on a thread of its own: its lines from a
// serial port (opened again every 2 s while it fails, said once) or as
// datagrams on a UDP port, each given to the feed as it comes. What the
// lines say is the feed's to judge.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "formats/tension_lines.h"

class TensionSource {
public:
    ~TensionSource() { Close(); }
    // A serial port at its rate (port not empty), or a UDP port; take gets
    // each batch of whole lines, say tells a person. False with the reason
    // when it cannot be opened.
    bool Open(const std::string& port, DWORD baudRate, int udpPort,
              std::function<void(std::vector<std::string>&&)> take, std::function<void(const std::string&)> say,
              std::string& reason);
    void Close();

private:
    bool OpenPort(std::string& reason);
    void ReadPort();
    void ReadDatagrams();

    std::string port_;
    DWORD baudRate_ = 9600;
    HANDLE serial_ = INVALID_HANDLE_VALUE;
    SOCKET socket_ = INVALID_SOCKET;
    TensionLineReader reader_;
    std::function<void(std::vector<std::string>&&)> take_;
    std::function<void(const std::string&)> say_;
    std::thread thread_;
};
