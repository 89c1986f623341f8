// The device library with links that are no pulley at all: each call must
// fail cleanly and quickly, never crash or write to a stranger's handle.
#include <gtest/gtest.h>

#include <windows.h>

#include "kvarncpi.h"

static HANDLE NotALink()
{
    return INVALID_HANDLE_VALUE;
}

TEST(DeviceLibrary, PortThatDoesNotExistGivesMinusOne)
{
    EXPECT_EQ(ConnectPulley("COM77"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(ConnectPulley(""), INVALID_HANDLE_VALUE);
    EXPECT_EQ(ConnectPulley(nullptr), INVALID_HANDLE_VALUE);
}

TEST(DeviceLibrary, NullAndMinusOneLinksFailCleanly)
{
    for (HANDLE link : {static_cast<HANDLE>(nullptr), NotALink()}) {
        DWORD start = GetTickCount();
        EXPECT_FALSE(IdentifyPulley(link));
        EXPECT_EQ(ReadPulley(link), 2147483647);
        EXPECT_FALSE(ResetPulley(link));
        EXPECT_FALSE(PresetPulley(link, 5));
        char version[40] = "stale";
        EXPECT_FALSE(GetPulleyVersion(link, version, sizeof version));
        EXPECT_STREQ(version, "");
        EXPECT_FALSE(DisconnectPulley(link));
        EXPECT_LT(GetTickCount() - start, 100u);
    }
}

TEST(DeviceLibrary, HandleThatIsNoSerialPortIsNotWrittenTo)
{
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    lstrcatA(path, "kvarncpi-not-a-port.bin");
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadPulley(file), 2147483647);
    EXPECT_FALSE(ResetPulley(file));
    EXPECT_FALSE(DisconnectPulley(file));  // not ours to close
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);
}
