#include "hw/nforce2.h"

#include <string>
#include <vector>

namespace tess {

namespace {

constexpr uint32_t kMaxN = 254;
constexpr uint32_t kMaxM = 128;
constexpr uint32_t kSearchOffsets = 4;

// For every FSB the PLL can give (up to 254 * 25.06 / 1 MHz), the word the
// search settles on: the last match in the order M 1..128, N 1..254, that
// is the largest M with a match and the largest N for it. 0 where no pair
// gives that FSB.
const std::vector<uint32_t>& pll_table() {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(fsb_from_pll(pll_word(kMaxN, 1)) + 1, 0);
        for (uint32_t m = 1; m <= kMaxM; ++m) {
            for (uint32_t n = 1; n <= kMaxN; ++n) {
                const uint32_t word = pll_word(n, m);
                t[fsb_from_pll(word)] = word;
            }
        }
        return t;
    }();
    return table;
}

}  // namespace

Nforce2::Nforce2(DebugLog& log, PortIo& io) : log_(log), io_(io) {
    entry_.name = "NFORCE2";
    entry_.interface_ = "PCI";
    entry_.get = [this](Control* c) { return nforce2_get(c); };
    entry_.set = [this](Control* c, int32_t v) { return nforce2_set(c, static_cast<uint32_t>(v)); };
}

uint32_t Nforce2::pll_for_fsb_search(uint32_t fsb_mhz) {
    for (uint32_t offset = 0; offset < kSearchOffsets; ++offset) {
        const uint64_t wanted = uint64_t{fsb_mhz} + offset;
        uint32_t found = 0;
        for (uint32_t m = 1; m <= kMaxM; ++m) {
            for (uint32_t n = 1; n <= kMaxN; ++n) {
                const uint32_t word = pll_word(n, m);
                if (fsb_from_pll(word) == wanted) found = word;
            }
        }
        if (found != 0) return found;
    }
    return 0;
}

uint32_t Nforce2::pll_for_fsb(uint32_t fsb_mhz) {
    const auto& table = pll_table();
    for (uint32_t offset = 0; offset < kSearchOffsets; ++offset) {
        const uint64_t wanted = uint64_t{fsb_mhz} + offset;
        if (wanted >= table.size()) return 0;
        if (table[wanted] != 0) return table[wanted];
    }
    return 0;
}

uint32_t Nforce2::step_word(uint32_t fsb_mhz) {
    // No board runs below the lowest FSB this driver sets: a reading down
    // there is nonsense (an unset boot register, for example), and its word
    // (N 5 / M 128 for 0 MHz) would stop the clock as surely as a word
    // without a divider.
    if (fsb_mhz < kFsbMin) return 0;
    const uint32_t word = pll_for_fsb(fsb_mhz);
    return (word & 0xFF) != 0 ? word : 0;
}

void Nforce2::write_pll(uint32_t word) {
    write(kRegPllControl, 0);
    for (int i = 0; i < kPllLoadWrites; ++i) write(kRegPllData, word);
}

uint32_t Nforce2::read_fsb() {
    const uint32_t boot = read(kRegBootFsb) / 1000000u;
    const uint32_t enabled = read(kRegPllEnable) & 0xFF;
    if (enabled != 0 && (last_boot_fsb_ == boot || last_boot_fsb_ == 0))
        return fsb_from_pll(read(kRegPllData));
    last_boot_fsb_ = boot;
    return boot;
}

int Nforce2::set_fsb(uint32_t target) {
    if (target > kFsbMax || target < kFsbMin) {
        debug_log(log_, "NFORCE2: set_fsb(): FSB %d out of range!\n", target);
        return 2;
    }

    const uint32_t enabled = read(kRegPllEnable) & 0xFF;
    if (enabled == 0) {
        // The PLL has never been loaded since power-on: load the clock the
        // board runs at first. A word without a divider would stop the
        // clock, so a reading that has none ends here.
        const uint32_t current = read_fsb();
        const uint32_t word = step_word(current);
        if (word == 0) {
            debug_log(log_, "NFORCE2: set_fsb(): calc. fsb %d failed\n", current);
            return 1;
        }
        write_pll(word);
    }
    write(kRegPllEnable, enabled | 1);

    const int32_t diff = static_cast<int32_t>(read_fsb() - target);
    const auto step = [&](uint32_t f) {
        const uint32_t word = step_word(f);
        if ((word & 0xFFFF) == 0) {
            debug_log(log_, "NFORCE2: set_fsb(): calc. fsb %d failed\n", f);
            return false;
        }
        write_pll(word);
        if (step_listener_)
            step_listener_("FSB " + std::to_string(f) + " -> " + std::to_string(target) + " MHz");
        sleep_ms(io_, static_cast<uint32_t>(fsb_delay_ < 0 ? 0 : fsb_delay_));
        return true;
    };
    if (diff > 0) {
        for (uint32_t f = read_fsb(); f >= target; --f)
            if (!step(f)) return 1;
    } else if (diff < 0) {
        for (uint32_t f = read_fsb(); f <= target; ++f)
            if (!step(f)) return 1;
    }

    write(kRegPllControl, 0x40);
    debug_log(log_, "NFORCE2: set_fsb(): Setting FSB to %d done\n", target);
    return 0;
}

void Nforce2::update(uint32_t pci_addr, uint32_t field_mask, uint32_t bits) {
    const uint32_t value = read(pci_addr);
    write(pci_addr, (value & ~field_mask) | (bits & field_mask));
}

uint32_t Nforce2::nforce2_get(Control* control) {
    if (!control) return 0;
    switch (control->sub_index) {
        case 0:
            return read(kRegRevision) & 0xFF;
        case 1:
            return multiplier_from_code(read(kRegMultiplier) >> 28);
        case 2:
            return (read(kRegAutoPrecharge) >> 17) & 1;
        case 3:
            return (read(kRegStopGrant) >> 28) & 1;
        case 4:
            return (read(kRegSideband) & 0x300) ? 1 : 0;
        case 5:
            return (16 - (read(kRegAperture) & 0xF)) * 32;
        case 6:
            return read(kRegPciSecondary) >> 24;
        case 7:
            return read(kRegAgpSecondary) >> 24;
        case 8:
            return (read(kRegAgpLatency) >> 8) & 0xFF;
        case 9:
            return (read(kRegTimings) >> 15) & 0x1F;
        case 10:
            return (read(kRegTimings) >> 20) & 0xF;
        case 11:
            return (read(kRegTimings) >> 28) & 0xF;
        case 12:
            return read_fsb();
        case 13:
            return static_cast<uint32_t>(fsb_delay_);
        default:
            return 0;
    }
}

int32_t Nforce2::nforce2_set(Control* control, uint32_t value) {
    if (!control) return -1;
    // A control without settings has the range 0..0.
    const uint32_t lowest = control_get_range(log_, &control->settings, false);
    const uint32_t highest = control_get_range(log_, &control->settings, true);
    if (value < lowest || value > highest) {
        debug_log(log_, "nforce2-pci: Value %d for %s is out of range\n", value, control->name);
        return -1;
    }

    const uint32_t byte = value & 0xFF;
    switch (control->sub_index) {
        case 0:  // Revision and Multiplier are read-only
        case 1:
            return 0;
        case 2:
            update(kRegAutoPrecharge, 1u << 17, byte ? 1u << 17 : 0);
            return 0;
        case 3:
            // Enabling Stop Grant clears bit 7 in the same write.
            if (byte)
                update(kRegStopGrant, 1u << 28 | 1u << 7, 1u << 28);
            else
                update(kRegStopGrant, 1u << 28, 0);
            return 0;
        case 4:
            update(kRegSideband, 0x300, byte ? 0x300 : 0);
            return 0;
        case 5: {
            const uint32_t size = value > 512 ? 512 : value;
            const uint32_t code = 16 - (size >> 5);
            const uint32_t reg = read(kRegAperture);
            write(kRegAperture, (reg & 0xFFFFFFF0u) | code);
            return 0;
        }
        case 6:
            update(kRegPciSecondary, 0xFF000000u, byte << 24);
            return 0;
        case 7:
            update(kRegAgpSecondary, 0xFF000000u, byte << 24);
            return 0;
        case 8:
            update(kRegAgpLatency, 0x0000FF00u, byte << 8);
            return 0;
        case 9:
            update(kRegTimings, 0x1Fu << 15, (value & 0x1F) << 15);
            return 0;
        case 10:
            update(kRegTimings, 0xFu << 20, (value & 0xF) << 20);
            return 0;
        case 11:
            update(kRegTimings, 0xFu << 28, (value & 0xF) << 28);
            return 0;
        case 12:
            return set_fsb(value);
        case 13:
            fsb_delay_ = static_cast<int32_t>(value);
            return 0;
        default:
            return -1;
    }
}

int Nforce2::nforce2_init(List<Driver>* drivers, List<Control>* controls) {
    if (!drivers || !controls) return -1;
    if (read(kRegId) != kNforce2Id) {
        debug_log(log_, "nforce2-pci: No nForce2 chipset found\n");
        return -1;
    }
    debug_log(log_, "nforce2-pci: Revision %x\n", read(kRegRevision) & 0xFF);
    drivers->add_ref(&entry_);

    struct Range {
        int32_t value;
        uint32_t mask;
    };
    struct Spec {
        const char* name;
        uint8_t kind;
        uint8_t sub_index;
        const char* description;
        std::vector<Range> settings;
        uint8_t step;
    };
    const Spec specs[] = {
        {"FSB", kKindChipset, 12, "Chipset FSB (MHz)", {{30, 30}, {300, 300}}, 1},
        {"Revision", kKindChipset, 0, "Chipset revision", {}, 0},
        {"Multiplier", kKindChipset, 1, "Multiplier reported by chipset", {}, 0},
        {"AutoPrecharge", kKindChipset, 2, "RAM AutoPrecharge", {{0, 0}, {1, 1}}, 0},
        {"StopGrant",
         kKindChipset,
         3,
         "Enable/disable Stop grant bit\nSaves power when CPU is idle",
         {{0, 0}, {1, 1}},
         0},
        {"AGPSidebandAddressing", kKindChipset, 4, "AGP Sideband addressing", {{0, 0}, {1, 1}}, 0},
        {"AGPApertureSize", kKindChipset, 5, "AGP Aperture size (MB)", {{32, 15}, {512, 0}}, 32},
        {"PCIBusLatency", kKindChipset, 6, "PCI bus latency", {{0, 0}, {248, 248}}, 8},
        {"AGPBusLatency", kKindChipset, 7, "AGP bus latency", {{0, 0}, {255, 255}}, 1},
        {"AGPCtrLatency", kKindChipset, 8, "AGP controller latency", {{0, 0}, {255, 255}}, 1},
        {"Tras", kKindChipset, 9, "RAM Tras", {{1, 0}, {31, 0}}, 1},
        {"Trcd", kKindChipset, 10, "RAM Trcd", {{1, 0}, {7, 0}}, 1},
        {"Trp", kKindChipset, 11, "RAM Trp", {{1, 0}, {7, 0}}, 1},
        {"FSBDelay", kKindDelay, 13, "Delay between FSB changes (ms)", {{20, 0}, {250, 0}}, 10},
    };
    for (const Spec& spec : specs) {
        Control* control = control_add(log_, controls, spec.name, spec.kind, &entry_,
                                       spec.description, spec.sub_index);
        if (!control) continue;
        for (const Range& r : spec.settings)
            control_add_setting(log_, &control->settings, r.value, 0, 0, r.mask);
        control->step = spec.step;
    }
    return 0;
}

}  // namespace tess
