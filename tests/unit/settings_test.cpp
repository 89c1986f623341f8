#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "count_text.h"
#include "settings.h"

// A settings file held in memory: present or not, and able to refuse writes.
static bool fileExists;
static std::vector<uint8_t> fileBytes;
static bool writesFail;
static int failureBoxes;

static int ReadMemoryFile(void* buffer, int size)
{
    if (!fileExists)
        return -1;
    int length = static_cast<int>(fileBytes.size()) < size ? static_cast<int>(fileBytes.size()) : size;
    std::memcpy(buffer, fileBytes.data(), static_cast<size_t>(length));
    return length;
}

static bool ReplaceMemoryFile(const void* buffer, int size)
{
    if (writesFail)
        return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    fileBytes.assign(bytes, bytes + size);
    fileExists = true;
    return true;
}

static void CountFailureBox()
{
    failureBoxes++;
}

static const SettingsFile MemoryFile = {
    .Read = ReadMemoryFile,
    .Replace = ReplaceMemoryFile,
    .ShowSaveFailure = CountFailureBox,
};

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        fileExists = false;
        fileBytes.clear();
        writesFail = false;
        failureBoxes = 0;
    }
};

static int32_t GetLittleEndian32(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; i++)
        value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return static_cast<int32_t>(value);
}

static std::vector<uint8_t> Pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

TEST_F(Settings, MissingFileReportsFalseAndDefaultsAreAsDocumented)
{
    SettingsRecord record;
    std::memset(&record, 0xEE, sizeof record);
    EXPECT_FALSE(LoadSettings(record, MemoryFile));
    ApplyDefaultSettings(record);
    EXPECT_EQ(record.placement.length, 44u);
    EXPECT_EQ(record.placement.flags, 0u);
    EXPECT_EQ(record.placement.showCmd, 5u);
    EXPECT_EQ(record.placement.minPosition[0], 0);
    EXPECT_EQ(record.placement.maxPosition[1], 0);
    EXPECT_EQ(record.placement.normalRect[0], 100);
    EXPECT_EQ(record.placement.normalRect[1], 100);
    EXPECT_EQ(record.placement.normalRect[2], 400);
    EXPECT_EQ(record.placement.normalRect[3], 250);
    EXPECT_STREQ(record.pulleyPort, "COM1");
    EXPECT_STREQ(record.relayPort, "");
    EXPECT_EQ(record.relayBaudIndex, 0);
    EXPECT_EQ(record.connectAtStartUp, 0);
    EXPECT_EQ(record.alwaysVisible, 0);
    EXPECT_EQ(record.relayFormat, DisplayLine);
    EXPECT_EQ(record.reserved, 0);
    EXPECT_EQ(record.units, Metres);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&record);
    for (int i : {82, 83, 93, 94, 95})
        EXPECT_EQ(raw[i], 0) << "byte " << i;
}

TEST_F(Settings, EmptyFileGivesAllZeroRecord)
{
    fileExists = true;
    SettingsRecord record;
    std::memset(&record, 0xEE, sizeof record);
    EXPECT_TRUE(LoadSettings(record, MemoryFile));
    SettingsRecord zero{};
    EXPECT_EQ(std::memcmp(&record, &zero, sizeof record), 0);
}

TEST_F(Settings, ShortFileFillsOnlyItsLength)
{
    fileExists = true;
    fileBytes = Pattern(50);
    SettingsRecord record;
    EXPECT_TRUE(LoadSettings(record, MemoryFile));
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&record);
    EXPECT_EQ(std::memcmp(raw, fileBytes.data(), 50), 0);
    for (int i = 50; i < SettingsRecordSize; i++)
        EXPECT_EQ(raw[i], 0) << "byte " << i;
}

TEST_F(Settings, LongFileContributesItsFirst96Bytes)
{
    fileExists = true;
    fileBytes = Pattern(200);
    for (size_t i = 44; i < 76; i++)
        fileBytes[i] = 'A';  // keep the names terminated so nothing is changed
    fileBytes[59] = fileBytes[75] = 0;
    SettingsRecord record;
    EXPECT_TRUE(LoadSettings(record, MemoryFile));
    EXPECT_EQ(std::memcmp(&record, fileBytes.data(), SettingsRecordSize), 0);
}

TEST_F(Settings, UnchangedRecordRoundTripsByteForByte)
{
    std::vector<uint8_t> original = Pattern(SettingsRecordSize);
    // Bytes after a name's terminator survive too, up to the field's last.
    std::memcpy(original.data() + 44, "COM12\0garbage!!!", 16);
    std::memcpy(original.data() + 60, "com3\0\0\0\0\0\0\0\0\0\0\0", 16);
    fileExists = true;
    fileBytes = original;
    SettingsRecord record;
    ASSERT_TRUE(LoadSettings(record, MemoryFile));
    EXPECT_EQ(record.relayFormat, GetLittleEndian32(original, 84));
    ASSERT_TRUE(SaveSettings(record, MemoryFile));
    EXPECT_EQ(fileBytes, original);  // alignment bytes and out-of-range values included
}

TEST_F(Settings, UnterminatedPortNamesAreCutToFifteenCharacters)
{
    fileExists = true;
    fileBytes.assign(SettingsRecordSize, 'X');
    SettingsRecord record;
    ASSERT_TRUE(LoadSettings(record, MemoryFile));
    EXPECT_EQ(std::strlen(record.pulleyPort), 15u);
    EXPECT_EQ(std::strlen(record.relayPort), 15u);
}

TEST_F(Settings, FailedSaveShowsTheBoxAndReportsFalse)
{
    SettingsRecord record{};
    ApplyDefaultSettings(record);
    writesFail = true;
    EXPECT_FALSE(SaveSettings(record, MemoryFile));
    EXPECT_EQ(failureBoxes, 1);
    writesFail = false;
    EXPECT_TRUE(SaveSettings(record, MemoryFile));
    EXPECT_EQ(failureBoxes, 1);
    EXPECT_EQ(fileBytes.size(), 96u);
}
