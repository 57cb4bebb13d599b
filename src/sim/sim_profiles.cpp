// The built-in board profiles. data/profiles/atxp1.toml and smi.toml carry
// the same texts (a test keeps them equal), so a user can start from a file.
#include "sim/sim_state.h"

namespace tess::sim {

std::string_view atxp1_profile_text() {
    static constexpr std::string_view text =
        R"toml(# tessaron simulated nForce2 board, profile "atxp1" (the default).
# An Athlon XP 3200+ (200 MHz x 11.0 = 2200 MHz) on an nForce2 board whose
# core voltage comes through an ATXP1 on the SMBus, with a Winbond monitor.
# Format: docs/simboard.md. Integers may be written in hexadecimal.

[cpu]
# The CPU's real multiplier in tenths. Without this key it is the one the
# chipset reports (host bridge register 0xf0, bits 31..28).
# multiplier = 110

[pll]
# The word last loaded into the FSB PLL (0xa0 = 0, then 0xa4); not since power-on.
loaded = false
word = 0x00000000

[pci."00:00.0"]
name = "Host bridge"
0x00 = 0x01e010de  # vendor 0x10de, device 0x01e0 (nForce2)
0x04 = 0x00000006
0x08 = 0x060000c1  # revision 0xc1
0x48 = 0x00000300  # AGP sideband addressing on
0x6c = 0x00000080  # Stop Grant off
0x80 = 0x0000000c  # AGP aperture 128 MB
0xa0 = 0x00000000  # PLL control
0xa4 = 0x00000000  # PLL data
0xa8 = 0x00000000  # PLL enable byte: never loaded
0xf0 = 0x00000000  # multiplier code 0 = 11.0

[pci."00:00.1"]
name = "Memory controller"
0x00 = 0x01eb10de
0x08 = 0x050000c1
0x84 = 0x00020000  # auto-precharge on
0x90 = 0x30330000  # Trp 3, Trcd 3, Tras 6

[pci."00:00.5"]
name = "Memory controller"
0x00 = 0x01ef10de
0x08 = 0x050000c1
0x48 = 200_000_000  # FSB at boot in Hz

[pci."00:01.0"]
name = "ISA bridge"
0x00 = 0x006010de
0x04 = 0x0000000f
0x08 = 0x060100a4
0x64 = 0x00004401  # system-management I/O base 0x4400

[pci."00:01.1"]
name = "SMBus controller"
0x00 = 0x006410de
0x04 = 0x00000001  # I/O decoding on
0x08 = 0x0c0500a2
0x50 = 0x00005001  # bus 0 at 0x5000
0x54 = 0x00005101  # bus 1 at 0x5100

[pci."00:08.0"]
name = "PCI bridge"
0x00 = 0x006c10de
0x04 = 0x00000007
0x08 = 0x060400a3
0x18 = 0x20020200  # secondary latency 0x20

[pci."00:1e.0"]
name = "AGP bridge"
0x00 = 0x01e810de
0x04 = 0x00000007
0x08 = 0x060400c1
0x0c = 0x00012000  # latency timer 0x20
0x18 = 0x20010100  # secondary latency 0x20

[atxp1]
bus = 1
address = 0x4e
# Registers 0x00..0x0f. 0x00: VID (bits 4..0) and VID control (bit 5, off);
# 0x01: the CPU's own VID (8 = 1.650 V); 0x06 and 0x0a: general-purpose outputs.
registers = [0x08, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00]

# The board voltages the general-purpose outputs switch (mV for each pattern
# of the rail's bits). An "adds_to" rail is an offset added to another one.
[[atxp1.rail]]
name = "VDimm"
register = 0x06
bits = 0x03
states = [{ pattern = 0x00, mv = 2600 }, { pattern = 0x01, mv = 2700 },
          { pattern = 0x02, mv = 2800 }, { pattern = 0x03, mv = 2900 }]

[[atxp1.rail]]
name = "VDimm+"
register = 0x06
bits = 0x04
adds_to = "VDimm"
states = [{ pattern = 0x00, mv = 0 }, { pattern = 0x04, mv = 100 }]

[[atxp1.rail]]
name = "VAgp"
register = 0x06
bits = 0x08
states = [{ pattern = 0x00, mv = 1500 }, { pattern = 0x08, mv = 1600 }]

[[atxp1.rail]]
name = "Vdd"
register = 0x0a
bits = 0x03
states = [{ pattern = 0x00, mv = 1600 }, { pattern = 0x01, mv = 1700 },
          { pattern = 0x02, mv = 1800 }, { pattern = 0x03, mv = 1900 }]

[[atxp1.rail]]
name = "VCoreBoost"
register = 0x0a
bits = 0x30
adds_to = "VCore"
states = [{ pattern = 0x00, mv = 0 }, { pattern = 0x10, mv = 50 },
          { pattern = 0x20, mv = 100 }, { pattern = 0x30, mv = 150 }]

[winbond]
chip = "W83627HF"
address = 0x290

[machine]
# Set once a PLL word without a divider was loaded: the clock stopped.
hung = false
# Shut-down requests the machine received (0 power off, 1 restart, 3 log off).
shutdown_requests = []
)toml";
    return text;
}

std::string_view smi_profile_text() {
    static constexpr std::string_view text =
        R"toml(# tessaron simulated nForce2 board, profile "smi".
# The "atxp1" board with a BIOS that offers the SMI service interface and
# reports its identity: vendor 1 (NVIDIA), version 0x0102, "Sim nForce2 SMI".
# Format: docs/simboard.md. Integers may be written in hexadecimal.

[cpu]
# The CPU's real multiplier in tenths. Without this key it is the one the
# chipset reports (host bridge register 0xf0, bits 31..28).
# multiplier = 110

[pll]
# The word last loaded into the FSB PLL (0xa0 = 0, then 0xa4); not since power-on.
loaded = false
word = 0x00000000

[pci."00:00.0"]
name = "Host bridge"
0x00 = 0x01e010de  # vendor 0x10de, device 0x01e0 (nForce2)
0x04 = 0x00000006
0x08 = 0x060000c1  # revision 0xc1
0x48 = 0x00000300  # AGP sideband addressing on
0x6c = 0x00000080  # Stop Grant off
0x80 = 0x0000000c  # AGP aperture 128 MB
0xa0 = 0x00000000  # PLL control
0xa4 = 0x00000000  # PLL data
0xa8 = 0x00000000  # PLL enable byte: never loaded
0xf0 = 0x00000000  # multiplier code 0 = 11.0

[pci."00:00.1"]
name = "Memory controller"
0x00 = 0x01eb10de
0x08 = 0x050000c1
0x84 = 0x00020000  # auto-precharge on
0x90 = 0x30330000  # Trp 3, Trcd 3, Tras 6

[pci."00:00.5"]
name = "Memory controller"
0x00 = 0x01ef10de
0x08 = 0x050000c1
0x48 = 200_000_000  # FSB at boot in Hz

[pci."00:01.0"]
name = "ISA bridge"
0x00 = 0x006010de
0x04 = 0x0000000f
0x08 = 0x060100a4
0x64 = 0x00004401  # system-management I/O base 0x4400

[pci."00:01.1"]
name = "SMBus controller"
0x00 = 0x006410de
0x04 = 0x00000001  # I/O decoding on
0x08 = 0x0c0500a2
0x50 = 0x00005001  # bus 0 at 0x5000
0x54 = 0x00005101  # bus 1 at 0x5100

[pci."00:08.0"]
name = "PCI bridge"
0x00 = 0x006c10de
0x04 = 0x00000007
0x08 = 0x060400a3
0x18 = 0x20020200  # secondary latency 0x20

[pci."00:1e.0"]
name = "AGP bridge"
0x00 = 0x01e810de
0x04 = 0x00000007
0x08 = 0x060400c1
0x0c = 0x00012000  # latency timer 0x20
0x18 = 0x20010100  # secondary latency 0x20

[atxp1]
bus = 1
address = 0x4e
# Registers 0x00..0x0f. 0x00: VID (bits 4..0) and VID control (bit 5, off);
# 0x01: the CPU's own VID (8 = 1.650 V); 0x06 and 0x0a: general-purpose outputs.
registers = [0x08, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00]

# The board voltages the general-purpose outputs switch (mV for each pattern
# of the rail's bits). An "adds_to" rail is an offset added to another one.
[[atxp1.rail]]
name = "VDimm"
register = 0x06
bits = 0x03
states = [{ pattern = 0x00, mv = 2600 }, { pattern = 0x01, mv = 2700 },
          { pattern = 0x02, mv = 2800 }, { pattern = 0x03, mv = 2900 }]

[[atxp1.rail]]
name = "VDimm+"
register = 0x06
bits = 0x04
adds_to = "VDimm"
states = [{ pattern = 0x00, mv = 0 }, { pattern = 0x04, mv = 100 }]

[[atxp1.rail]]
name = "VAgp"
register = 0x06
bits = 0x08
states = [{ pattern = 0x00, mv = 1500 }, { pattern = 0x08, mv = 1600 }]

[[atxp1.rail]]
name = "Vdd"
register = 0x0a
bits = 0x03
states = [{ pattern = 0x00, mv = 1600 }, { pattern = 0x01, mv = 1700 },
          { pattern = 0x02, mv = 1800 }, { pattern = 0x03, mv = 1900 }]

[[atxp1.rail]]
name = "VCoreBoost"
register = 0x0a
bits = 0x30
adds_to = "VCore"
states = [{ pattern = 0x00, mv = 0 }, { pattern = 0x10, mv = 50 },
          { pattern = 0x20, mv = 100 }, { pattern = 0x30, mv = 150 }]

[smi]
# The BIOS's SMI handler at the system-management I/O base (00:01.0 0x64):
# function number and status at +0x2f, data registers at +0x80..+0x9c,
# triggered by writing function_code to +0x2e.
function_code = 0x88
interface_version = 0x0100
vendor = 1
board_version = 0x0102
board_name = "Sim nForce2 SMI"
# The port block as the last call left it. +0x9f (top byte of data register 7)
# publishes the function code.
data = [0x00000000, 0x00000000, 0x00000000, 0x00000000,
        0x00000000, 0x00000000, 0x00000000, 0x88000000]
function_status = 0x00
command = 0x00

[winbond]
chip = "W83627HF"
address = 0x290

[machine]
# Set once a PLL word without a divider was loaded: the clock stopped.
hung = false
# Shut-down requests the machine received (0 power off, 1 restart, 3 log off).
shutdown_requests = []
)toml";
    return text;
}

}  // namespace tess::sim
