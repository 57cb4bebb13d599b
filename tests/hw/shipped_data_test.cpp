// The shipped controls.ini describes the simulated boards' wiring: whatever
// value the ATXP1 driver sets, the simulated board supplies it and the
// driver reads it back.
#include <gtest/gtest.h>

#include "hw/atxp1.h"
#include "hw/nforce2_smbus.h"
#include "hw_fixture.h"

namespace tess::test {
namespace {

struct Shipped {
    const char* board;    // section of data/boards.ini and data/controls.ini
    const char* profile;  // simulated board profile
};

class ShippedControls : public testing::TestWithParam<Shipped> {};

TEST_P(ShippedControls, DriverAndBoardAgree) {
    const Shipped shipped = GetParam();
    Rig rig(sim::SimBoard::profile(shipped.profile));
    Nforce2Smbus smbus(rig.log(), rig.board());
    Atxp1 atxp1(rig.log(), rig.board());
    atxp1.set_controls_path((source_dir() / "data" / "controls.ini").string());
    ASSERT_EQ(smbus.nforce2_smbus_init(rig.drivers(), rig.controls()), 0);
    ASSERT_EQ(atxp1.atxp1_init(rig.drivers(), rig.controls(), shipped.board), 0);

    for (const char* name : {"VDimm", "VDimm+", "VAgp", "Vdd"}) {
        Control* control = rig.control(name, "ATXP1");
        ASSERT_NE(control, nullptr) << name;
        ASSERT_FALSE(control->settings.empty()) << name << " has no settings for " << shipped.board;
        for (const ControlSetting* s : control->settings) {
            SCOPED_TRACE(testing::Message() << name << " " << s->value);
            ASSERT_EQ(rig.set(name, s->value, "ATXP1"), 0);
            EXPECT_EQ(rig.board().rail_mv(name), s->value);
            if (s->value != 0) {
                EXPECT_EQ(rig.get(name, "ATXP1"), static_cast<uint32_t>(s->value));
            }
        }
    }

    Control* vcore = rig.control("VCore", "ATXP1");
    ASSERT_NE(vcore, nullptr);
    const int32_t lowest =
        static_cast<int32_t>(control_get_range(rig.log(), &vcore->settings, false));
    const int32_t highest =
        static_cast<int32_t>(control_get_range(rig.log(), &vcore->settings, true));
    EXPECT_EQ(lowest, 1100);
    for (int32_t mv : {1650, 1100, 1500, 1850, highest, 1875, 1700}) {
        if (mv > highest) continue;
        SCOPED_TRACE(mv);
        ASSERT_EQ(rig.set("VCore", mv, "ATXP1"), 0);
        EXPECT_EQ(rig.board().vcore_mv(), mv);
        EXPECT_EQ(rig.get("VCore", "ATXP1"), static_cast<uint32_t>(mv));
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, ShippedControls,
                         testing::Values(Shipped{"Simulated nForce2 ATXP1", "atxp1"},
                                         Shipped{"Simulated nForce2 SMI", "smi"}),
                         [](const auto& info) { return std::string(info.param.profile); });

}  // namespace
}  // namespace tess::test
