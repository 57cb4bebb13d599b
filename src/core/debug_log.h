// The debug log tessaron.log: one printf-like writer with its own small
// formatter (%d, %s, %x, %f; any other conversion character is taken as %x).
// Every message goes out with the prefix "MM/DD hh:mm:ss | " and is in the
// file when the call returns (open, write, close per message).
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>

namespace tess {

// One argument of a debug_log call. Integers keep their 32-bit pattern.
class LogArg {
  public:
    enum class Kind { Int, Double, Text };
    template <typename I, std::enable_if_t<std::is_integral_v<I>, int> = 0>
    LogArg(I v) : kind_(Kind::Int), int_(static_cast<uint32_t>(v)) {}
    LogArg(double v) : kind_(Kind::Double), double_(v) {}
    LogArg(const char* s) : kind_(Kind::Text), text_(s ? s : "(null)") {}
    LogArg(const std::string& s) : kind_(Kind::Text), text_(s) {}
    LogArg(std::string_view s) : kind_(Kind::Text), text_(s) {}

    Kind kind() const { return kind_; }
    uint32_t as_u32() const;
    double as_double() const;
    std::string_view as_text() const;

  private:
    Kind kind_;
    uint32_t int_ = 0;
    double double_ = 0;
    std::string_view text_;
};

// Formats a message with the log's conversions (no prefix).
std::string format_log_message(std::string_view format, std::initializer_list<LogArg> args);

class DebugLog {
  public:
    // Local time source, replaceable in tests.
    using Clock = std::function<std::tm()>;

    explicit DebugLog(std::filesystem::path path = "tessaron.log");

    // Writes one message. The first message of the object empties the file
    // unless append_from_start() was called before.
    void write(std::string_view format, std::initializer_list<LogArg> args);

    // The first message appends instead of starting the file afresh (used by
    // an instance that finds another one running, so the running instance's
    // log is kept).
    void append_from_start();

    void set_clock(Clock clock);
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    Clock clock_;
    bool first_message_ = true;
    std::mutex mutex_;  // the CPU load thread writes too
};

// debug_log(log, "atxp1: Found ATXP1 on %s:%s, address 0x%x\n", bus, name, addr)
template <typename... Args>
void debug_log(DebugLog& log, std::string_view format, const Args&... args) {
    log.write(format, {LogArg(args)...});
}

}  // namespace tess
