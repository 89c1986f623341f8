// Serial ports: the path a name opens, the line's settings, bounded writes,
// and which step a failed opening names.
#include <gtest/gtest.h>

#include <string>

#include "relay_port.h"
#include "serial_port.h"

static std::string Path(const char* name)
{
    char path[SerialPathSize];
    if (!SerialPortPath(name, path))
        return "(refused)";
    return path;
}

TEST(SerialPortPath, OneDigitPortsKeepTheirNameFromTenTheDeviceNamespace)
{
    EXPECT_EQ(Path("COM1"), "COM1");
    EXPECT_EQ(Path("COM9"), "COM9");
    EXPECT_EQ(Path("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(Path("COM256"), "\\\\.\\COM256");
    EXPECT_EQ(Path("com12"), "\\\\.\\COM12");  // the prefix is not examined
}

TEST(SerialPortPath, NumberIsReadLikeAtoi)
{
    EXPECT_EQ(Path("COM 12"), "\\\\.\\COM12");
    EXPECT_EQ(Path("COM+11x"), "\\\\.\\COM11");
    EXPECT_EQ(Path("COM-12"), "COM-12");
    EXPECT_EQ(Path("LPTX"), "LPTX");
    EXPECT_EQ(Path("COM99999999999999999999"), "\\\\.\\COM999999999");  // no overflow
}

TEST(SerialPortPath, NamesTooShortOrTooLongAreRefused)
{
    EXPECT_EQ(Path(""), "(refused)");
    EXPECT_EQ(Path("COM"), "(refused)");
    EXPECT_EQ(Path(nullptr), "(refused)");
    EXPECT_EQ(Path("ABCDEFGHIJKLMNOPQRSTU"), "(refused)");  // cut short, it would be another name
}

TEST(RelayDcb, EightNoneOneWithDtrAndRtsRaised)
{
    DCB dcb = SerialLineState(RelayBaudRate(2));
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.XonLim, 0);
    EXPECT_EQ(dcb.XonChar, 0);
    // The flags word that follows BaudRate: fBinary, DTR and RTS enable only.
    DWORD flags;
    memcpy(&flags, reinterpret_cast<const char*>(&dcb) + 8, sizeof flags);
    EXPECT_EQ(flags, 0x1011u);
}

TEST(RelayDcb, OnlyTheOfferedRatesAreConfigured)
{
    EXPECT_EQ(RelayBaudRate(0), 4800u);
    EXPECT_EQ(RelayBaudRate(1), 9600u);
    EXPECT_EQ(RelayBaudRate(-1), 0u);
    EXPECT_EQ(RelayBaudRate(3), 0u);
    EXPECT_EQ(RelayBaudRate(1000000), 0u);
}

TEST(RelayTimeouts, WritesAreBounded)
{
    COMMTIMEOUTS timeouts = RelayTimeouts;
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 20u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 100u);
    EXPECT_GT(timeouts.WriteTotalTimeoutConstant, 0u);
    EXPECT_LE(timeouts.WriteTotalTimeoutConstant + 17 * timeouts.WriteTotalTimeoutMultiplier, 500u);
}

TEST(RelayPort, MissingPortOrBadBaudIndexGivesInvalidHandle)
{
    EXPECT_EQ(OpenRelayPort("COM77", 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenRelayPort("", 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenRelayPort("COM1", -1), INVALID_HANDLE_VALUE);
}

TEST(SerialPortFailure, NamesTheStepAndTheSystemsError)
{
    SerialPortFailure failure{};
    EXPECT_EQ(OpenSerialPort("", 9600, ReadAtOnceTimeouts, &failure), INVALID_HANDLE_VALUE);
    EXPECT_STREQ(failure.step, "name");
    EXPECT_EQ(failure.error, 0u);
    EXPECT_EQ(OpenSerialPort("COM250", 9600, ReadAtOnceTimeouts, &failure), INVALID_HANDLE_VALUE);
    EXPECT_STREQ(failure.step, "open");
    EXPECT_NE(failure.error, 0u);
}
