// Ports come from two places, because each alone misses some: drivers list
// their ports under HARDWARE\DEVICEMAP\SERIALCOMM, while virtual port pairs
// and ports mapped by hand often exist only as COMn DOS device names.
#define ENUMCOMM_BUILD
#include "enumcomm.h"

#include <cstring>
#include <new>

#include "port_list.h"

struct PortEnumeration {
    std::vector<std::string> ports;
    size_t next;
};

static void AddRegisteredPorts(std::vector<std::string>& ports)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; index++) {
        char valueName[256];
        DWORD valueNameSize = sizeof valueName;
        char data[64];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        LONG result = RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize] = '\0';
        AddPortName(ports, data);
    }
    RegCloseKey(key);
}

static bool IsComName(const char* name)
{
    if (_strnicmp(name, "COM", 3) != 0 || name[3] == '\0')
        return false;
    for (const char* c = name + 3; *c; c++)
        if (*c < '0' || *c > '9')
            return false;
    return true;
}

static void AddDosDevicePorts(std::vector<std::string>& ports)
{
    // The list of every DOS device name can be long; grow until it fits.
    std::vector<char> names(16384);
    for (;;) {
        DWORD length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
        if (length != 0)
            break;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= (1u << 22))
            return;
        names.resize(names.size() * 2);
    }
    for (const char* name = names.data(); *name; name += std::strlen(name) + 1)
        if (IsComName(name))
            AddPortName(ports, name);
}

HANDLE __stdcall BeginEnumeratePorts(void)
{
    PortEnumeration* enumeration = new (std::nothrow) PortEnumeration{};
    if (enumeration == nullptr)
        return nullptr;
    try {
        AddRegisteredPorts(enumeration->ports);
        AddDosDevicePorts(enumeration->ports);
        SortPortNames(enumeration->ports);
    } catch (const std::bad_alloc&) {
        enumeration->ports.clear();
    }
    return enumeration;
}

BOOL __stdcall EnumeratePortsNext(HANDLE handle, char* name, int)
{
    PortEnumeration* enumeration = static_cast<PortEnumeration*>(handle);
    if (enumeration == nullptr || name == nullptr || enumeration->next >= enumeration->ports.size())
        return FALSE;
    const std::string& port = enumeration->ports[enumeration->next++];
    std::memcpy(name, port.c_str(), port.size() + 1);  // at most 16 bytes: AddPortName saw to it
    return TRUE;
}

BOOL __stdcall EndEnumeratePorts(HANDLE handle)
{
    delete static_cast<PortEnumeration*>(handle);
    return TRUE;
}
