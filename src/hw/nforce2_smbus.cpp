#include "hw/nforce2_smbus.h"

namespace tess {

namespace {

constexpr uint32_t kHostBridgeId = 0x00000000;
constexpr uint32_t kNforce2Id = 0x01E010DE;
constexpr uint32_t kSmbusFunctionId = 0x00010100;
constexpr uint32_t kSmbusCommand = 0x00010104;
constexpr uint32_t kSmbusBase0 = 0x00010150;
constexpr uint32_t kSmbusBase1 = 0x00010154;
// Index of the character of a bus control's name that tells the bus
// ("NFORCE2_SMBUS0" / "NFORCE2_SMBUS1").
constexpr std::size_t kBusCharIndex = 13;

}  // namespace

Nforce2Smbus::Nforce2Smbus(DebugLog& log, PortIo& io) : log_(log), io_(io) {
    entry_.name = "NFORCE2_SMBUS";
    entry_.interface_ = "PCI";
    entry_.get = [this](Control* c) { return smbus_get(c); };
    entry_.set = [this](Control* c, int32_t v) { return smbus_set(c, v); };
}

uint32_t Nforce2Smbus::base(int bus) const {
    return (bus == 0 || bus == 1) ? base_[static_cast<std::size_t>(bus)] : 0;
}

uint32_t Nforce2Smbus::setup_base(int bus, uint32_t pci_addr, uint32_t forced) {
    uint32_t value = pci_read(io_, pci_addr);
    if ((value & 0xFFFC) == 0) {
        debug_log(log_, "nforce2_smbus: Address of bus %d not set, forcing to 0x%x\n", bus,
                  forced & 0xFFFC);
        value = (value & 0xFFFF0000u) | forced;
        pci_write(io_, pci_addr, value);
    }
    const uint32_t base = value & 0xFFFC;
    debug_log(log_, "nforce2_smbus: Address of bus %d is 0x%x\n", bus, base);
    return base;
}

int Nforce2Smbus::nforce2_smbus_init(List<Driver>* drivers, List<Control>* controls) {
    if (!drivers || !controls) return -1;

    debug_log(log_, "nforce2_smbus: 1.1: 0x%x\n", pci_read(io_, kSmbusFunctionId));
    if (pci_read(io_, kHostBridgeId) != kNforce2Id) {
        debug_log(log_, "nforce2_smbus: No nForce2 chipset detected\n");
        return -1;
    }

    drivers->add_ref(&entry_);

    base_[0] = setup_base(0, kSmbusBase0, 0x5001);
    base_[1] = setup_base(1, kSmbusBase1, 0x5101);

    const uint32_t command = pci_read(io_, kSmbusCommand);
    if ((command & 1) == 0) {
        debug_log(log_, "nforce2_smbus: Device I/O disabled, enabling it...\n");
        pci_write(io_, kSmbusCommand, command | 1);
    }

    control_add(log_, controls, "NFORCE2_SMBUS0", kKindBus, &entry_, "nForce2 SMBUS 0", 0);
    control_add(log_, controls, "NFORCE2_SMBUS1", kKindBus, &entry_, "nForce2 SMBUS 1", 1);
    return 0;
}

int Nforce2Smbus::bus_of(const Control* control) {
    if (!control || control->name.size() <= kBusCharIndex) return -1;
    switch (control->name[kBusCharIndex]) {
        case '0':
            return 0;
        case '1':
            return 1;
        default:
            return -1;
    }
}

uint32_t Nforce2Smbus::smbus_get(Control* control) {
    const int bus = bus_of(control);
    if (bus < 0) return 0;
    return smbus_read_byte(bus, control->private_area[0], control->private_area[1]);
}

int32_t Nforce2Smbus::smbus_set(Control* control, int32_t value) {
    const int bus = bus_of(control);
    if (bus < 0) return -1;
    return smbus_write_byte(bus, control->private_area[0], control->private_area[1],
                            static_cast<uint8_t>(value & 0xFF));
}

uint32_t Nforce2Smbus::smbus_read_byte(int bus, uint8_t address, uint8_t reg) {
    const uint32_t base = this->base(bus);
    // Without a base (no init yet) there is no host to talk to: the low
    // ports belong to other devices.
    if (base == 0) return 0;
    const auto port = [base](uint16_t offset) { return static_cast<uint16_t>(base + offset); };

    port_write8(io_, reg, port(kCommand));
    port_write8(io_, static_cast<uint8_t>((address & 0x7F) << 1), port(kAddress));
    port_write8(io_, kReadByteData, port(kProtocol));
    sleep_ms(io_, kTransactionMs);
    if ((port_read8(io_, port(kStatus)) & 0x80) == 0) return 0;
    return port_read8(io_, port(kData));
}

int32_t Nforce2Smbus::smbus_write_byte(int bus, uint8_t address, uint8_t reg, uint8_t value) {
    const uint32_t base = this->base(bus);
    if (base == 0) return -1;
    const auto port = [base](uint16_t offset) { return static_cast<uint16_t>(base + offset); };

    port_write8(io_, reg, port(kCommand));
    port_write8(io_, static_cast<uint8_t>((address & 0x7F) << 1), port(kAddress));
    port_write8(io_, value, port(kData));
    port_write8(io_, kWriteByteData, port(kProtocol));
    sleep_ms(io_, kTransactionMs);
    return (port_read8(io_, port(kStatus)) & 0x80) ? 0 : -1;
}

}  // namespace tess
