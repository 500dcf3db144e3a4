// SPDX-License-Identifier: GPL-3.0-or-later
// Number <-> text conversions: fixed notation with its precision cap and half-away rounding,
// general notation, strict float parsing, Val-like integer parsing, hexadecimal. The test program
// runs in a French locale, so the decimal separator is ",".
#include "text/numberformat.h"

#include "fixtures.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using namespace vantorel;

namespace {

TEST(NumberFormat, LocaleSeparator) {
    EXPECT_EQ(decimalSeparator(), ",");
}

struct FixedCase {
    double value;
    int precision, digits;
    const char* text;
};

TEST(NumberFormat, FloatToStrF) {
    const FixedCase cases[] = {
        {72, 8, 2, "72,00"},
        {0, 8, 2, "0,00"},
        {2.8f, 8, 2, "2,80"}, // 28/10 as a float is 2.7999999523
        {30.5, 8, 2, "30,50"},
        {-1.5, 8, 2, "-1,50"},
        {-1.0f / 3, 8, 2, "-0,33"},
        // Half away from zero on the decimal expansion, not banker's and not the binary value's side.
        {0.125, 8, 2, "0,13"},
        {0.005, 8, 2, "0,01"},
        {2.5, 8, 0, "3"},
        {0.5, 8, 0, "1"},
        {-2.5, 8, 0, "-3"},
        // The expansion decides: 2.675 is stored as 2.67499999999999982...
        {2.675, 8, 2, "2,67"},
        {1.005, 8, 2, "1,00"},
        {0.004, 8, 2, "0,00"},
        {0.0004, 8, 2, "0,00"},
        {0.995, 8, 2, "0,99"},  // 0.99499999999999999556
        {0.9951, 8, 2, "1,00"}, // carry into the integer part
        {99.999, 8, 2, "100,00"},
        // Precision caps significant digits before the decimals do.
        {1234.56789, 8, 2, "1234,57"},
        {12345678.9, 8, 2, "12345679,00"},
        {12345678, 8, 2, "12345678,00"},
        {1234567.891, 8, 2, "1234567,90"},
        // More integer digits than the precision: scientific form.
        {4294967296.0, 8, 2, "4,2949673E9"},
        {123456789, 8, 2, "1,2345679E8"},
        {100000000, 8, 2, "1E8"},
        // Other digit counts used by the program.
        {0.004f, 8, 4, "0,0040"}, // 10/2500 as a float
        {1.0f / 160, 8, 4, "0,0063"},
        {1.0 / double(0.004f), 8, 0, "250"},
        {48.20575f, 8, 5, "48,20575"},
        {12.345f, 8, 3, "12,345"},
        {30, 8, 3, "30,000"},
        {1e-10, 8, 2, "0,00"},
    };
    for (const FixedCase& c : cases)
        EXPECT_EQ(FloatToStrF(c.value, c.precision, c.digits), QString::fromUtf8(c.text))
            << c.value << " precision " << c.precision << " digits " << c.digits;
}

TEST(NumberFormat, FloatToStr) {
    const std::pair<double, const char*> cases[] = {
        {double(0.1f), "0,100000001490116"},
        {0.1, "0,1"},
        {0, "0"},
        {1, "1"},
        {-2.5, "-2,5"},
        {123.456, "123,456"},
        {1.0 / 3, "0,333333333333333"},
        {2.0 / 3, "0,666666666666667"},
        {double(1.5f), "1,5"},
        {double(3.14159f), "3,1415901184082"},
        {1e14, "100000000000000"},
        {1e15, "1E15"},
        {1.5e20, "1,5E20"},
        {123456789012345678.0, "1,23456789012346E17"},
        {0.0001, "0,0001"},
        {0.00001, "1E-5"},
        {-1.25e-7, "-1,25E-7"},
        {std::numeric_limits<double>::quiet_NaN(), "NAN"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FloatToStr(value), QString::fromUtf8(text)) << value;
}

TEST(NumberFormat, StrToFloat) {
    const std::pair<const char*, double> numbers[] = {
        {"270,00  ", 270}, {"  12,5", 12.5}, {"-3", -3},        {"+7", 7},  {"1,5E3", 1500},
        {"1e-2", 0.01},    {",5", 0.5},      {"0,0040", 0.004}, {"45", 45},
    };
    for (const auto& [text, value] : numbers) {
        const auto v = StrToFloat(QString::fromUtf8(text));
        ASSERT_TRUE(v.has_value()) << text;
        EXPECT_DOUBLE_EQ(*v, value) << text;
    }
    // Not one number: a point in a French locale, several numbers, other blanks than spaces...
    for (const char* text : {"", "   ", "1.5", "1 2", "45,00    12,00  ", "abc", "12a", "\t1", "1\n", "-",
                             "1,5E", "1,5E400", "N 45"})
        EXPECT_FALSE(StrToFloat(QString::fromUtf8(text)).has_value()) << text;
}

TEST(NumberFormat, StrToIntDef) {
    const std::pair<const char*, int> cases[] = {
        {" 6", 6},
        {"6", 6},
        {"-12", -12},
        {"+5", 5},
        {"$1F", 31},
        {"0x1f", 31},
        {"$FFFFFFFF", -1},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        // Everything else gives the fallback 99.
        {"", 99},
        {"   ", 99},
        {" 6 1", 99},
        {"6 ", 99},
        {"1,5", 99},
        {"$", 99},
        {"-", 99},
        {"\t6", 99},
        {"1A", 99},
        {"2147483648", 99},
        {"-2147483649", 99},
        {"$100000000", 99},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(StrToIntDef(QString::fromUtf8(text), 99), value) << text;
}

TEST(NumberFormat, IntToHex) {
    EXPECT_EQ(IntToHex(0x1234, 4), "1234");
    EXPECT_EQ(IntToHex(0xabc, 4), "0ABC");
    EXPECT_EQ(IntToHex(0x12345, 4), "12345");
    EXPECT_EQ(IntToHex(0, 2), "00");
}

} // namespace
