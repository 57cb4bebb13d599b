// The command line: "-h", "-l", "-s name value", with and without a display.

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/app.h"
#include "app/command_line.h"
#include "app_fixture.h"

namespace tess::test {
namespace {

using Args = std::vector<std::string>;
using Outcome = App::Outcome;

const std::string kList =
    "Available options:\n VCore\n VDimm\n VDimm+\n VAgp\n Vdd\n FSB\n AutoPrecharge\n"
    " StopGrant\n AGPSidebandAddressing\n AGPApertureSize\n PCIBusLatency\n AGPBusLatency\n"
    " AGPCtrLatency\n Tras\n Trcd\n Trp\n";

TEST_F(AppTest, SetOptionsApplyTogetherAndEndTheProgram) {
    start({"-s", "FSB", "180", "-s", "VCore", "1600"});
    EXPECT_EQ(outcome, Outcome::Exit);
    EXPECT_EQ(app->exit_code(), kExitOk);
    EXPECT_EQ(fe.fills, 0);  // the window never comes up
    EXPECT_TRUE(logged("tessaron: Parsing command-line options..."));
    EXPECT_TRUE(logged("tessaron: Got command line option: FSB = 180"));
    EXPECT_TRUE(logged("tessaron: Got command line option: VCore = 1600"));
    EXPECT_LT(log_index("tessaron: Changed FSB to 180"),
              log_index("tessaron: Changed control VCore to 1600"));
    EXPECT_EQ(fe.count_progress("FSB "), 21u);
    EXPECT_EQ(board->fsb_mhz(), 180u);
    EXPECT_EQ(board->vcore_mv(), 1600);
    EXPECT_TRUE(fe.boxes.empty());
}

TEST_F(AppTest, SetValueReadsWithAutomaticBase) {
    start({"-s", "FSB", "0xb4", "-s", "VDimm", "2700.9"});
    EXPECT_EQ(app->exit_code(), kExitOk);
    EXPECT_EQ(board->fsb_mhz(), 180u);
    EXPECT_EQ(board->rail_mv("VDimm"), 2700);
}

// Names are variable names, matched on their first 20 characters.
TEST_F(AppTest, SetNameMatchesOnTwentyCharacters) {
    start({"-s", "AGPSidebandAddressinX", "0"});
    EXPECT_EQ(app->exit_code(), kExitOk);
    EXPECT_TRUE(logged("tessaron: Changed control AGPSidebandAddressing to 0"));
}

struct Failing {
    const char* name;
    Args args;
    const char* log_line;  // nullptr: none expected
};

class FailingSetTest : public AppTest, public ::testing::WithParamInterface<Failing> {};

// A value that was not written, or named no control, ends with code 2.
TEST_P(FailingSetTest, EndsWithItsOwnCode) {
    start(GetParam().args);
    EXPECT_EQ(outcome, Outcome::Exit);
    EXPECT_EQ(app->exit_code(), kExitSetFailed);
    if (GetParam().log_line) {
        EXPECT_TRUE(logged(GetParam().log_line));
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, FailingSetTest,
    ::testing::Values(
        Failing{
            "NoSuchControl", {"-s", "Warp", "9"}, "tessaron: Got command line option: Warp = 9"},
        Failing{"BadValue",
                {"-s", "AGPApertureSize", "600"},
                "tessaron: Error changing AGPApertureSize to 600"},
        Failing{"FsbOutOfRange", {"-s", "FSB", "20"}, "tessaron: Error changing FSB to 20"},
        // A sensor or a delay is no control the engine writes.
        Failing{"NotApplied", {"-s", "FSBDelay", "50"}, nullptr},
        // One good value does not hide a bad one.
        Failing{
            "OneOfTwo", {"-s", "FSB", "190", "-s", "Warp", "1"}, "tessaron: Changed FSB to 190"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, LaterSetOptionOverridesAnEarlierOne) {
    start({"-s", "FSB", "20", "-s", "FSB", "190"});
    EXPECT_EQ(app->exit_code(), kExitOk);
    EXPECT_EQ(board->fsb_mhz(), 190u);
}

// A command line that sets values never waits for a person: no request for
// a driver (the chipset values are still written).
TEST_F(AppTest, SetWithoutChosenDriverAsksNobody) {
    write_config("[Main]\ndriver=-1\n");
    start({"-s", "FSB", "190"});
    EXPECT_TRUE(fe.boxes.empty());
    EXPECT_EQ(app->exit_code(), kExitOk);
    EXPECT_EQ(board->fsb_mhz(), 190u);
}

TEST_F(AppTest, SetFollowedByHelpAppliesNothing) {
    start({"-s", "FSB", "180", "-h"});
    EXPECT_EQ(outcome, Outcome::Running);
    EXPECT_EQ(app->exit_code(), std::nullopt);
    EXPECT_EQ(fe.boxes, std::vector<std::string>{kHelpText});
    EXPECT_EQ(board->fsb_mhz(), 200u);
    EXPECT_EQ(pll_loads(), 0u);
    EXPECT_EQ(fe.fills, 1);  // the window comes up
}

TEST_F(AppTest, ListNamesTheSettableControls) {
    start({"-l"});
    EXPECT_EQ(outcome, Outcome::Running);
    EXPECT_EQ(fe.boxes, std::vector<std::string>{kList});
}

TEST_F(AppTest, ListWithoutChosenDriverHasNoVoltages) {
    write_config("[Main]\ndriver=-1\n");
    start({"-l"});
    ASSERT_EQ(fe.boxes.size(), 2u);  // the driver request, then the list
    EXPECT_EQ(fe.boxes[1],
              "Available options:\n FSB\n AutoPrecharge\n StopGrant\n AGPSidebandAddressing\n"
              " AGPApertureSize\n PCIBusLatency\n AGPBusLatency\n AGPCtrLatency\n Tras\n"
              " Trcd\n Trp\n");
}

struct Headless {
    const char* name;
    Args args;
    std::string output;  // to standard output
    std::string box;     // to standard error (as a message box)
    std::optional<int> code;
};

class CommandLineModeTest : public AppTest,
                            public ::testing::WithParamInterface<std::tuple<bool, Headless>> {};

TEST_P(CommandLineModeTest, AnswersAsTheDisplayAllows) {
    const auto& [headless, c] = GetParam();
    fe.is_headless = headless;
    start(c.args);
    if (headless) {
        EXPECT_EQ(fe.outputs, c.output.empty() ? Args{} : Args{c.output});
        EXPECT_EQ(fe.boxes, c.box.empty() ? Args{} : Args{c.box});
        EXPECT_EQ(app->exit_code(), c.code);
    } else {
        // With a display: a message box, then the window.
        EXPECT_TRUE(fe.outputs.empty());
        EXPECT_EQ(fe.boxes, Args{c.output.empty() ? c.box : c.output});
        EXPECT_EQ(app->exit_code(), std::nullopt);
        EXPECT_EQ(fe.fills, 1);
    }
    EXPECT_EQ(pll_loads(), 0u);
}

const Headless kModes[] = {
    {"Help", {"-h"}, kHelpText, "", kExitOk},
    {"List", {"-l"}, kList, "", kExitOk},
    {"SyntaxNoValue", {"-s", "FSB"}, "", kSyntaxText, kExitSetFailed},
    {"SyntaxNothing", {"-s"}, "", kSyntaxText, kExitSetFailed},
    {"EarlierSetNotApplied", {"-s", "FSB", "180", "-s", "VCore"}, "", kSyntaxText, kExitSetFailed},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, CommandLineModeTest,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kModes)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Headless_"
                                                                        : "Display_") +
                                    std::get<1>(info.param).name;
                         });

TEST_F(AppTest, OtherArgumentsArePassedOver) {
    for (const Args& args : {Args{"-S", "FSB", "180"}, Args{"/s", "FSB", "180"}, Args{"--help"}}) {
        app.reset();
        backend.reset();
        start(args);
        EXPECT_EQ(outcome, Outcome::Running) << args[0];
        EXPECT_TRUE(fe.boxes.empty());
        EXPECT_EQ(board->fsb_mhz(), 200u);
    }
}

}  // namespace
}  // namespace tess::test
