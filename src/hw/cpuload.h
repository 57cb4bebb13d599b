// The CPU load monitor: a thread samples the processors' idle and total time
// every five seconds and keeps the load of the last interval as a whole
// percentage, offered as the control "CPULOAD" of the driver "CPULOAD".
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "core/control.h"
#include "core/debug_log.h"
#include "core/list.h"

namespace tess {

// Processor time counters summed over all processors, in any one unit
// (jiffies on Linux): the idle part and the total elapsed.
struct CpuTimes {
    uint64_t idle = 0;
    uint64_t total = 0;
};

// Reads the counters now; nullopt when they cannot be read.
using CpuTimesSource = std::function<std::optional<CpuTimes>()>;

class CpuLoad {
  public:
    static constexpr std::chrono::milliseconds kDefaultInterval{5000};

    // The source is asked once per interval on the monitor thread.
    CpuLoad(DebugLog& log, CpuTimesSource source,
            std::chrono::milliseconds interval = kDefaultInterval);
    // Stops the monitor thread at once (no wait for the interval).
    ~CpuLoad();
    CpuLoad(const CpuLoad&) = delete;
    CpuLoad& operator=(const CpuLoad&) = delete;

    // 0 on success or when the thread already runs; -1 on failure.
    int cpuload_init(List<Driver>* drivers, List<Control>* controls);
    // The load in percent; 0 for a missing control or when no thread runs.
    uint32_t cpuload_get(Control* control);
    // -1 for a missing control, else 0; changes nothing.
    int32_t cpuload_set(Control* control, int32_t value);

    // The load of one interval: trunc(100 - 100 * idle / total + 0.5),
    // limited to 0..100; nullopt when no time elapsed.
    static std::optional<int32_t> load_from_deltas(uint64_t idle_delta, uint64_t total_delta);

    // One sampling step of the monitor thread: the first sample only sets
    // the reference, each further one computes the load since the previous.
    void sample(const CpuTimes& now);

    bool thread_running() const { return running_.load(); }
    int32_t load() const { return load_.load(); }
    std::chrono::milliseconds interval() const { return interval_; }
    const Driver& driver() const { return entry_; }

  private:
    void cpuload_thread();
    void stop();

    DebugLog& log_;
    CpuTimesSource source_;
    const std::chrono::milliseconds interval_;
    std::atomic<int32_t> load_{0};
    std::atomic<bool> running_{false};  // the thread handle is held

    // Owned by the monitor thread (and by tests calling sample directly).
    std::optional<CpuTimes> previous_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_requested_ = false;
    std::thread thread_;
    Driver entry_;
};

}  // namespace tess
