#include "foundation/GrowString.h"
#include "foundation/TextNumbers.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string formatted(const char* format, double value) {
    char buffer[64];
    cFormat(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string plainFormatted(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string fileFormatted(double value) {
    FILE* file = std::tmpfile();
    if (!file) return "";
    cFprintf(file, "%f", value);
    std::rewind(file);
    char buffer[64] = {};
    const size_t got = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    return std::string(buffer, got);
}

// The C-locale functions, checked in whatever locale is in effect.
void expectCLocaleNumbers() {
    EXPECT_EQ(formatted("%f", 3.1), "3.100000");
    EXPECT_EQ(formatted("%.3f", -0.5), "-0.500");
    EXPECT_EQ(fileFormatted(3.1), "3.100000");
    GrowString text("v=");
    appendFormat(text, "%f;%i", 2.25, 7);
    EXPECT_STREQ(text.c_str(), "v=2.250000;7");
    char* end = nullptr;
    const char* input = "3.1x";
    EXPECT_DOUBLE_EQ(cStrtod(input, &end), 3.1);
    EXPECT_EQ(end, input + 3);
    EXPECT_DOUBLE_EQ(cStrtod("-2.5e3", nullptr), -2500.0);
}

TEST(TextNumbers, CLocaleFormattingAndParsing) {
    expectCLocaleNumbers();
    char* end = reinterpret_cast<char*>(1);
    EXPECT_EQ(cStrtod(nullptr, &end), 0.0);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(cStrtod("abc", nullptr), 0.0);
    EXPECT_EQ(cFprintf(nullptr, "%i", 1), -1);
    GrowString long_("");
    appendFormat(long_, "%0300d", 5);  // longer than any fixed buffer
    EXPECT_EQ(long_.textLength(), 300);
    GrowString withInt("n");
    withInt.appendInt(-12);
    EXPECT_STREQ(withInt.c_str(), "n-12");
}

TEST(TextNumbers, ThreadLocaleWithCommaDecimal) {
    const std::string name = commaDecimalLocale();
    ASSERT_FALSE(name.empty()) << "no comma-decimal locale on this machine (scripts/setup.sh makes de_DE.UTF-8)";
    const locale_t comma = newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(0));
    ASSERT_NE(comma, static_cast<locale_t>(0));
    const locale_t previous = uselocale(comma);
    ASSERT_EQ(plainFormatted("%f", 3.1), "3,100000");  // the locale is in effect
    expectCLocaleNumbers();
    // The thread's own locale is back after each call.
    EXPECT_EQ(plainFormatted("%f", 3.1), "3,100000");
    EXPECT_DOUBLE_EQ(std::strtod("3.1", nullptr), 3.0);
    uselocale(previous);
    freelocale(comma);
}

}  // namespace
