// The dialogs' digit fields, read as the operator typed them.
#include <gtest/gtest.h>

#include "dialogs.h"

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
