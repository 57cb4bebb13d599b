// The CPU load monitor: the load formula, the sampling and the monitor
// thread's life; and the /proc/stat reader behind it on Linux.
#include "hw/cpuload.h"

#include <future>

#include <gtest/gtest.h>

#include "os/proc_stat.h"
#include "support/test_support.h"

namespace tess::test {
namespace {

class CpuLoadTest : public testing::Test {
  protected:
    std::vector<std::string> log_lines() const {
        std::vector<std::string> lines;
        const std::string text = read_file(dir.path() / "tessaron.log");
        for (std::size_t pos = 0; pos < text.size();) {
            std::size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(pos, end - pos);
            lines.push_back(line.substr(line.find(" | ") + 3));
            pos = end + 2;
        }
        return lines;
    }
    bool logged(const std::string& line) const {
        const auto lines = log_lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TempDir dir;
    DebugLog log{dir.path() / "tessaron.log"};
    List<Driver> drivers;
    List<Control> controls;
};

TEST(CpuLoadFormula, ShareOfIdleTime) {
    struct Case {
        uint64_t idle, total;
        int32_t load;
    };
    const Case cases[] = {
        {40'000'000, 50'000'000, 20},  // 100 - 80 + 0.5 = 20.5
        {50'000'000, 50'000'000, 0},
        {0, 50'000'000, 100},
        {1, 200, 100},   // 99.5 + 0.5 = 100.0
        {3, 200, 99},    // 98.5 + 0.5 = 99.0
        {399, 800, 50},  // 50.125 + 0.5
        {60, 50, 0},     // more idle than time: limited to 0
    };
    for (const Case& c : cases)
        EXPECT_EQ(CpuLoad::load_from_deltas(c.idle, c.total), c.load) << c.idle << "/" << c.total;
    EXPECT_EQ(CpuLoad::load_from_deltas(0, 0), std::nullopt) << "no time elapsed";
}

// Idle time summed over several processors: the share stays within 0..100.
TEST_F(CpuLoadTest, SamplesGiveTheLoadOfEachInterval) {
    CpuLoad cpuload(log, nullptr);
    cpuload.sample({4000, 10000});
    EXPECT_EQ(cpuload.load(), 0) << "the first sample only sets the reference";
    cpuload.sample({4000 + 4 * 400, 10000 + 4 * 500});  // four CPUs, 80 % idle
    EXPECT_EQ(cpuload.load(), 20);
    cpuload.sample({5600, 12000});  // no time elapsed: the load stays
    EXPECT_EQ(cpuload.load(), 20);
    cpuload.sample({5000, 11000});  // counters went backwards: ignored
    EXPECT_EQ(cpuload.load(), 20);
    cpuload.sample({5000, 13000});
    EXPECT_EQ(cpuload.load(), 100);
}

TEST_F(CpuLoadTest, RegistersDriverAndControl) {
    CpuLoad cpuload(
        log,
        [] {
            return std::optional<CpuTimes>(CpuTimes{1, 2});
        },
        std::chrono::hours(1));
    ASSERT_EQ(cpuload.cpuload_init(&drivers, &controls), 0);
    ASSERT_EQ(drivers.count(), 1u);
    EXPECT_EQ(drivers.first()->name, "CPULOAD");
    EXPECT_EQ(drivers.first()->interface_, "CPU");
    Control* c = control_get(log, &controls, "CPULOAD");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, kKindCpuLoad);
    EXPECT_EQ(c->sub_index, 0);
    EXPECT_EQ(c->step, 1);
    EXPECT_EQ(c->description, "CPU load update (sec)");
    EXPECT_EQ(control_get_range(log, &c->settings, false), 5u);
    EXPECT_EQ(control_get_range(log, &c->settings, true), 60u);

    EXPECT_EQ(control_get_val(log, c, &drivers), 0u) << "before the first interval";
    EXPECT_EQ(control_set_val(log, c, &drivers, 30), 0);
    EXPECT_EQ(cpuload.interval(), std::chrono::hours(1)) << "a set changes nothing";
    EXPECT_EQ(cpuload.cpuload_set(nullptr, 30), -1);
    EXPECT_EQ(cpuload.cpuload_get(nullptr), 0u);
}

TEST_F(CpuLoadTest, ThreadStartsOnceAndStopsPromptly) {
    std::promise<void> first_sample;
    std::atomic<int> calls{0};
    {
        CpuLoad cpuload(
            log,
            [&]() -> std::optional<CpuTimes> {
                if (calls++ == 0) first_sample.set_value();
                return CpuTimes{100, 1000};
            },
            std::chrono::hours(1));
        ASSERT_EQ(cpuload.cpuload_init(&drivers, &controls), 0);
        first_sample.get_future().wait();
        EXPECT_TRUE(cpuload.thread_running());
        // A second init adds another entry and control, but no thread.
        EXPECT_EQ(cpuload.cpuload_init(&drivers, &controls), 0);
        EXPECT_EQ(drivers.count(), 2u);
        EXPECT_EQ(controls.count(), 2u);
        // Destruction does not wait out the hour.
    }
    EXPECT_EQ(calls.load(), 1);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("cpuload: thread created, id: "));
    EXPECT_TRUE(lines[0].ends_with(", update: 3600000"));
    EXPECT_EQ(lines[1], "cpuload: Thread stopped");
}

TEST_F(CpuLoadTest, ThreadComputesTheLoadFromItsSource) {
    std::promise<void> done;
    int call = 0;
    CpuLoad cpuload(
        log,
        [&]() -> std::optional<CpuTimes> {
            switch (call++) {
                case 0:
                    return CpuTimes{1000, 10000};
                case 1:
                    return CpuTimes{1000 + 300, 10000 + 1000};  // 30 % idle
                default:
                    done.set_value();
                    return std::nullopt;  // the source fails: the thread ends
            }
        },
        std::chrono::milliseconds(0));
    ASSERT_EQ(cpuload.cpuload_init(&drivers, &controls), 0);
    done.get_future().wait();
    EXPECT_EQ(cpuload.load(), 70);
    // A failed source ends the thread silently; the last load stays readable.
    Control* c = control_get(log, &controls, "CPULOAD");
    EXPECT_EQ(control_get_val(log, c, &drivers), 70u);
    EXPECT_FALSE(logged("cpuload: Thread stopped"));
}

TEST_F(CpuLoadTest, ReadWithoutThread) {
    CpuLoad cpuload(log, nullptr);
    Control c;
    EXPECT_EQ(cpuload.cpuload_get(&c), 0u);
    EXPECT_TRUE(logged("cpuload: Thread not running!"));
}

TEST(ProcStat, ParsesTheAggregateLine) {
    struct Case {
        const char* text;
        std::optional<uint64_t> idle, total;
    };
    const Case cases[] = {
        {"cpu  100 20 30 400 50 6 7 8 9 10\ncpu0 50 10 15 200 25 3 3 4 4 5\nintr 1 2\n", 450, 621},
        {"cpu 1 2 3 4\n", 4, 10},
        {"cpu  1 2 3 4 5", 9, 15},
        {"cpu0 1 2 3 4\n", std::nullopt, std::nullopt},
        {"intr 1 2 3\ncpu 1 2 3 4\n", std::nullopt, std::nullopt},
        {"cpu 1 2 x 4\n", std::nullopt, std::nullopt},
        {"cpu 1 2 3\n", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto times = parse_proc_stat(c.text);
        ASSERT_EQ(times.has_value(), c.idle.has_value());
        if (!times) continue;
        EXPECT_EQ(times->idle, *c.idle);
        EXPECT_EQ(times->total, *c.total);
    }
}

TEST(ProcStat, ReadsTheFile) {
    TempDir dir;
    write_file(dir.path() / "stat", "cpu  10 0 10 70 10 0 0 0 0 0\ncpu0 10 0 10 70 10 0 0 0 0 0\n");
    const auto times = read_proc_stat(dir.path() / "stat");
    ASSERT_TRUE(times);
    EXPECT_EQ(times->idle, 80u);
    EXPECT_EQ(times->total, 100u);
    EXPECT_FALSE(read_proc_stat(dir.path() / "missing"));
    EXPECT_TRUE(proc_stat_source(dir.path() / "stat")());
    // The real file of this machine parses.
    EXPECT_TRUE(read_proc_stat());
}

}  // namespace
}  // namespace tess::test
