#include "core/debug_log.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

namespace tess {

namespace {

// Written in place of a conversion that has no argument left.
constexpr std::string_view kMissingArgument = "(null)";

int32_t double_to_i32(double v) {
    if (std::isnan(v)) return 0;
    if (v <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    if (v >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

void append_signed(std::string& out, int32_t v) {
    out += std::to_string(v);
}

void append_hex(std::string& out, uint32_t v) {
    std::array<char, 16> buf{};
    const int n = std::snprintf(buf.data(), buf.size(), "%02x", static_cast<unsigned>(v));
    if (n > 0) out.append(buf.data(), static_cast<std::size_t>(n));
}

void append_fixed3(std::string& out, double v) {
    // The widest "%.3f" of a double is a sign, 309 digits, the point and 3
    // decimals; ask for the length first so that no value is ever cut.
    const int n = std::snprintf(nullptr, 0, "%.3f", v);
    if (n <= 0) return;
    std::string buf(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(buf.data(), buf.size(), "%.3f", v);
    buf.resize(static_cast<std::size_t>(n));
    out += buf;
}

// A number conversion (%d, %x and the others) of an argument. A text handed
// to a number conversion is written as it stands, so that a mismatched
// call still leaves a readable line.
void append_integer(std::string& out, const LogArg& arg, bool as_signed) {
    if (arg.kind() == LogArg::Kind::Text) {
        out += arg.as_text();
        return;
    }
    const uint32_t bits = arg.as_u32();
    if (as_signed)
        append_signed(out, static_cast<int32_t>(bits));
    else
        append_hex(out, bits);
}

void append_text(std::string& out, const LogArg& arg) {
    switch (arg.kind()) {
        case LogArg::Kind::Text:
            out += arg.as_text();
            break;
        case LogArg::Kind::Int:
            append_signed(out, static_cast<int32_t>(arg.as_u32()));
            break;
        case LogArg::Kind::Double:
            append_fixed3(out, arg.as_double());
            break;
    }
}

std::tm local_now() {
    std::tm tm{};
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &tm);
    return tm;
}

std::string timestamp_prefix(const std::tm& tm) {
    std::array<char, 64> buf{};
    const int n = std::snprintf(buf.data(), buf.size(), "%02d/%02d %02d:%02d:%02d | ",
                                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    if (n <= 0) return {};
    return std::string(buf.data(), std::min(static_cast<std::size_t>(n), buf.size() - 1));
}

// The log is a text file in the DOS manner: every line feed goes out as
// CR LF, also one that a text argument carries.
std::string to_text_mode(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

uint32_t LogArg::as_u32() const {
    switch (kind_) {
        case Kind::Int:
            return int_;
        case Kind::Double:
            return static_cast<uint32_t>(double_to_i32(double_));
        case Kind::Text:
            break;
    }
    return 0;
}

double LogArg::as_double() const {
    switch (kind_) {
        case Kind::Int:
            return static_cast<double>(static_cast<int32_t>(int_));
        case Kind::Double:
            return double_;
        case Kind::Text:
            break;
    }
    return 0.0;
}

std::string_view LogArg::as_text() const {
    return kind_ == Kind::Text ? text_ : std::string_view{};
}

std::string format_log_message(std::string_view format, std::initializer_list<LogArg> args) {
    std::string out;
    out.reserve(format.size() + 32);
    auto arg = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 == format.size()) {
            // A "%" that ends the format has no conversion: it is written
            // as it stands and takes no argument.
            out += '%';
            break;
        }
        const char conversion = format[++i];
        if (arg == args.end()) {
            out += kMissingArgument;
            continue;
        }
        const LogArg& a = *arg++;
        switch (conversion) {
            case 'd':
                append_integer(out, a, true);
                break;
            case 's':
                append_text(out, a);
                break;
            case 'f':
                if (a.kind() == LogArg::Kind::Text)
                    out += a.as_text();
                else
                    append_fixed3(out, a.as_double());
                break;
            default:  // %x and every other character
                append_integer(out, a, false);
                break;
        }
    }
    return out;
}

DebugLog::DebugLog(std::filesystem::path path) : path_(std::move(path)), clock_(local_now) {}

void DebugLog::append_from_start() {
    std::lock_guard lock(mutex_);
    first_message_ = false;
}

void DebugLog::set_clock(Clock clock) {
    std::lock_guard lock(mutex_);
    clock_ = clock ? std::move(clock) : Clock(local_now);
}

void DebugLog::write(std::string_view format, std::initializer_list<LogArg> args) {
    const std::string message = format_log_message(format, args);

    std::lock_guard lock(mutex_);
    const auto mode = std::ios::binary | (first_message_ ? std::ios::trunc : std::ios::app);
    std::ofstream file(path_, mode);
    if (!file) return;  // the message is lost, nothing else happens
    // The file is started afresh only once it could really be opened, so a
    // first message that fails does not leave the previous run's lines to
    // be appended to.
    first_message_ = false;
    file << to_text_mode(timestamp_prefix(clock_()) + message);
}

}  // namespace tess
