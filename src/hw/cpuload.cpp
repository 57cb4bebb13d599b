#include "hw/cpuload.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <future>
#include <system_error>

namespace tess {

CpuLoad::CpuLoad(DebugLog& log, CpuTimesSource source, std::chrono::milliseconds interval)
    : log_(log), source_(std::move(source)), interval_(interval) {
    entry_.name = "CPULOAD";
    entry_.interface_ = "CPU";
    entry_.get = [this](Control* c) { return cpuload_get(c); };
    entry_.set = [this](Control* c, int32_t v) { return cpuload_set(c, v); };
}

CpuLoad::~CpuLoad() {
    stop();
}

void CpuLoad::stop() {
    {
        std::lock_guard lock(mutex_);
        stop_requested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::optional<int32_t> CpuLoad::load_from_deltas(uint64_t idle_delta, uint64_t total_delta) {
    if (total_delta == 0) return std::nullopt;
    const double load =
        100.0 - 100.0 * static_cast<double>(idle_delta) / static_cast<double>(total_delta) + 0.5;
    if (load <= 0.0) return 0;
    if (load >= 100.0) return 100;
    return static_cast<int32_t>(load);
}

void CpuLoad::sample(const CpuTimes& now) {
    if (previous_) {
        // Counters that went backwards count as no time.
        const uint64_t idle = now.idle > previous_->idle ? now.idle - previous_->idle : 0;
        const uint64_t total = now.total > previous_->total ? now.total - previous_->total : 0;
        if (const auto load = load_from_deltas(idle, total)) load_.store(*load);
    }
    previous_ = now;
}

void CpuLoad::cpuload_thread() {
    std::unique_lock lock(mutex_);
    while (!stop_requested_) {
        lock.unlock();
        const std::optional<CpuTimes> now = source_ ? source_() : std::nullopt;
        // A source that cannot be read ends the thread silently; the load
        // keeps its last value and the monitor still counts as running.
        if (!now) return;
        sample(*now);
        lock.lock();
        wake_.wait_for(lock, interval_, [this] { return stop_requested_; });
    }
    lock.unlock();
    running_.store(false);
    debug_log(log_, "cpuload: Thread stopped\n");
}

int CpuLoad::cpuload_init(List<Driver>* drivers, List<Control>* controls) {
    if (!drivers || !controls) return -1;
    if (drivers->add_ref(&entry_) != 0) return -1;
    Control* control =
        control_add(log_, controls, "CPULOAD", kKindCpuLoad, &entry_, "CPU load update (sec)", 0);
    if (!control) return -1;
    control->step = 1;
    control_add_setting(log_, &control->settings, 5, 0, 0, 0);
    control_add_setting(log_, &control->settings, 60, 0, 0, 0);

    if (running_.load() || thread_.joinable()) return 0;

    std::promise<long> started;
    std::future<long> thread_id = started.get_future();
    try {
        running_.store(true);
        thread_ = std::thread([this, started = std::move(started)]() mutable {
            started.set_value(static_cast<long>(::syscall(SYS_gettid)));
            cpuload_thread();
        });
    } catch (const std::system_error&) {
        running_.store(false);
        debug_log(log_, "cpuload: thread creation failed\n");
        return -1;
    }
    debug_log(log_, "cpuload: thread created, id: %d, update: %d\n",
              static_cast<int32_t>(thread_id.get()), static_cast<int32_t>(interval_.count()));
    return 0;
}

uint32_t CpuLoad::cpuload_get(Control* control) {
    if (!control) return 0;
    if (running_.load()) return static_cast<uint32_t>(load_.load());
    debug_log(log_, "cpuload: Thread not running!\n");
    return 0;
}

int32_t CpuLoad::cpuload_set(Control* control, int32_t /*value*/) {
    return control ? 0 : -1;
}

}  // namespace tess
