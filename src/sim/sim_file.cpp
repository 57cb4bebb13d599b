// The board file: TOML text to board state and back, and its atomic save.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <toml++/toml.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "core/atomic_file.h"
#include "sim/sim_board.h"
#include "sim/sim_state.h"

namespace tess::sim {

namespace {

constexpr uint32_t kBootFsbKey = pci_function_key(0, 0, 5);
constexpr uint32_t kBootFsbReg = 0x48;

std::string hex(uint64_t value, int digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return buf;
}

// A TOML basic string.
std::string toml_string(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// "BB:DD.F" (hexadecimal, as lspci writes it) to a function key.
bool parse_function_name(std::string_view text, uint32_t* key) {
    unsigned bus = 0, dev = 0, fn = 0;
    char tail = 0;
    const std::string s(text);
    if (s.size() != 7 || s[2] != ':' || s[5] != '.') return false;
    if (std::sscanf(s.c_str(), "%2x:%2x.%1x%c", &bus, &dev, &fn, &tail) != 3) return false;
    if (dev > 0x1F || fn > 7) return false;
    *key = pci_function_key(bus, dev, fn);
    return true;
}

std::string function_name(uint32_t key) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02x:%02x.%x", (key >> 16) & 0xFF, (key >> 11) & 0x1F,
                  (key >> 8) & 7);
    return buf;
}

// "0xRR" (a dword-aligned register offset) to the offset.
bool parse_register_name(std::string_view text, uint32_t* reg) {
    if (text.size() < 3 || text.size() > 4 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    uint32_t v = 0;
    for (char c : text.substr(2)) {
        int d = 0;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    if (v % 4 != 0) return false;
    *reg = v;
    return true;
}

// Reads the tables of a board file into a state, with the first problem as
// "line N: what" (the line of the offending key or value).
class Reader {
  public:
    explicit Reader(BoardState& state) : s_(state) {}

    std::optional<std::string> read(const toml::table& root) {
        for (auto&& [key, node] : root) {
            const std::string name(key.str());
            if (name == "cpu")
                table(node, name, [this](const toml::table& t) { return cpu(t); });
            else if (name == "pll")
                table(node, name, [this](const toml::table& t) { return pll(t); });
            else if (name == "pci")
                table(node, name, [this](const toml::table& t) { return pci(t); });
            else if (name == "atxp1")
                table(node, name, [this](const toml::table& t) { return atxp1(t); });
            else if (name == "smbus")
                table(node, name, [this](const toml::table& t) { return smbus(t); });
            else if (name == "smi")
                table(node, name, [this](const toml::table& t) { return smi(t); });
            else if (name == "winbond")
                table(node, name, [this](const toml::table& t) { return winbond(t); });
            else if (name == "machine")
                table(node, name, [this](const toml::table& t) { return machine(t); });
            else
                fail(key.source(), "unknown table \"" + name + "\"");
            if (!error_.empty()) return error_;
        }
        if (!error_.empty()) return error_;
        return devices_distinct() ? std::nullopt : std::optional<std::string>(error_);
    }

  private:
    bool fail(const toml::source_region& where, const std::string& what) {
        if (error_.empty()) error_ = "line " + std::to_string(where.begin.line) + ": " + what;
        return false;
    }

    template <typename F>
    bool table(const toml::node& node, const std::string& name, F&& body) {
        const toml::table* t = node.as_table();
        if (!t) return fail(node.source(), "\"" + name + "\" must be a table");
        return body(*t);
    }

    bool integer(const toml::node& node, const std::string& what, int64_t lo, int64_t hi,
                 int64_t* out) {
        const auto* v = node.as_integer();
        if (!v) return fail(node.source(), what + " must be an integer");
        const int64_t x = v->get();
        if (x < lo || x > hi)
            return fail(node.source(), what + " = " + std::to_string(x) + " is out of range (" +
                                           std::to_string(lo) + ".." + std::to_string(hi) + ")");
        *out = x;
        return true;
    }

    template <typename T>
    bool uint(const toml::node& node, const std::string& what, int64_t hi, T* out) {
        int64_t x = 0;
        if (!integer(node, what, 0, hi, &x)) return false;
        *out = static_cast<T>(x);
        return true;
    }

    bool text(const toml::node& node, const std::string& what, size_t max, std::string* out) {
        const auto* v = node.as_string();
        if (!v) return fail(node.source(), what + " must be a string");
        if (v->get().size() > max)
            return fail(node.source(),
                        what + " is longer than " + std::to_string(max) + " characters");
        *out = v->get();
        return true;
    }

    bool boolean(const toml::node& node, const std::string& what, bool* out) {
        const auto* v = node.as_boolean();
        if (!v) return fail(node.source(), what + " must be true or false");
        *out = v->get();
        return true;
    }

    bool unknown(const toml::key& key, const std::string& where) {
        return fail(key.source(), "unknown key \"" + std::string(key.str()) + "\" in " + where);
    }

    const toml::array* array(const toml::node& node, const std::string& what, size_t min,
                             size_t max) {
        const toml::array* a = node.as_array();
        if (!a) {
            fail(node.source(), what + " must be an array");
            return nullptr;
        }
        if (a->size() < min || a->size() > max) {
            fail(node.source(), what + " must have " + std::to_string(min) + " to " +
                                    std::to_string(max) + " entries, not " +
                                    std::to_string(a->size()));
            return nullptr;
        }
        return a;
    }

    bool bytes(const toml::node& node, const std::string& what, size_t min, size_t max,
               std::vector<uint8_t>* out) {
        const toml::array* a = array(node, what, min, max);
        if (!a) return false;
        out->clear();
        for (const auto& item : *a) {
            uint8_t b = 0;
            if (!uint(item, what + " entry", 0xFF, &b)) return false;
            out->push_back(b);
        }
        return true;
    }

    bool cpu(const toml::table& t) {
        for (auto&& [key, node] : t) {
            if (key.str() == "multiplier") {
                uint32_t m = 0;
                if (!uint(node, "[cpu] multiplier", 1000, &m)) return false;
                if (m == 0) return fail(node.source(), "[cpu] multiplier must not be 0");
                s_.cpu_multiplier = m;
            } else {
                return unknown(key, "[cpu]");
            }
        }
        return true;
    }

    bool pll(const toml::table& t) {
        for (auto&& [key, node] : t) {
            if (key.str() == "loaded") {
                if (!boolean(node, "[pll] loaded", &s_.pll_loaded)) return false;
            } else if (key.str() == "word") {
                if (!uint(node, "[pll] word", 0xFFFFFFFF, &s_.pll_word)) return false;
            } else {
                return unknown(key, "[pll]");
            }
        }
        return true;
    }

    bool pci(const toml::table& t) {
        for (auto&& [key, node] : t) {
            uint32_t fkey = 0;
            const std::string fname(key.str());
            if (!parse_function_name(fname, &fkey))
                return fail(key.source(), "\"" + fname +
                                              "\" is no PCI function (write bus:device.function "
                                              "in hexadecimal, like \"00:1e.0\")");
            if (s_.pci.count(fkey))
                return fail(key.source(), "PCI function \"" + fname + "\" is listed twice");
            const toml::table* ft = node.as_table();
            if (!ft) return fail(node.source(), "[pci.\"" + fname + "\"] must be a table");
            PciFunction fn;
            std::set<uint32_t> seen;
            const std::string where = "[pci.\"" + fname + "\"]";
            for (auto&& [rkey, rnode] : *ft) {
                const std::string rname(rkey.str());
                uint32_t reg = 0;
                if (rname == "name") {
                    if (!text(rnode, where + " name", 100, &fn.name)) return false;
                } else if (parse_register_name(rname, &reg)) {
                    if (!seen.insert(reg).second)
                        return fail(rkey.source(), "register " + hex(reg, 2) + " of " + where +
                                                       " is listed twice");
                    if (!uint(rnode, where + " " + rname, 0xFFFFFFFF, &fn.regs[reg / 4]))
                        return false;
                } else {
                    return fail(rkey.source(), "\"" + rname + "\" in " + where +
                                                   " is no register (write a dword-aligned "
                                                   "offset 0x00..0xfc)");
                }
            }
            s_.pci[fkey] = std::move(fn);
        }
        return true;
    }

    bool rail(const toml::node& node, Rail* r) {
        const toml::table* t = node.as_table();
        if (!t) return fail(node.source(), "[[atxp1.rail]] entries must be tables");
        bool have_name = false, have_bits = false;
        for (auto&& [key, n] : *t) {
            if (key.str() == "name") {
                if (!text(n, "[[atxp1.rail]] name", 29, &r->name)) return false;
                have_name = !r->name.empty();
            } else if (key.str() == "register") {
                if (!uint(n, "[[atxp1.rail]] register", Atxp1::kRegisters - 1, &r->reg))
                    return false;
            } else if (key.str() == "bits") {
                if (!uint(n, "[[atxp1.rail]] bits", 0xFF, &r->bits)) return false;
                have_bits = r->bits != 0;
            } else if (key.str() == "adds_to") {
                if (!text(n, "[[atxp1.rail]] adds_to", 29, &r->adds_to)) return false;
            } else if (key.str() == "states") {
                const toml::array* a = array(n, "[[atxp1.rail]] states", 1, 256);
                if (!a) return false;
                for (const auto& item : *a) {
                    const toml::table* st = item.as_table();
                    if (!st)
                        return fail(item.source(),
                                    "a state must be a table like { pattern = 0x01, mv = 2700 }");
                    Rail::State state;
                    bool have_pattern = false, have_mv = false;
                    for (auto&& [skey, snode] : *st) {
                        if (skey.str() == "pattern") {
                            if (!uint(snode, "state pattern", 0xFF, &state.pattern)) return false;
                            have_pattern = true;
                        } else if (skey.str() == "mv") {
                            int64_t mv = 0;
                            if (!integer(snode, "state mv", -100000, 100000, &mv)) return false;
                            state.mv = static_cast<int32_t>(mv);
                            have_mv = true;
                        } else {
                            return unknown(skey, "a rail state");
                        }
                    }
                    if (!have_pattern || !have_mv)
                        return fail(item.source(), "a rail state needs pattern and mv");
                    r->states.push_back(state);
                }
            } else {
                return unknown(key, "[[atxp1.rail]]");
            }
        }
        if (!have_name) return fail(node.source(), "a rail needs a name");
        if (!have_bits) return fail(node.source(), "rail \"" + r->name + "\" needs non-zero bits");
        for (const auto& st : r->states)
            if (st.pattern & ~r->bits)
                return fail(node.source(), "rail \"" + r->name + "\": pattern " +
                                               hex(st.pattern, 2) + " lies outside its bits " +
                                               hex(r->bits, 2));
        return true;
    }

    bool atxp1(const toml::table& t) {
        Atxp1 chip;
        for (auto&& [key, node] : t) {
            if (key.str() == "bus") {
                if (!uint(node, "[atxp1] bus", 1, &chip.bus)) return false;
            } else if (key.str() == "address") {
                if (!uint(node, "[atxp1] address", 0x7F, &chip.address)) return false;
            } else if (key.str() == "registers") {
                std::vector<uint8_t> regs;
                if (!bytes(node, "[atxp1] registers", 1, Atxp1::kRegisters, &regs)) return false;
                std::copy(regs.begin(), regs.end(), chip.regs.begin());
            } else if (key.str() == "rail") {
                const toml::array* a = array(node, "[[atxp1.rail]]", 0, 64);
                if (!a) return false;
                for (const auto& item : *a) {
                    Rail r;
                    if (!rail(item, &r)) return false;
                    chip.rails.push_back(std::move(r));
                }
            } else {
                return unknown(key, "[atxp1]");
            }
        }
        s_.atxp1 = std::move(chip);
        return true;
    }

    bool smbus(const toml::table& t) {
        for (auto&& [key, node] : t) {
            if (key.str() != "device") return unknown(key, "[smbus]");
            const toml::array* a = array(node, "[[smbus.device]]", 0, 256);
            if (!a) return false;
            for (const auto& item : *a) {
                const toml::table* dt = item.as_table();
                if (!dt) return fail(item.source(), "[[smbus.device]] entries must be tables");
                SmbusDevice dev;
                bool have_address = false, have_registers = false;
                for (auto&& [dkey, dnode] : *dt) {
                    if (dkey.str() == "name") {
                        if (!text(dnode, "[[smbus.device]] name", 100, &dev.name)) return false;
                    } else if (dkey.str() == "bus") {
                        if (!uint(dnode, "[[smbus.device]] bus", 1, &dev.bus)) return false;
                    } else if (dkey.str() == "address") {
                        if (!uint(dnode, "[[smbus.device]] address", 0x7F, &dev.address))
                            return false;
                        have_address = true;
                    } else if (dkey.str() == "registers") {
                        if (!bytes(dnode, "[[smbus.device]] registers", 1, 256, &dev.regs))
                            return false;
                        have_registers = true;
                    } else {
                        return unknown(dkey, "[[smbus.device]]");
                    }
                }
                if (!have_address || !have_registers)
                    return fail(item.source(), "an SMBus device needs address and registers");
                device_lines_.push_back(item.source());
                s_.smbus_devices.push_back(std::move(dev));
            }
        }
        return true;
    }

    bool smi(const toml::table& t) {
        Smi smi;
        bool have_data = false;
        for (auto&& [key, node] : t) {
            const std::string k(key.str());
            if (k == "function_code") {
                if (!uint(node, "[smi] function_code", 0xFF, &smi.function_code)) return false;
            } else if (k == "interface_version") {
                if (!uint(node, "[smi] interface_version", 0xFFFF, &smi.interface_version))
                    return false;
            } else if (k == "vendor") {
                if (!uint(node, "[smi] vendor", 0xFF, &smi.vendor)) return false;
            } else if (k == "board_version") {
                if (!uint(node, "[smi] board_version", 0xFFFF, &smi.board_version)) return false;
            } else if (k == "board_name") {
                if (!text(node, "[smi] board_name", 24, &smi.board_name)) return false;
            } else if (k == "data") {
                const toml::array* a = array(node, "[smi] data", 8, 8);
                if (!a) return false;
                int i = 0;
                for (const auto& item : *a) {
                    uint32_t word = 0;
                    if (!uint(item, "[smi] data entry", 0xFFFFFFFF, &word)) return false;
                    for (int b = 0; b < 4; ++b)
                        smi.data[static_cast<size_t>(i * 4 + b)] =
                            static_cast<uint8_t>(word >> (8 * b));
                    ++i;
                }
                have_data = true;
            } else if (k == "function_status") {
                if (!uint(node, "[smi] function_status", 0xFF, &smi.function_status)) return false;
            } else if (k == "command") {
                if (!uint(node, "[smi] command", 0xFF, &smi.command)) return false;
            } else {
                return unknown(key, "[smi]");
            }
        }
        if (!have_data) smi.data[31] = smi.function_code;  // published at +0x9f
        s_.smi = std::move(smi);
        return true;
    }

    bool winbond(const toml::table& t) {
        Winbond w;
        for (auto&& [key, node] : t) {
            if (key.str() == "chip") {
                if (!text(node, "[winbond] chip", 19, &w.chip)) return false;
            } else if (key.str() == "address") {
                if (!uint(node, "[winbond] address", 0xFFFF, &w.address)) return false;
            } else {
                return unknown(key, "[winbond]");
            }
        }
        s_.winbond = std::move(w);
        return true;
    }

    bool machine(const toml::table& t) {
        for (auto&& [key, node] : t) {
            if (key.str() == "hung") {
                if (!boolean(node, "[machine] hung", &s_.hung)) return false;
            } else if (key.str() == "shutdown_requests") {
                const toml::array* a = array(node, "[machine] shutdown_requests", 0, 100000);
                if (!a) return false;
                for (const auto& item : *a) {
                    int64_t mode = 0;
                    if (!integer(item, "a shutdown request", INT32_MIN, INT32_MAX, &mode))
                        return false;
                    s_.shutdown_requests.push_back(static_cast<int>(mode));
                }
            } else {
                return unknown(key, "[machine]");
            }
        }
        return true;
    }

    // Two devices on one bus address would both answer.
    bool devices_distinct() {
        std::set<std::pair<int, int>> taken;
        if (s_.atxp1) taken.insert({s_.atxp1->bus, s_.atxp1->address});
        for (size_t i = 0; i < s_.smbus_devices.size(); ++i) {
            const auto& d = s_.smbus_devices[i];
            if (!taken.insert({d.bus, d.address}).second)
                return fail(device_lines_[i], "two SMBus devices at bus " + std::to_string(d.bus) +
                                                  ", address " + hex(d.address, 2));
        }
        return true;
    }

    BoardState& s_;
    std::string error_;
    std::vector<toml::source_region> device_lines_;
};

}  // namespace

std::optional<std::string> parse_board(std::string_view toml_text, BoardState& state) {
    toml::table root;
    try {
        root = toml::parse(toml_text);
    } catch (const toml::parse_error& e) {
        return "line " + std::to_string(e.source().begin.line) + ", column " +
               std::to_string(e.source().begin.column) + ": " + std::string(e.description());
    }
    if (root.empty()) return std::string("line 1: the file describes no board (it is empty)");
    BoardState fresh;
    fresh.virtual_clock = state.virtual_clock;
    if (auto problem = Reader(fresh).read(root)) return problem;
    fresh.trace = std::move(state.trace);
    state = std::move(fresh);
    return std::nullopt;
}

std::string write_board(const BoardState& s) {
    std::ostringstream o;
    o << "# tessaron simulated nForce2 board (format: docs/simboard.md).\n"
         "# Written by tessaron at the end of a run; the next run starts from it.\n\n";

    o << "[cpu]\n";
    if (s.cpu_multiplier)
        o << "multiplier = " << *s.cpu_multiplier << "\n";
    else
        o << "# multiplier: as the chipset reports (00:00.0 0xf0, bits 31..28)\n";

    o << "\n[pll]\nloaded = " << (s.pll_loaded ? "true" : "false")
      << "\nword = " << hex(s.pll_word, 8) << "\n";

    for (const auto& [key, fn] : s.pci) {
        o << "\n[pci.\"" << function_name(key) << "\"]\n";
        if (!fn.name.empty()) o << "name = " << toml_string(fn.name) << "\n";
        for (size_t i = 0; i < fn.regs.size(); ++i) {
            if (fn.regs[i] == 0) continue;
            o << hex(i * 4, 2) << " = ";
            if (key == kBootFsbKey && i * 4 == kBootFsbReg)
                o << fn.regs[i] << "  # FSB at boot in Hz\n";
            else
                o << hex(fn.regs[i], 8) << "\n";
        }
    }

    if (s.atxp1) {
        const auto& chip = *s.atxp1;
        o << "\n[atxp1]\nbus = " << int{chip.bus} << "\naddress = " << hex(chip.address, 2)
          << "\nregisters = [";
        for (size_t i = 0; i < chip.regs.size(); ++i)
            o << (i ? (i % 8 ? ", " : ",\n             ") : "") << hex(chip.regs[i], 2);
        o << "]\n";
        for (const auto& r : chip.rails) {
            o << "\n[[atxp1.rail]]\nname = " << toml_string(r.name)
              << "\nregister = " << hex(r.reg, 2) << "\nbits = " << hex(r.bits, 2) << "\n";
            if (!r.adds_to.empty()) o << "adds_to = " << toml_string(r.adds_to) << "\n";
            o << "states = [";
            for (size_t i = 0; i < r.states.size(); ++i)
                o << (i ? ", " : "") << "{ pattern = " << hex(r.states[i].pattern, 2)
                  << ", mv = " << r.states[i].mv << " }";
            o << "]\n";
        }
    }

    for (const auto& d : s.smbus_devices) {
        o << "\n[[smbus.device]]\n";
        if (!d.name.empty()) o << "name = " << toml_string(d.name) << "\n";
        o << "bus = " << int{d.bus} << "\naddress = " << hex(d.address, 2) << "\nregisters = [";
        for (size_t i = 0; i < d.regs.size(); ++i)
            o << (i ? (i % 8 ? ", " : ",\n             ") : "") << hex(d.regs[i], 2);
        o << "]\n";
    }

    if (s.smi) {
        const auto& smi = *s.smi;
        o << "\n[smi]\nfunction_code = " << hex(smi.function_code, 2)
          << "\ninterface_version = " << hex(smi.interface_version, 4)
          << "\nvendor = " << int{smi.vendor} << "\nboard_version = " << hex(smi.board_version, 4)
          << "\nboard_name = " << toml_string(smi.board_name) << "\ndata = [";
        for (int i = 0; i < 8; ++i) {
            uint32_t word = 0;
            for (int b = 3; b >= 0; --b)
                word = word << 8 | smi.data[static_cast<size_t>(i * 4 + b)];
            o << (i ? (i % 4 ? ", " : ",\n        ") : "") << hex(word, 8);
        }
        o << "]\nfunction_status = " << hex(smi.function_status, 2)
          << "\ncommand = " << hex(smi.command, 2) << "\n";
    }

    if (s.winbond)
        o << "\n[winbond]\nchip = " << toml_string(s.winbond->chip)
          << "\naddress = " << hex(s.winbond->address, 3) << "\n";

    o << "\n[machine]\nhung = " << (s.hung ? "true" : "false") << "\nshutdown_requests = [";
    for (size_t i = 0; i < s.shutdown_requests.size(); ++i)
        o << (i ? ", " : "") << s.shutdown_requests[i];
    o << "]\n";
    return o.str();
}

// ---- files ----------------------------------------------------------------

namespace {

bool read_text_file(const std::filesystem::path& file, std::string* out, std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        if (error) *error = file.string() + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        if (error) *error = file.string() + ": cannot read";
        return false;
    }
    *out = text.str();
    return true;
}

}  // namespace

bool SimBoard::save(const std::filesystem::path& file, std::string* error) const {
    const ReplaceResult result = replace_file_atomically(file, to_toml());
    if (result) return true;
    if (error) {
        const char* what = result.step == ReplaceStep::CreateTemp ? "cannot create a temporary file"
                           : result.step == ReplaceStep::Write    ? "cannot write"
                                                                  : "cannot replace the file";
        *error = file.string() + ": " + what + ": " + std::strerror(result.error);
    }
    return false;
}

std::unique_ptr<SimBoard> SimBoard::load_or_create(const std::filesystem::path& file,
                                                   std::string* error) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        auto board = from_toml(default_profile(), error);
        if (!board) return nullptr;
        std::string problem;
        if (!board->save(file, &problem)) {
            if (error) *error = problem;
            return nullptr;
        }
        return board;
    }
    std::string text;
    if (!read_text_file(file, &text, error)) return nullptr;
    std::string problem;
    auto board = from_toml(text, &problem);
    if (!board && error) *error = file.string() + ": " + problem;
    return board;
}

std::unique_ptr<SimBoard> sim_from_environment(std::string* error,
                                               std::filesystem::path* board_file) {
    const char* path_env = std::getenv("TESSARON_SIM_BOARD");
    const std::filesystem::path path = path_env && *path_env ? path_env : "simboard.toml";
    if (board_file) *board_file = path;

    bool virtual_clock = false;
    if (const char* clock = std::getenv("TESSARON_SIM_CLOCK"); clock && *clock) {
        const std::string_view c(clock);
        if (c == "virtual") {
            virtual_clock = true;
        } else if (c != "real") {
            if (error)
                *error = "TESSARON_SIM_CLOCK must be \"virtual\" or \"real\", not \"" +
                         std::string(c) + "\"";
            return nullptr;
        }
    }

    auto board = SimBoard::load_or_create(path, error);
    if (!board) return nullptr;
    board->set_virtual_clock(virtual_clock);
    if (const char* trace = std::getenv("TESSARON_SIM_TRACE"); trace && *trace) {
        if (!board->set_trace_file(trace, error)) return nullptr;
    }
    return board;
}

}  // namespace tess::sim
