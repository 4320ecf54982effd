#include "settings/integer_parser.h"

#include <gtest/gtest.h>

namespace mirelay {
namespace {

struct ParseCase {
  const char* text;
  std::optional<std::int32_t> value;
};

class IntegerParserTest : public testing::TestWithParam<ParseCase> {};

TEST_P(IntegerParserTest, ParsesExactlyTheAcceptedTexts) {
  EXPECT_EQ(ParseInteger(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    SettingsAndDialogTexts, IntegerParserTest,
    testing::Values(
        // Decimal, with sign, within the 32-bit range.
        ParseCase{"90", 90}, ParseCase{"-5", -5}, ParseCase{"+7", 7}, ParseCase{"0", 0},
        ParseCase{"0050", 50}, ParseCase{"2147483647", 2147483647},
        ParseCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
        ParseCase{"2147483648", std::nullopt}, ParseCase{"-2147483649", std::nullopt},
        ParseCase{"99999999999999999999", std::nullopt},
        // Hexadecimal prefixes, read as signed 32 bits.
        ParseCase{"0x50", 80}, ParseCase{"0X50", 80}, ParseCase{"$50", 80}, ParseCase{"X50", 80},
        ParseCase{"x50", 80}, ParseCase{"$FFFFFFFF", -1}, ParseCase{"$7fffffff", 2147483647},
        ParseCase{"$80000000", std::numeric_limits<std::int32_t>::min()},
        ParseCase{"$123456789", std::nullopt}, ParseCase{"$", std::nullopt},
        ParseCase{"0x", std::nullopt}, ParseCase{"x", std::nullopt}, ParseCase{"$G", std::nullopt},
        // A sign cannot precede a hexadecimal number.
        ParseCase{"-$10", std::nullopt}, ParseCase{"+0x10", std::nullopt},
        // Leading spaces only; nothing may follow.
        ParseCase{"  75", 75}, ParseCase{"  0x50", 80}, ParseCase{"  $50", 80},
        ParseCase{"80 ", std::nullopt}, ParseCase{"\t80", std::nullopt},
        ParseCase{"80abc", std::nullopt}, ParseCase{"abc", std::nullopt},
        ParseCase{"", std::nullopt}, ParseCase{"-", std::nullopt}, ParseCase{"+", std::nullopt},
        ParseCase{" ", std::nullopt}, ParseCase{"1 2", std::nullopt}));

}  // namespace
}  // namespace mirelay
