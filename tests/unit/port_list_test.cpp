#include <gtest/gtest.h>

#include "port_list.h"

using Names = std::vector<std::string>;

TEST(PortList, MergesSourcesWithoutDuplicatesInNaturalOrder)
{
    Names ports;
    for (const char* name : {"COM10", "COM2", "COM1", "com2", "COM3", "COM10", "COM21"})
        AddPortName(ports, name);
    SortPortNames(ports);
    EXPECT_EQ(ports, Names({"COM1", "COM2", "COM3", "COM10", "COM21"}));
}

TEST(PortList, SkipsNamesTooLongForTheCallersBuffer)
{
    Names ports;
    AddPortName(ports, "COM123456789012");   // 15 characters: fits
    AddPortName(ports, "COM1234567890123");  // 16: would overrun a 16-byte buffer
    AddPortName(ports, "");
    EXPECT_EQ(ports, Names({"COM123456789012"}));
}

TEST(PortList, NaturalOrderComparesNumbersByValue)
{
    EXPECT_TRUE(PortNameBefore("COM2", "COM10"));
    EXPECT_FALSE(PortNameBefore("COM10", "COM2"));
    EXPECT_TRUE(PortNameBefore("COM9", "COM09A"));
    EXPECT_TRUE(PortNameBefore("COM", "COM1"));
    EXPECT_FALSE(PortNameBefore("COM1", "COM1"));
    EXPECT_TRUE(PortNameBefore("COM99999999999", "CON1"));
}
