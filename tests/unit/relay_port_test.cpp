#include <gtest/gtest.h>

#include <string>

#include "dialogs.h"
#include "relay_port.h"

static std::string Path(const char* name)
{
    char path[RelayPathSize];
    if (!RelayPortPath(name, path))
        return "(refused)";
    return path;
}

TEST(RelayPortPath, OneDigitPortsKeepTheirNameFromTenTheDeviceNamespace)
{
    EXPECT_EQ(Path("COM1"), "COM1");
    EXPECT_EQ(Path("COM9"), "COM9");
    EXPECT_EQ(Path("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(Path("COM256"), "\\\\.\\COM256");
    EXPECT_EQ(Path("com12"), "\\\\.\\COM12");  // the prefix is not examined
}

TEST(RelayPortPath, NumberIsReadLikeAtoi)
{
    EXPECT_EQ(Path("COM 12"), "\\\\.\\COM12");
    EXPECT_EQ(Path("COM+11x"), "\\\\.\\COM11");
    EXPECT_EQ(Path("COM-12"), "COM-12");
    EXPECT_EQ(Path("LPTX"), "LPTX");
    EXPECT_EQ(Path("COM99999999999999999999"), "\\\\.\\COM999999999");  // no overflow
}

TEST(RelayPortPath, NamesTooShortAreRefused)
{
    EXPECT_EQ(Path(""), "(refused)");
    EXPECT_EQ(Path("COM"), "(refused)");
    EXPECT_EQ(Path(nullptr), "(refused)");
}

TEST(RelayDcb, EightNoneOneWithDtrAndRtsRaised)
{
    DCB dcb;
    ASSERT_TRUE(FillRelayDcb(2, dcb));
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
    DCB dcb;
    ASSERT_TRUE(FillRelayDcb(0, dcb));
    EXPECT_EQ(dcb.BaudRate, 4800u);
    ASSERT_TRUE(FillRelayDcb(1, dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_FALSE(FillRelayDcb(-1, dcb));
    EXPECT_FALSE(FillRelayDcb(3, dcb));
    EXPECT_FALSE(FillRelayDcb(1000000, dcb));
}

TEST(RelayTimeouts, WritesAreBounded)
{
    COMMTIMEOUTS timeouts = RelayTimeouts();
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

TEST(DigitFields, SaturateInsteadOfWrapping)
{
    EXPECT_EQ(SaturatingDigits("", 10000), 0u);
    EXPECT_EQ(SaturatingDigits("9999", 10000), 9999u);
    EXPECT_EQ(SaturatingDigits("10000", 10000), 10000u);
    EXPECT_EQ(SaturatingDigits("4294967296", 10000), 10000u);  // wraps to 0 in 32 bits
    EXPECT_EQ(SaturatingDigits("99999999999999999999999999", 2147483648ull), 2147483648ull);
    EXPECT_EQ(SaturatingDigits("0000012", 10000), 12u);
    EXPECT_EQ(SaturatingDigits(" 1 2x", 10000), 12u);
}
