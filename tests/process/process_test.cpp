// The built program as a whole process on the simulated board: exit codes,
// standard output and error, tessaron.log, config.ini and the board file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_board.h"
#include "support/test_support.h"

extern char** environ;

namespace tess::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: a sanitizer build starts slowly on a busy machine.
constexpr auto kTimeout = 60s;

// One run of tessaron in a directory of its own.
class Tessaron {
  public:
    // env_overrides ("NAME=VALUE") replace the entries of the same name.
    Tessaron(const fs::path& dir, const std::vector<std::string>& args, const std::string& name,
             const std::vector<std::string>& env_overrides = {})
        : out_(dir / (name + ".out")), err_(dir / (name + ".err")) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string_view entry(*e);
            static constexpr std::string_view dropped[] = {
                "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "XDG_RUNTIME_DIR=",
                "TESSARON_"};
            bool keep = true;
            for (const auto prefix : dropped) keep = keep && !entry.starts_with(prefix);
            if (keep) env.emplace_back(entry);
        }
        for (const std::string& extra : std::vector<std::string>{
                 "TESSARON_HW=sim", "TESSARON_SIM_CLOCK=virtual", "QT_QPA_PLATFORM=offscreen",
                 "TESSARON_SIM_BOARD=" + (dir / "board.toml").string(),
                 "TESSARON_SIM_TRACE=" + (dir / "trace.txt").string(),
                 "XDG_RUNTIME_DIR=" + (dir / "xdg").string()})
            env.push_back(extra);
        for (const std::string& entry : env_overrides) {
            const std::string prefix = entry.substr(0, entry.find('=') + 1);
            std::erase_if(env, [&prefix](const std::string& e) { return e.starts_with(prefix); });
            env.push_back(entry);
        }

        std::vector<std::string> argv{TESSARON_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const auto pointers = [](std::vector<std::string>& v) {
            std::vector<char*> p;
            for (auto& s : v) p.push_back(s.data());
            p.push_back(nullptr);
            return p;
        };
        auto argv_p = pointers(argv);
        auto env_p = pointers(env);
        if (posix_spawn(&pid_, argv_p[0], &actions, nullptr, argv_p.data(), env_p.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Tessaron() {
        if (pid_ > 0 && !code_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Tessaron(const Tessaron&) = delete;
    Tessaron& operator=(const Tessaron&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int sig) const { ::kill(pid_, sig); }

    // The exit code; -1 for a process that ended by a signal; nullopt when it
    // still runs after the timeout.
    std::optional<int> wait(std::chrono::milliseconds timeout = kTimeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!code_) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > end) break;
            std::this_thread::sleep_for(10ms);
        }
        return code_;
    }

    std::string out() const { return read_file(out_); }
    std::string err() const { return read_file(err_); }

  private:
    fs::path out_;
    fs::path err_;
    pid_t pid_ = -1;
    std::optional<int> code_;
};

class ProcessTest : public ::testing::Test {
  protected:
    TempDir dir;

    void SetUp() override {
        for (const char* name : {"boards.ini", "controls.ini"})
            fs::copy_file(source_dir() / "data" / name, dir.path() / name);
        fs::create_directory(dir.path() / "xdg");
        fs::permissions(dir.path() / "xdg", fs::perms::owner_all, fs::perm_options::replace);
    }

    // Runs tessaron to its end.
    int run(const std::vector<std::string>& args, std::string* out = nullptr,
            std::string* err = nullptr, const std::vector<std::string>& env_overrides = {}) {
        Tessaron r(dir.path(), args, "run" + std::to_string(++runs_), env_overrides);
        EXPECT_TRUE(r.started());
        const auto code = r.wait();
        EXPECT_TRUE(code.has_value()) << "tessaron did not end";
        if (out) *out = r.out();
        if (err) *err = r.err();
        return code.value_or(-2);
    }

    std::string log() const { return read_file(dir.path() / "tessaron.log"); }
    bool logged(const std::string& line) const {
        return log().find(" | " + line + "\r\n") != std::string::npos;
    }
    // Waits (polling the log) until a started instance is up and idle.
    bool wait_until_running(Tessaron& r) const {
        const auto end = std::chrono::steady_clock::now() + kTimeout;
        while (std::chrono::steady_clock::now() < end) {
            if (logged("TESSARON: Trayicon not available")) return true;
            if (r.wait(0ms)) return false;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    std::unique_ptr<sim::SimBoard> board_file() const {
        std::string error;
        auto board = sim::SimBoard::load_or_create(dir.path() / "board.toml", &error);
        EXPECT_TRUE(board) << error;
        return board;
    }
    std::size_t pll_loads() const {
        const std::string trace = read_file(dir.path() / "trace.txt");
        std::size_t n = 0;
        std::size_t pos = 0;
        const std::string load = "out32 0x0cf8 0x800000a0\nout32 0x0cfc 0x00000000\n";
        while ((pos = trace.find(load, pos)) != std::string::npos) {
            ++n;
            pos += load.size();
        }
        return n;
    }

    int runs_ = 0;
};

TEST_F(ProcessTest, WithoutBoardsItEndsWithCodeOne) {
    fs::remove(dir.path() / "boards.ini");
    std::string err;
    EXPECT_EQ(run({}, nullptr, &err), 1);
    EXPECT_NE(err.find("Sorry, no boards found in boards.ini\n"), std::string::npos) << err;
    EXPECT_TRUE(logged("tessaron: No boards found!"));
    // The board file is written on this way out too.
    EXPECT_TRUE(fs::exists(dir.path() / "board.toml"));
}

TEST_F(ProcessTest, SetOptionsChangeTheBoardForTheNextRun) {
    std::string out;
    std::string err;
    ASSERT_EQ(run({"-s", "FSB", "180", "-s", "VCore", "1600"}, &out, &err), 0) << err;
    EXPECT_TRUE(logged("tessaron: Changed FSB to 180"));
    EXPECT_TRUE(logged("tessaron: Changed control VCore to 1600"));
    EXPECT_EQ(pll_loads(), 22u);
    {
        const auto board = board_file();
        ASSERT_TRUE(board);
        EXPECT_EQ(board->fsb_mhz(), 180u);
        EXPECT_EQ(board->vcore_mv(), 1600);
    }

    // The next run starts from there: the PLL is loaded and runs at 180 MHz,
    // so 182 MHz takes three loads (180, 181, 182).
    fs::remove(dir.path() / "trace.txt");
    ASSERT_EQ(run({"-s", "FSB", "182"}), 0);
    EXPECT_EQ(pll_loads(), 3u);
    EXPECT_TRUE(logged("tessaron: Changed control FSB to 182"));
    EXPECT_EQ(board_file()->fsb_mhz(), 182u);
    EXPECT_EQ(board_file()->vcore_mv(), 1600);
}

struct Printing {
    const char* name;
    std::vector<std::string> args;
    const char* expected;
};

class PrintingTest : public ProcessTest, public ::testing::WithParamInterface<Printing> {};

TEST_P(PrintingTest, HeadlessPrintsToStandardOutput) {
    std::string out;
    std::string err;
    EXPECT_EQ(run(GetParam().args, &out, &err), 0);
    EXPECT_EQ(out, GetParam().expected);
    EXPECT_TRUE(fs::exists(dir.path() / "board.toml"));
}

INSTANTIATE_TEST_SUITE_P(
    Process, PrintingTest,
    ::testing::Values(
        Printing{"Help",
                 {"-h"},
                 "Available options:\n -l Get list of available controls\n -s [Control] [value]\n"
                 "All voltages * 1000 -> 1.8 = 1800\n"},
        Printing{"List",
                 {"-l"},
                 "Available options:\n VCore\n VDimm\n VDimm+\n VAgp\n Vdd\n FSB\n AutoPrecharge\n"
                 " StopGrant\n AGPSidebandAddressing\n AGPApertureSize\n PCIBusLatency\n"
                 " AGPBusLatency\n AGPCtrLatency\n Tras\n Trcd\n Trp\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Without a display an empty platform setting counts as none: tessaron runs
// headless instead of failing to find a display.
TEST_F(ProcessTest, EmptyPlatformSettingRunsHeadless) {
    std::string out;
    std::string err;
    EXPECT_EQ(run({"-h"}, &out, &err, {"QT_QPA_PLATFORM="}), 0) << err;
    EXPECT_EQ(out.rfind("Available options:\n", 0), 0u) << out;
}

struct Failing {
    const char* name;
    std::vector<std::string> args;
    const char* stderr_line;
};

class FailingSetTest : public ProcessTest, public ::testing::WithParamInterface<Failing> {};

TEST_P(FailingSetTest, EndsWithCodeTwo) {
    std::string out;
    std::string err;
    EXPECT_EQ(run(GetParam().args, &out, &err), 2);
    EXPECT_NE(err.find(GetParam().stderr_line), std::string::npos) << err;
    EXPECT_EQ(out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Process, FailingSetTest,
    ::testing::Values(Failing{"Syntax", {"-s", "FSB"}, "The Syntax is: -s [Control] [value]\n"},
                      Failing{"BadValue",
                              {"-s", "AGPApertureSize", "600"},
                              "Sorry, an error occured while trying to change AGPApertureSize "
                              "using driver: NFORCE2 Maybe the interface doesn't support writing "
                              "(for more check tessaron.log).\n"},
                      Failing{"NoControl", {"-s", "Warp", "9"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Started headless without arguments it keeps running until a signal closes
// it in order, saving its settings.
class SignalTest : public ProcessTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalTest, ClosesInOrder) {
    Tessaron r(dir.path(), {}, "daemon");
    ASSERT_TRUE(wait_until_running(r)) << r.err();
    EXPECT_FALSE(fs::exists(dir.path() / "config.ini"));
    r.signal(GetParam());
    EXPECT_EQ(r.wait(), 0) << r.err();
    EXPECT_TRUE(logged("tessaron: Freeing lists..."));
    EXPECT_TRUE(logged("Done."));
    const std::string config = read_file(dir.path() / "config.ini");
    EXPECT_NE(config.find("[Main]\r\n"), std::string::npos);
    EXPECT_NE(config.find("Board=Simulated nForce2 ATXP1\r\n"), std::string::npos);
    EXPECT_NE(config.find("[Sensor]\r\nupdate=5\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Process, SignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) {
                             return std::string(strsignal(info.param)).substr(0, 3) +
                                    std::to_string(info.param);
                         });

TEST_F(ProcessTest, SecondInstanceEndsAndKeepsTheFirstLog) {
    Tessaron first(dir.path(), {}, "first");
    ASSERT_TRUE(wait_until_running(first)) << first.err();

    EXPECT_EQ(run({"-s", "FSB", "180"}), 1);
    const std::string text = log();
    EXPECT_NE(text.find("TESSARON: Using board Simulated nForce2 ATXP1"), std::string::npos);
    EXPECT_NE(text.find("TESSARON: Already running! -> Exiting now...\r\n"), std::string::npos);
    EXPECT_EQ(pll_loads(), 0u);

    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(), 0);
    EXPECT_TRUE(logged("Done."));
}

TEST_F(ProcessTest, BadBoardFileIsReportedAndKept) {
    const std::string bad = "[pci.\"00:00.0\"\n0x00 = = 1\n";
    write_file(dir.path() / "board.toml", bad);
    std::string err;
    EXPECT_EQ(run({}, nullptr, &err), 1);
    EXPECT_NE(err.find("Sorry, the simulated board could not be set up: "), std::string::npos)
        << err;
    EXPECT_EQ(read_file(dir.path() / "board.toml"), bad);
}

}  // namespace
}  // namespace tess::test
