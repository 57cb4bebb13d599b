// Start-up and shut-down of the application on the simulated board.

#include <string>

#include "app/app.h"
#include "app_fixture.h"
#include "hw/atxp1.h"
#include "hw/nforce2.h"
#include "os/instance_registry.h"

namespace tess::test {
namespace {

using Outcome = App::Outcome;

std::string with_multiplier(int tenths) {
    std::string toml = sim::SimBoard::default_profile();
    const std::string key = "# multiplier = 110";
    const auto at = toml.find(key);
    if (at == std::string::npos) throw std::runtime_error("profile has no multiplier line");
    toml.replace(at, key.size(), "multiplier = " + std::to_string(tenths));
    return toml;
}

TEST_F(AppTest, StartsOnTheSimulatedBoardInTheFixedOrder) {
    start();
    ASSERT_EQ(outcome, Outcome::Running);
    EXPECT_EQ(fe.caption, "tessaron 0.8.8-dev8 (Simulated nForce2 ATXP1)");
    EXPECT_EQ(app->state().current_board->name, kAtxp1Board);
    EXPECT_EQ(fe.status, std::vector<std::string>{"Port access successfully initialized."});
    EXPECT_FALSE(fe.only_settings);
    EXPECT_EQ(fe.fills, 1);
    EXPECT_TRUE(fe.sensor_timer);

    const auto lines = log_lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "===============================================");
    EXPECT_EQ(lines[1], "TESSARON: Version tessaron 0.8.8-dev8");
    EXPECT_EQ(lines[2], "TESSARON: Linux detected");
    EXPECT_TRUE(logged("TESSARON: Port access through the simulated nForce2 board"));
    // The drivers start in their fixed order.
    const char* order[] = {
        "TESSARON: Using board Simulated nForce2 ATXP1",
        "tessaron: Init SMBUS drivers done",
        "atxp1: Found ATXP1 on NFORCE2_SMBUS:NFORCE2_SMBUS1, address 0x4e",
        "tessaron: Init voltage drivers done",
        "nforce2-pci: Revision c1",
        "tessaron: Init chipset drivers done",
        "tessaron: Init sensor drivers done",
        "tessaron: Init SMART drivers done",
        "tessaron: Chipset reported multiplier: 110",
        "tessaron: Calculated multiplier: 110",
        "tessaron: init_values done",
        "tessaron: Using driver ATXP1",
        "tessaron: Init control startup values done",
        "TESSARON: Trayicon not available",
    };
    long previous = -1;
    for (const char* line : order) {
        const long at = log_index(line);
        EXPECT_GT(at, previous) << line;
        previous = at;
    }

    // Start values of the controls the pages work on.
    EXPECT_EQ(var("FSB", "current"), 200);
    EXPECT_EQ(var("FSB", "start"), 200);
    EXPECT_EQ(var("FSB", "newval"), 200);
    EXPECT_EQ(var("VCore", "current"), 1650);
    EXPECT_EQ(var("VDimm", "newval"), 2600);
    EXPECT_EQ(app->state().multiplier, 110);
    EXPECT_EQ(fe.driver_names, std::vector<std::string>{"ATXP1"});
    EXPECT_EQ(fe.driver_selected, 0);
    EXPECT_EQ(app->chosen_driver(), "ATXP1");
    EXPECT_TRUE(fe.boxes.empty());
}

struct BoardChoice {
    const char* name;
    std::string profile;
    std::string config;    // config.ini; empty: none
    const char* expected;  // nullptr: no board, Settings page only
};

class BoardChoiceTest : public AppTest, public ::testing::WithParamInterface<BoardChoice> {};

TEST_P(BoardChoiceTest, ChoosesTheBoard) {
    const BoardChoice& c = GetParam();
    make_board(c.profile);
    if (!c.config.empty()) write_config(c.config);
    start();
    if (!c.expected) {
        EXPECT_EQ(outcome, Outcome::SettingsOnly);
        EXPECT_TRUE(fe.only_settings);
        EXPECT_EQ(app->state().current_board, nullptr);
        EXPECT_EQ(fe.caption, "tessaron");
        EXPECT_FALSE(logged("tessaron: Init SMBUS drivers done"));
        // The board list offers every board, the first in sorted order selected.
        EXPECT_EQ(fe.board_names, (std::vector<std::string>{kAtxp1Board, kSmiBoard}));
        EXPECT_EQ(fe.board_selected, 0);
        return;
    }
    ASSERT_EQ(outcome, Outcome::Running);
    EXPECT_EQ(app->state().current_board->name, c.expected);
    EXPECT_EQ(fe.caption, std::string("tessaron 0.8.8-dev8 (") + c.expected + ")");
    EXPECT_EQ(fe.board_names[fe.board_selected], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Startup, BoardChoiceTest,
    ::testing::Values(BoardChoice{"BoardKey", sim::SimBoard::default_profile(),
                                  "[Main]\nBoard=Simulated nForce2 SMI\n", kSmiBoard},
                      // A "Board" key naming no board: the SMI identity is not tried.
                      BoardChoice{"BoardKeyNamingNoBoard", sim::SimBoard::profile("smi"),
                                  "[Main]\nBoard=Simulated nForce2\n", nullptr},
                      // No key, no SMI: the board with SMI vendor 0 and version 0.
                      BoardChoice{"NoKeyNoSmi", sim::SimBoard::default_profile(), "", kAtxp1Board},
                      // No key: the identity the BIOS reports.
                      BoardChoice{"NoKeySmiIdentity", sim::SimBoard::profile("smi"), "", kSmiBoard},
                      // A config.ini that is no INI file at all is read as holding nothing.
                      BoardChoice{"GarbageConfig", sim::SimBoard::default_profile(),
                                  std::string("\x01[\xff]]]=\n[Main\nBoard\n", 20), kAtxp1Board}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, SmiInterfaceIsLogged) {
    make_board(sim::SimBoard::profile("smi"));
    start();
    EXPECT_TRUE(logged("TESSARON: SMI interface available"));
}

struct BoardsFile {
    const char* name;
    bool present;
    const char* text;
};

class BadBoardsTest : public AppTest, public ::testing::WithParamInterface<BoardsFile> {};

TEST_P(BadBoardsTest, EndsWithExitCodeOne) {
    std::filesystem::remove(dir.path() / "boards.ini");
    if (GetParam().present) write_file(dir.path() / "boards.ini", GetParam().text);
    start();
    EXPECT_EQ(outcome, Outcome::Exit);
    EXPECT_EQ(app->exit_code(), 1);
    EXPECT_TRUE(logged("tessaron: No boards found!"));
    EXPECT_EQ(fe.boxes, std::vector<std::string>{"Sorry, no boards found in boards.ini"});
}

INSTANTIATE_TEST_SUITE_P(Startup, BadBoardsTest,
                         ::testing::Values(BoardsFile{"Missing", false, ""},
                                           BoardsFile{"Empty", true, ""},
                                           BoardsFile{"TooShort", true, "[a"},
                                           BoardsFile{"NoSections", true, "SMI_Vendor=1\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, MalformedBoardsFileDoesNotCrash) {
    // A "[" without "]" and a value holding "[" make odd entries, nothing worse.
    write_file(dir.path() / "boards.ini",
               crlf("[Simulated nForce2 ATXP1]\nSMI_Name=a[b\n[unterminated\n"));
    start();
    ASSERT_EQ(outcome, Outcome::Running);
    EXPECT_EQ(app->state().current_board->name, kAtxp1Board);
}

TEST_F(AppTest, MalformedControlsFileDoesNotCrash) {
    write_file(dir.path() / "controls.ini",
               crlf("[Simulated nForce2 ATXP1]\nControl0=ATXP1;VDimm;2600:6:3\n"
                    "Control1=ATXP1\nControl2=;;;;\nControl3=ATXP1;VAgp;" +
                    std::string(600, 'x') + "\n"));
    start();
    EXPECT_EQ(outcome, Outcome::Running);
    EXPECT_TRUE(logged("tessaron: Init control startup values done"));
}

TEST_F(AppTest, MultiplierCalculatedAbove125ReplacesTheChipsets) {
    struct Case {
        int cpu_multiplier;
        int32_t expected;
    };
    for (const Case c : {Case{125, 110}, Case{126, 126}}) {
        SCOPED_TRACE(c.cpu_multiplier);
        app.reset();
        make_board(with_multiplier(c.cpu_multiplier));
        start();
        EXPECT_TRUE(logged("tessaron: Chipset reported multiplier: 110"));
        EXPECT_TRUE(logged("tessaron: Calculated multiplier: " + std::to_string(c.cpu_multiplier)));
        EXPECT_EQ(app->state().multiplier, c.expected);
    }
}

TEST_F(AppTest, FsbReadingZeroSkipsTheCalculation) {
    make_board().set_pci_config(Nforce2::kRegBootFsb, 0);
    start();
    ASSERT_EQ(outcome, Outcome::Running);
    EXPECT_EQ(var("FSB", "current"), 0);
    EXPECT_EQ(app->state().multiplier, 110);
    for (const auto& line : log_lines()) EXPECT_FALSE(line.starts_with("tessaron: Calculated"));
}

TEST_F(AppTest, DelaysComeFromConfig) {
    write_config("[Main]\nfsbdelay=20\nvcoredelay=250\n");
    start();
    EXPECT_EQ(app->nforce2()->fsb_delay(), 20);
    EXPECT_EQ(app->atxp1()->vcore_delay(), 250);
}

TEST_F(AppTest, StoredDriverPositionBeyondTheListAsksForADriver) {
    write_config("[Main]\ndriver=1\n");
    start();
    EXPECT_EQ(fe.driver_selected, -1);
    EXPECT_EQ(app->chosen_driver(), "");
    EXPECT_TRUE(logged("tessaron: Using driver "));
    EXPECT_EQ(fe.boxes, std::vector<std::string>{"Please select a driver on the Settings page."});
    // Without a chosen driver no voltage start value is read.
    EXPECT_EQ(var("VCore", "current"), 0);
    EXPECT_EQ(var("FSB", "current"), 200);
}

TEST_F(AppTest, SettingsAreShownFromConfig) {
    write_config(
        "[Main]\nreset=1\nminimized=1\nautofsb=1\nexitpreset=Slow\nsuspendpreset=Cool\n"
        "[Sensor]\nupdate=0\n");
    start();
    EXPECT_TRUE(fe.view.reset);
    EXPECT_FALSE(fe.view.suspend);
    EXPECT_TRUE(fe.view.minimized);
    EXPECT_EQ(fe.view.exit_preset, "Slow");
    EXPECT_EQ(fe.view.suspend_preset, "Cool");
    EXPECT_EQ(fe.view.update, 0);
    EXPECT_TRUE(fe.autofsb);
    EXPECT_FALSE(fe.sensor_timer);
    EXPECT_TRUE(fe.minimized);
}

// A second instance while one runs: exit code 1, and the running
// instance's log is kept.
TEST_F(AppTest, SecondInstanceEndsAndKeepsTheRunningLog) {
    start();
    ASSERT_EQ(outcome, Outcome::Running);
    const auto first_lines = log_lines().size();

    FakeFrontend fe2;
    auto backend2 =
        Backend::simulated(sim::SimBoard::from_toml(sim::SimBoard::default_profile(), nullptr));
    App second(fe2, *backend2, options());
    EXPECT_EQ(second.start(), Outcome::Exit);
    EXPECT_EQ(second.exit_code(), 1);
    EXPECT_TRUE(fe2.boxes.empty());

    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), first_lines + 3);
    EXPECT_EQ(lines[0], "===============================================");
    EXPECT_TRUE(logged("tessaron: Init control startup values done"));
    EXPECT_EQ(lines[first_lines + 1], "TESSARON: Version tessaron 0.8.8-dev8");
    EXPECT_EQ(lines.back(), "TESSARON: Already running! -> Exiting now...");
}

TEST_F(AppTest, RunningInstanceWithoutBoardIsNotFound) {
    write_config("[Main]\nBoard=nothing\n");
    start();
    ASSERT_EQ(outcome, Outcome::SettingsOnly);
    EXPECT_EQ(single_instance_running("tessaron 0.8.8-dev8", dir.path() / "registry"), 0);

    // Once a board is set, the caption names it and the instance is found.
    app->set_board(kAtxp1Board);
    EXPECT_EQ(fe.caption, "tessaron 0.8.8-dev8 (Simulated nForce2 ATXP1)");
    EXPECT_EQ(single_instance_running("tessaron 0.8.8-dev8", dir.path() / "registry"), 1);
}

TEST_F(AppTest, SaveSettingsWritesMainAndSensor) {
    start();
    fe.view.reset = true;
    fe.view.exit_preset = "An exit preset longer than twenty-nine";
    app->save_settings();
    EXPECT_EQ(config(), crlf("\n[Main]\nsuspendpreset=\nexitpreset=An exit preset longer than tw\n"
                             "vcoredelay=100\nfsbdelay=100\nautofsb=0\ndriver=0\nminimized=0\n"
                             "suspend=0\nreset=1\nBoard=Simulated nForce2 ATXP1\n"
                             "\n[Sensor]\nupdate=5\n"));
    EXPECT_TRUE(logged("tessaron: Saved Main vars"));
    EXPECT_TRUE(logged("tessaron: Saved sensor settings"));
}

// Without a board nothing was loaded: closing keeps every file as it was.
TEST_F(AppTest, ClosingWithoutBoardKeepsConfig) {
    write_config("[Main]\nBoard=gone\nfsbdelay=40\nminimized=1\n[Sensor]\nupdate=9\n");
    const std::string before = config();
    start();
    ASSERT_EQ(outcome, Outcome::SettingsOnly);
    app->save_settings();
    app->close();
    EXPECT_EQ(config(), before);
    EXPECT_TRUE(logged("tessaron: Freeing lists..."));
    EXPECT_TRUE(logged("Done."));
}

// "Set" without a board stores only the board, which the start-up that
// follows then reads together with the user's other settings.
TEST_F(AppTest, SetBoardWithoutBoardStoresTheBoardFirst) {
    write_config("[Main]\nBoard=gone\nfsbdelay=40\n[Sensor]\nupdate=9\n");
    start();
    ASSERT_EQ(outcome, Outcome::SettingsOnly);
    app->set_board(kAtxp1Board);
    EXPECT_EQ(config(), crlf("[Main]\nBoard=Simulated nForce2 ATXP1\nfsbdelay=40\n"
                             "[Sensor]\nupdate=9\n"));
    EXPECT_TRUE(logged("TESSARON: Re-setting board"));
    EXPECT_EQ(app->state().current_board->name, kAtxp1Board);
    EXPECT_EQ(app->nforce2()->fsb_delay(), 40);
    EXPECT_EQ(fe.view.update, 9);
    EXPECT_EQ(var("FSB", "current"), 200);
}

TEST_F(AppTest, SetBoardWithTheCurrentBoardDoesNothing) {
    start();
    const auto lines = log_lines().size();
    app->set_board(kAtxp1Board);
    EXPECT_EQ(log_lines().size(), lines);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "config.ini"));
}

TEST_F(AppTest, SetBoardRestartsTheDrivers) {
    start();
    app->set_board(kSmiBoard);
    EXPECT_EQ(app->state().current_board->name, kSmiBoard);
    EXPECT_NE(config().find("Board=Simulated nForce2 SMI\r\n"), std::string::npos);
    EXPECT_EQ(fe.fills, 2);
    EXPECT_EQ(app->state().drivers.count(), 5u);  // SMBus, ATXP1, NFORCE2, CPULOAD, TOOLS
}

TEST_F(AppTest, DriverChangeSavesAndRereads) {
    start();
    app->driver_change(0);  // the driver already chosen
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "config.ini"));

    app->driver_change(-1);
    EXPECT_EQ(app->chosen_driver(), "");
    EXPECT_NE(config().find("driver=-1\r\n"), std::string::npos);
    EXPECT_EQ(fe.fills, 2);
}

// The voltages of a driver chosen after the start were never read: they
// start from their readings, so Apply writes nothing the user did not ask for.
TEST_F(AppTest, DriverChosenLaterHasNoPendingChanges) {
    write_config("[Main]\ndriver=-1\n");
    start();
    ASSERT_EQ(app->chosen_driver(), "");
    fe.boxes.clear();
    app->driver_change(0);
    ASSERT_EQ(app->chosen_driver(), "ATXP1");
    for (const char* name : {"VCore", "VDimm", "Vdd"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(var(name, "current"), 0);
        EXPECT_EQ(var(name, "newval"), var(name, "current"));
        EXPECT_EQ(var(name, "start"), var(name, "current"));
    }
    trace.clear();
    app->apply(ApplySender::ApplyButton);
    EXPECT_TRUE(fe.boxes.empty());
    EXPECT_EQ(port_writes(), 0u);

    // A refresh of the same driver keeps what is pending.
    set_newval("VDimm", 2800);
    app->init_values(false);
    EXPECT_EQ(var("VDimm", "newval"), 2800);
    EXPECT_EQ(var("VDimm", "current"), 2600);
}

TEST_F(AppTest, CloseSavesFreesAndRunsOnce) {
    start();
    app->close();
    EXPECT_TRUE(fe.timers_stopped);
    EXPECT_NE(config().find("Board=Simulated nForce2 ATXP1\r\n"), std::string::npos);
    EXPECT_TRUE(app->state().controls.empty());
    EXPECT_TRUE(app->state().boards.empty());
    EXPECT_TRUE(app->state().control_vars.empty());
    EXPECT_EQ(app->state().current_board, nullptr);
    const auto lines = log_lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "tessaron: Freeing lists...");
    EXPECT_EQ(lines.back(), "Done.");

    app->close();
    EXPECT_EQ(log_lines().size(), lines.size());
}

}  // namespace
}  // namespace tess::test
