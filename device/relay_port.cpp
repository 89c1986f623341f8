#include "relay_port.h"

#include "serial_port.h"

DWORD RelayBaudRate(int baudIndex)
{
    return baudIndex >= 0 && baudIndex < RelayBaudChoices ? RelayBaudRates[baudIndex] : 0;
}

HANDLE OpenRelayPort(const char* name, int baudIndex)
{
    DWORD rate = RelayBaudRate(baudIndex);
    if (rate == 0)
        return INVALID_HANDLE_VALUE;
    return OpenSerialPort(name, rate, RelayTimeouts);
}
