// The settings file beside the executable, through the real Windows file
// services (under wine64 here).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings_file.h"

static std::string BesideExecutable(const char* name)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text = path;
    return text.substr(0, text.find_last_of('\\') + 1) + name;
}

static void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

static std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::vector<uint8_t> bytes(1000);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

class SettingsFileOnDisk : public ::testing::Test {
protected:
    std::string path = BesideExecutable("Tarvesk.ini");
    SettingsFile file = SettingsBesideProgram(nullptr);
    void SetUp() override { Remove(); }
    void TearDown() override { Remove(); }
    void Remove()
    {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        DeleteFileA((path + ".new").c_str());
    }
};

TEST_F(SettingsFileOnDisk, MissingFileCannotBeRead)
{
    SettingsRecord record;
    EXPECT_FALSE(LoadSettings(record, file));
}

TEST_F(SettingsFileOnDisk, NinetySixBytesRoundTripExactly)
{
    std::vector<uint8_t> original(96);
    for (size_t i = 0; i < original.size(); i++)
        original[i] = static_cast<uint8_t>(255 - i);
    original[59] = original[75] = 0;
    WriteFileBytes(path, original);
    SettingsRecord record;
    ASSERT_TRUE(LoadSettings(record, file));
    ASSERT_TRUE(SaveSettings(record, file));
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(GetFileAttributesA((path + ".new").c_str()), INVALID_FILE_ATTRIBUTES);  // no leftovers
}

TEST_F(SettingsFileOnDisk, ShortAndLongFiles)
{
    WriteFileBytes(path, std::vector<uint8_t>(10, 0x11));
    SettingsRecord record;
    ASSERT_TRUE(LoadSettings(record, file));
    EXPECT_EQ(record.placement.length, 0x11111111u);
    EXPECT_EQ(record.placement.flags, 0x11111111u);
    EXPECT_EQ(record.placement.showCmd, 0x1111u);
    EXPECT_EQ(record.units, 0);
    WriteFileBytes(path, std::vector<uint8_t>(300, 0x01));
    ASSERT_TRUE(LoadSettings(record, file));
    EXPECT_EQ(record.units, 1);
    ASSERT_TRUE(SaveSettings(record, file));
    EXPECT_EQ(ReadFileBytes(path).size(), 96u);
}

TEST_F(SettingsFileOnDisk, FileOpenElsewhereIsNotReplacedAndKeepsItsBytes)
{
    std::vector<uint8_t> original(96, 0x42);
    WriteFileBytes(path, original);
    // Held open without sharing, as another program might: the replace must
    // fail and leave the old record whole.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SettingsRecord record{};
    EXPECT_FALSE(file.Replace(file.context, &record, sizeof record));
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(GetFileAttributesA((path + ".new").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsFileOnDisk, ReadOnlyFileIsNotReplaced)
{
    std::vector<uint8_t> original(96, 0x24);
    WriteFileBytes(path, original);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    SettingsRecord record{};
    EXPECT_FALSE(file.Replace(file.context, &record, sizeof record));
    EXPECT_EQ(ReadFileBytes(path), original);
}
