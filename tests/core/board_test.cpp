#include "core/board.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tess {
namespace {

using test::crlf;
using test::read_file;
using test::TempDir;
using test::write_file;

class BoardTest : public testing::Test {
  protected:
    TempDir dir;
    std::string log_path = dir.file("tessaron.log");
    DebugLog log{log_path};
    std::string path = dir.file("boards.ini");
    List<Board> boards;

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (Board* b : boards) out.push_back(b->name);
        return out;
    }
};

TEST_F(BoardTest, LoadsEverySectionInFileOrder) {
    write_file(path, crlf("[Epox 8RDA+]\n"
                          "SMI_Vendor=0x1FF\n"
                          "SMI_Name=8RDA+ nForce2 board long\n"
                          "SMI_Version=0x12345\n"
                          "Unknown=1\n"
                          "[Abit NF7-S]\n"
                          "SMI_Vendor=3\n"
                          "SMI_Name=NF7-S\n"
                          "[Plain]\n"));
    EXPECT_EQ(board_load(log, path, boards), 0);
    ASSERT_EQ(names(), (std::vector<std::string>{"Epox 8RDA+", "Abit NF7-S", "Plain"}));

    const Board* epox = boards.first();
    EXPECT_EQ(epox->smi_vendor, 0xFF);                 // low 8 bits
    EXPECT_EQ(epox->smi_name, "8RDA+ nForce2 board");  // 19 characters
    EXPECT_EQ(epox->smi_version, 0x12345);
    const Board* plain = boards.last();
    EXPECT_EQ(plain->smi_vendor, 0);
    EXPECT_EQ(plain->smi_name, "");
    EXPECT_EQ(plain->smi_version, 0);

    const std::string text = read_file(log_path);
    for (const char* n : {"Epox 8RDA+", "Abit NF7-S", "Plain"})
        EXPECT_NE(text.find(std::string("board: Found section ") + n + "\r\n"), std::string::npos);
}

TEST_F(BoardTest, MissingFileAddsNothing) {
    EXPECT_EQ(board_load(log, path, boards), 0);
    EXPECT_TRUE(boards.empty());
    EXPECT_NE(read_file(log_path).find("CONFIGFILE: Can't open " + path + " for read\r\n"),
              std::string::npos);
    write_file(path, "");
    EXPECT_EQ(board_load(log, path, boards), 0);
    EXPECT_TRUE(boards.empty());
}

TEST_F(BoardTest, OddSectionNames) {
    // A "[" in a value makes an entry without readable keys; a name longer
    // than 49 characters is cut (its keys are then not found under the cut
    // name); a "[" without "]" ends the list.
    const std::string long_name(55, 'N');
    write_file(path, crlf("[A]\nSMI_Name=x[y]z\n[" + long_name +
                          "]\nSMI_Vendor=7\n[B]\nSMI_Vendor=9\n" + "SMI_Name=open[bracket\n"));
    EXPECT_EQ(board_load(log, path, boards), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "y", std::string(49, 'N'), "B"}));
    for (Board* b : boards) {
        if (b->name == "B") {
            EXPECT_EQ(b->smi_vendor, 9);
            EXPECT_EQ(b->smi_name, "open[bracket");
            continue;
        }
        if (b->name == "A") {
            EXPECT_EQ(b->smi_name, "x[y]z");
            continue;
        }
        EXPECT_EQ(b->smi_vendor, 0) << b->name;
    }
}

struct FindCase {
    const char* name;
    uint8_t vendor;
    const char* smi_name;
    uint16_t version;
    const char* expected;  // board name, nullptr for none
};

class BoardFind : public testing::TestWithParam<FindCase> {
  protected:
    static void add(List<Board>& boards, const char* name, uint8_t vendor, const char* smi_name,
                    int32_t version) {
        auto b = std::make_unique<Board>();
        b->name = name;
        b->smi_vendor = vendor;
        b->smi_name = smi_name;
        b->smi_version = version;
        boards.add(std::move(b));
    }
};

TEST_P(BoardFind, MatchesSmiIdentity) {
    List<Board> boards;
    add(boards, "NoSmi", 0, "", 0);
    add(boards, "First", 5, "nForce2 Ultra", 0x10001);
    add(boards, "Second", 5, "nForce2 Ultra", 2);
    add(boards, "Other", 6, "KT400", 1);
    const auto& p = GetParam();
    const Board* found = board_find(boards, p.vendor, p.smi_name, p.version);
    if (!p.expected) {
        EXPECT_EQ(found, nullptr);
    } else {
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->name, p.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    BoardTest, BoardFind,
    testing::Values(FindCase{"NoSmiInterface", 0, "", 0, "NoSmi"},
                    FindCase{"VersionPicksSecond", 5, "nForce2 Ultra", 2, "Second"},
                    FindCase{"VersionComparedOnLow16Bits", 5, "nForce2 Ultra", 1, "First"},
                    FindCase{"NoVersionMatchGivesLastCandidate", 5, "nForce2 Ultra", 9, "Second"},
                    FindCase{"ShorterReportedNameMatches", 5, "Ultra", 9, "Second"},
                    FindCase{"EmptyNameMatchesVendor", 6, "", 0, "Other"},
                    FindCase{"LongerReportedNameDoesNot", 6, "KT400 Pro", 1, nullptr},
                    FindCase{"CaseSensitive", 6, "kt400", 1, nullptr},
                    FindCase{"WrongVendor", 7, "KT400", 1, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardFindEmpty, EmptyListFindsNothing) {
    List<Board> boards;
    EXPECT_EQ(board_find(boards, 0, "", 0), nullptr);
}

}  // namespace
}  // namespace tess
