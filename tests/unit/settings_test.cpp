#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "count_text.h"
#include "settings.h"

// A settings file held in memory: present or not, and able to refuse writes.
struct MemoryFile {
    bool exists = false;
    std::vector<uint8_t> bytes;
    bool writesFail = false;
    int failureBoxes = 0;

    static MemoryFile& Of(void* context) { return *static_cast<MemoryFile*>(context); }
    static int Read(void* context, void* buffer, int size)
    {
        MemoryFile& file = Of(context);
        if (!file.exists)
            return -1;
        int length = static_cast<int>(file.bytes.size()) < size ? static_cast<int>(file.bytes.size()) : size;
        std::memcpy(buffer, file.bytes.data(), static_cast<size_t>(length));
        return length;
    }
    static bool Replace(void* context, const void* buffer, int size)
    {
        MemoryFile& file = Of(context);
        if (file.writesFail)
            return false;
        const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
        file.bytes.assign(bytes, bytes + size);
        file.exists = true;
        return true;
    }
    static void CountFailureBox(void* context) { Of(context).failureBoxes++; }
    SettingsFile Table() { return {.Read = Read, .Replace = Replace, .ShowSaveFailure = CountFailureBox, .context = this}; }
};

class Settings : public ::testing::Test {
protected:
    MemoryFile memory;
    SettingsFile file = memory.Table();
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
    EXPECT_FALSE(LoadSettings(record, file));
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
    memory.exists = true;
    SettingsRecord record;
    std::memset(&record, 0xEE, sizeof record);
    EXPECT_TRUE(LoadSettings(record, file));
    SettingsRecord zero{};
    EXPECT_EQ(std::memcmp(&record, &zero, sizeof record), 0);
}

TEST_F(Settings, ShortFileFillsOnlyItsLength)
{
    memory.exists = true;
    memory.bytes = Pattern(50);
    SettingsRecord record;
    EXPECT_TRUE(LoadSettings(record, file));
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&record);
    EXPECT_EQ(std::memcmp(raw, memory.bytes.data(), 50), 0);
    for (int i = 50; i < SettingsRecordSize; i++)
        EXPECT_EQ(raw[i], 0) << "byte " << i;
}

TEST_F(Settings, LongFileContributesItsFirst96Bytes)
{
    memory.exists = true;
    memory.bytes = Pattern(200);
    for (size_t i = 44; i < 76; i++)
        memory.bytes[i] = 'A';  // keep the names terminated so nothing is changed
    memory.bytes[59] = memory.bytes[75] = 0;
    SettingsRecord record;
    EXPECT_TRUE(LoadSettings(record, file));
    EXPECT_EQ(std::memcmp(&record, memory.bytes.data(), SettingsRecordSize), 0);
}

TEST_F(Settings, UnchangedRecordRoundTripsByteForByte)
{
    std::vector<uint8_t> original = Pattern(SettingsRecordSize);
    // Bytes after a name's terminator survive too, up to the field's last.
    std::memcpy(original.data() + 44, "COM12\0garbage!!!", 16);
    std::memcpy(original.data() + 60, "com3\0\0\0\0\0\0\0\0\0\0\0", 16);
    memory.exists = true;
    memory.bytes = original;
    SettingsRecord record;
    ASSERT_TRUE(LoadSettings(record, file));
    EXPECT_EQ(record.relayFormat, GetLittleEndian32(original, 84));
    ASSERT_TRUE(SaveSettings(record, file));
    EXPECT_EQ(memory.bytes, original);  // alignment bytes and out-of-range values included
}

TEST_F(Settings, UnterminatedPortNamesAreCutToFifteenCharacters)
{
    memory.exists = true;
    memory.bytes.assign(SettingsRecordSize, 'X');
    SettingsRecord record;
    ASSERT_TRUE(LoadSettings(record, file));
    EXPECT_EQ(std::strlen(record.pulleyPort), 15u);
    EXPECT_EQ(std::strlen(record.relayPort), 15u);
}

TEST_F(Settings, FailedSaveShowsTheBoxAndReportsFalse)
{
    SettingsRecord record{};
    ApplyDefaultSettings(record);
    memory.writesFail = true;
    EXPECT_FALSE(SaveSettings(record, file));
    EXPECT_EQ(memory.failureBoxes, 1);
    memory.writesFail = false;
    EXPECT_TRUE(SaveSettings(record, file));
    EXPECT_EQ(memory.failureBoxes, 1);
    EXPECT_EQ(memory.bytes.size(), 96u);
}
