#include "core/debug_log.h"

#include <gtest/gtest.h>

#include <climits>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace tess {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

std::tm at(int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return tm;
}

struct FormatCase {
    const char* name;
    std::string actual;
    std::string expected;
};

const char* const kNoText = nullptr;

class DebugLogFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(DebugLogFormat, WritesConversions) {
    EXPECT_EQ(GetParam().actual, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    DebugLog, DebugLogFormat,
    testing::Values(
        FormatCase{"TextsAndHex",
                   format_log_message("atxp1: Found ATXP1 on %s:%s, address 0x%x\n",
                                      {"NFORCE2_SMBUS", "NFORCE2_SMBUS0", 45}),
                   "atxp1: Found ATXP1 on NFORCE2_SMBUS:NFORCE2_SMBUS0, address 0x2d\n"},
        FormatCase{"HexHasTwoDigits", format_log_message("%x", {5}), "05"},
        FormatCase{"HexWide", format_log_message("%x", {0x1234abcd}), "1234abcd"},
        FormatCase{"NegativeDecimal", format_log_message("%d", {-1}), "-1"},
        FormatCase{"NegativeHex", format_log_message("%x", {-1}), "ffffffff"},
        FormatCase{"IntMin", format_log_message("%d", {INT_MIN}), "-2147483648"},
        FormatCase{"UnsignedPatternAsSigned", format_log_message("%d", {0xFFFFFFFFu}), "-1"},
        FormatCase{"Byte", format_log_message("%d", {uint8_t{200}}), "200"},
        FormatCase{"FloatThreeDecimals", format_log_message("%f V", {1.65}), "1.650 V"},
        FormatCase{"FloatRounds", format_log_message("%f", {2.0 / 3.0}), "0.667"},
        FormatCase{"OtherCharacterIsHex", format_log_message("%q|%u", {10, 255}), "0a|ff"},
        FormatCase{"NoEscapedPercent", format_log_message("100%% done", {255}), "100ff done"},
        FormatCase{"TrailingPercentIsWrittenAndTakesNothing", format_log_message("%d%", {7, 8}),
                   "7%"},
        FormatCase{"LonePercent", format_log_message("%", {}), "%"},
        FormatCase{"MissingArgument", format_log_message("%d and %s and %x", {1}),
                   "1 and (null) and (null)"},
        FormatCase{"NullText", format_log_message("[%s]", {kNoText}), "[(null)]"},
        FormatCase{"ExtraArgumentsIgnored", format_log_message("plain\n", {1, "x"}), "plain\n"},
        FormatCase{"IntegerForText", format_log_message("%s", {-42}), "-42"},
        FormatCase{"TextForInteger", format_log_message("%d/%x", {"abc", "def"}), "abc/def"},
        FormatCase{"IntegerForFloat", format_log_message("%f", {3}), "3.000"},
        FormatCase{"FloatForInteger", format_log_message("%d", {-2.9}), "-2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DebugLogFormat, HugeFloatIsNotCut) {
    const std::string text = format_log_message("%f|", {1e300});
    ASSERT_EQ(text.size(), 301u + 4u + 1u);
    EXPECT_EQ(text.substr(0, 2), "10");
    EXPECT_EQ(text.substr(text.size() - 5), ".000|");
}

class DebugLogFile : public testing::Test {
  protected:
    TempDir dir;
    std::string path = dir.file("tessaron.log");
};

TEST_F(DebugLogFile, PrefixAndLineEnds) {
    DebugLog log(path);
    log.set_clock([] { return at(1, 2, 9, 5, 3); });
    debug_log(log, "tessaron: first\n");
    debug_log(log, "two\nlines %s", "with\nnewline");
    EXPECT_EQ(read_file(path),
              "01/02 09:05:03 | tessaron: first\r\n"
              "01/02 09:05:03 | two\r\nlines with\r\nnewline");
}

TEST_F(DebugLogFile, DefaultClockWritesLocalTimePrefix) {
    DebugLog log(path);
    debug_log(log, "x\n");
    EXPECT_TRUE(std::regex_match(
        read_file(path),
        std::regex(R"((0[1-9]|1[0-2])/[0-3]\d [0-2]\d:[0-5]\d:[0-6]\d \| x\r\n)")));
}

TEST_F(DebugLogFile, EachRunStartsTheFileAfresh) {
    write_file(path, "old run\r\n");
    {
        DebugLog first(path);
        first.set_clock([] { return at(12, 9, 18, 37, 5); });
        debug_log(first, "run 1 a\n");
        debug_log(first, "run 1 b\n");
        EXPECT_EQ(read_file(path), "12/09 18:37:05 | run 1 a\r\n12/09 18:37:05 | run 1 b\r\n");
    }
    DebugLog second(path);
    second.set_clock([] { return at(12, 9, 18, 37, 6); });
    debug_log(second, "run 2\n");
    EXPECT_EQ(read_file(path), "12/09 18:37:06 | run 2\r\n");
}

TEST_F(DebugLogFile, AppendFromStartKeepsTheRunningInstancesLog) {
    write_file(path, "running instance\r\n");
    DebugLog log(path);
    log.set_clock([] { return at(3, 4, 5, 6, 7); });
    log.append_from_start();
    debug_log(log, "TESSARON: Already running\n");
    EXPECT_EQ(read_file(path),
              "running instance\r\n03/04 05:06:07 | TESSARON: Already running\r\n");
}

TEST_F(DebugLogFile, UnwritableFileDropsMessagesSilently) {
    DebugLog log(dir.path() / "missing-folder" / "tessaron.log");
    debug_log(log, "lost\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing-folder"));

    // Once the file can be opened, the first message that arrives still
    // starts it afresh.
    std::filesystem::create_directory(dir.path() / "missing-folder");
    write_file(dir.path() / "missing-folder" / "tessaron.log", "previous run\r\n");
    debug_log(log, "kept\n");
    const std::string text = read_file(dir.path() / "missing-folder" / "tessaron.log");
    EXPECT_EQ(text.find("previous run"), std::string::npos);
    EXPECT_NE(text.find("kept\r\n"), std::string::npos);
}

TEST_F(DebugLogFile, ConcurrentWritersNeverInterleave) {
    DebugLog log(path);
    log.set_clock([] { return at(1, 1, 0, 0, 0); });
    constexpr int kPerThread = 200;
    auto writer = [&log](int id) {
        for (int i = 0; i < kPerThread; ++i) debug_log(log, "thread %d message %d\n", id, i);
    };
    std::thread t1(writer, 1);
    std::thread t2(writer, 2);
    t1.join();
    t2.join();

    std::istringstream in(read_file(path));
    std::string line;
    int lines = 0;
    const std::regex pattern(R"(01/01 00:00:00 \| thread [12] message \d+\r)");
    while (std::getline(in, line)) {
        EXPECT_TRUE(std::regex_match(line, pattern)) << line;
        ++lines;
    }
    EXPECT_EQ(lines, 2 * kPerThread);
}

}  // namespace
}  // namespace tess
