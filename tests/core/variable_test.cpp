#include "core/variable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace tess {
namespace {

using test::crlf;
using test::read_file;
using test::TempDir;
using test::write_file;

class VariableTest : public testing::Test {
  protected:
    TempDir dir;
    std::string log_path = dir.file("tessaron.log");
    DebugLog log{log_path};
    std::string path = dir.file("config.ini");
    List<Variable> vars;

    int count_in_log(const std::string& line) const {
        const std::string text = read_file(log_path);
        int n = 0;
        for (auto pos = text.find(line); pos != std::string::npos; pos = text.find(line, pos + 1))
            ++n;
        return n;
    }
};

TEST_F(VariableTest, MissingVariableReadsZero) {
    EXPECT_EQ(var_get(vars, "FSB", "current"), 0);
    var_set(log, vars, "FSB", "current", 200);
    EXPECT_EQ(var_get(vars, "VCore", "current"), 0);
}

TEST_F(VariableTest, SetCreatesWithWholeRangeAndOtherSlotsStayZero) {
    EXPECT_EQ(var_set(log, vars, "FSB", "newval", 166), 166);
    ASSERT_EQ(vars.count(), 1u);
    EXPECT_EQ(vars.first()->min, 0u);
    EXPECT_EQ(vars.first()->max, 0xFFFFFFFFu);
    for (const char* slot : {"start", "current", "config"})
        EXPECT_EQ(var_get(vars, "FSB", slot), 0);
    EXPECT_EQ(var_get(vars, "FSB", "newval"), 166);

    // Each slot is its own field.
    const char* slots[] = {"start", "current", "newval", "config"};
    for (int i = 0; i < 4; ++i) var_set(log, vars, "FSB", slots[i], 10 + i);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(var_get(vars, "FSB", slots[i]), 10 + i);
    EXPECT_EQ(vars.count(), 1u);
}

TEST_F(VariableTest, MinusOneRoundTrips) {
    EXPECT_EQ(var_set(log, vars, "x", "config", -1), -1);
    EXPECT_EQ(static_cast<uint32_t>(vars.first()->config), 4294967295u);
    EXPECT_EQ(var_get(vars, "x", "config"), -1);
}

TEST_F(VariableTest, NamesCompareOnTwentyCharacters) {
    var_set(log, vars, "AGPSidebandAddressing", "current", 1);
    EXPECT_EQ(vars.first()->name, "AGPSidebandAddressin");
    EXPECT_EQ(var_set(log, vars, "AGPSidebandAddressinX", "current", 2), 2);
    EXPECT_EQ(vars.count(), 1u);
    EXPECT_EQ(var_get(vars, "AGPSidebandAddressin", "current"), 2);
    EXPECT_EQ(var_get(vars, "AGPSidebandAddressi", "current"), 0);   // shorter differs
    EXPECT_EQ(var_get(vars, "agpSidebandAddressin", "current"), 0);  // case counts
}

TEST_F(VariableTest, SetClampsAsUnsigned) {
    ASSERT_EQ(var_add(log, vars, "ranged", 10, 20), 0);
    struct {
        int32_t in;
        int32_t stored;
    } cases[] = {{5, 10}, {10, 10}, {15, 15}, {20, 20}, {30, 20}, {-1, 20}};
    for (const auto& c : cases) {
        EXPECT_EQ(var_set(log, vars, "ranged", "newval", c.in), c.stored) << c.in;
        EXPECT_EQ(var_get(vars, "ranged", "newval"), c.stored);
    }
}

TEST_F(VariableTest, FirstOfEqualNamesWins) {
    var_add(log, vars, "dup", 0, 5);
    var_add(log, vars, "dup", 0, 100);
    EXPECT_EQ(var_set(log, vars, "dup", "current", 50), 5);
    EXPECT_EQ(vars.last()->current, 0);
}

TEST_F(VariableTest, UnknownSlotIsRefused) {
    EXPECT_EQ(var_set(log, vars, "FSB", "Current", 5), -1);
    EXPECT_EQ(var_set(log, vars, "FSB", "", 5), -1);
    EXPECT_TRUE(vars.empty());  // nothing was created
    var_set(log, vars, "FSB", "current", 5);
    EXPECT_EQ(var_set(log, vars, "FSB", "max", 7), -1);
    EXPECT_EQ(var_get(vars, "FSB", "max"), 0);
    EXPECT_EQ(var_get(vars, "FSB", "current"), 5);
}

TEST_F(VariableTest, LoadKeepsDefaultsForMissingKeys) {
    var_set(log, vars, "update", "config", 5);
    var_set(log, vars, "Board", "config", 7);
    var_set(log, vars, "hex", "config", 1);

    EXPECT_EQ(var_load(log, path, "Main", vars), 0);  // file missing
    EXPECT_EQ(var_get(vars, "update", "config"), 5);
    EXPECT_EQ(var_get(vars, "Board", "config"), 7);
    EXPECT_EQ(count_in_log("CONFIGFILE: Can't open " + path + " for read\r\n"), 3);

    write_file(path, crlf("[Other]\nBoard=1\n[Main]\nupdate=10\nhex=0x10\n"));
    EXPECT_EQ(var_load(log, path, "Main", vars), 0);
    EXPECT_EQ(var_get(vars, "update", "config"), 10);
    EXPECT_EQ(var_get(vars, "Board", "config"), 7);
    EXPECT_EQ(var_get(vars, "hex", "config"), 16);
}

TEST_F(VariableTest, SaveWritesNewSectionInReverseOrderAndUpdatesInPlace) {
    write_file(path, crlf("[Log]\nkeep=1\n"));
    var_set(log, vars, "Board", "config", 3);
    var_set(log, vars, "update", "config", 5);
    var_set(log, vars, "neg", "config", -2);
    EXPECT_EQ(var_save(log, path, "Main", vars), 0);
    EXPECT_EQ(read_file(path), crlf("[Log]\nkeep=1\n\n[Main]\nneg=-2\nupdate=5\nBoard=3\n"));

    var_set(log, vars, "update", "config", 6);
    EXPECT_EQ(var_save(log, path, "Main", vars), 0);
    EXPECT_EQ(read_file(path), crlf("[Log]\nkeep=1\n\n[Main]\nneg=-2\nupdate=6\nBoard=3\n"));
}

TEST_F(VariableTest, SaveFailureIsLoggedPerVariable) {
    std::filesystem::create_directory(path);
    var_set(log, vars, "a", "config", 1);
    var_set(log, vars, "b", "config", 2);
    EXPECT_EQ(var_save(log, path, "Main", vars), 0);
    EXPECT_EQ(count_in_log("variable: Write failed\r\n"), 2);
}

}  // namespace
}  // namespace tess
