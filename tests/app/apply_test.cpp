// The apply engine against the simulated board: order of the FSB and the
// voltages, what is (not) written, failures.

#include <string>

#include "app/app.h"
#include "app_fixture.h"
#include "hw/atxp1.h"
#include "hw/nforce2.h"

namespace tess::test {
namespace {

constexpr uint8_t kVidControl = 0x20;

// VID code of a core voltage (1850 mV is code 0, 25 mV per code).
uint8_t vid(int32_t mv) {
    return static_cast<uint8_t>((1850 - mv) / 25);
}

class ApplyTest : public AppTest {
  protected:
    // A board at the given FSB and core voltage (VID control on).
    void start_at(uint32_t fsb, int32_t vcore) {
        sim::SimBoard& b = make_board();
        b.set_pci_config(Nforce2::kRegBootFsb, fsb * 1000000u);
        b.set_atxp1_reg(0x00, static_cast<uint8_t>(vid(vcore) | kVidControl));
        start();
        ASSERT_EQ(outcome, App::Outcome::Running);
        ASSERT_EQ(var("FSB", "current"), static_cast<int32_t>(fsb));
        ASSERT_EQ(var("VCore", "current"), vcore);
        trace.clear();
        fe.status.clear();
    }
};

TEST_F(ApplyTest, FallingFsbIsWrittenBeforeTheVoltage) {
    start_at(200, 1700);
    set_newval("FSB", 180);
    set_newval("VCore", 1600);
    app->apply(ApplySender::ApplyButton);

    // 21 PLL loads from 200 down to 180 (the PLL was never loaded before,
    // so the first load sets the clock the board runs at).
    EXPECT_EQ(pll_loads(), 22u);
    EXPECT_EQ(fe.count_progress("FSB "), 21u);
    EXPECT_EQ(fe.count_progress("VCore "), 4u);
    ASSERT_GE(fe.status.size(), 4u);
    EXPECT_EQ(fe.status.front(), "Applying new settings, please wait...");
    EXPECT_EQ(fe.status[1], "~FSB 200 -> 180 MHz");
    EXPECT_EQ(fe.status[21], "~FSB 180 -> 180 MHz");
    EXPECT_EQ(fe.status[22], "~VCore 1675 -> 1600 mV");
    EXPECT_EQ(fe.status[25], "~VCore 1600 -> 1600 mV");
    EXPECT_EQ(fe.status.back(), "Applying new settings done.");
    EXPECT_LT(log_index("tessaron: Changed FSB to 180"),
              log_index("tessaron: Changed control VCore to 1600"));

    EXPECT_EQ(board->fsb_mhz(), 180u);
    EXPECT_EQ(board->vcore_mv(), 1600);
    EXPECT_EQ(var("FSB", "current"), 180);
    EXPECT_EQ(var("VCore", "current"), 1600);
    EXPECT_EQ(fe.refreshes, 1);
}

TEST_F(ApplyTest, RisingFsbIsWrittenAfterTheVoltage) {
    start_at(180, 1600);
    set_newval("FSB", 200);
    set_newval("VCore", 1700);
    app->apply(ApplySender::ApplyButton);

    EXPECT_EQ(fe.count_progress("VCore "), 4u);
    EXPECT_EQ(fe.count_progress("FSB "), 21u);
    EXPECT_EQ(fe.status[1], "~VCore 1625 -> 1700 mV");
    EXPECT_EQ(fe.status[5], "~FSB 180 -> 200 MHz");
    // The rising FSB is a chipset control like the others: apply_fsb finds
    // nothing left to do.
    EXPECT_LT(log_index("tessaron: Changed control VCore to 1700"),
              log_index("tessaron: Changed control FSB to 200"));
    EXPECT_FALSE(logged("tessaron: Changed FSB to 200"));
    EXPECT_EQ(board->fsb_mhz(), 200u);
    EXPECT_EQ(board->vcore_mv(), 1700);
}

TEST_F(ApplyTest, NothingChangedCallsNoDriver) {
    start_at(200, 1650);
    app->apply(ApplySender::ApplyButton);
    EXPECT_EQ(port_writes(), 0u);
    EXPECT_EQ(fe.status, (std::vector<std::string>{"Applying new settings, please wait...",
                                                   "Applying new settings done."}));
    EXPECT_EQ(fe.refreshes, 1);
}

TEST_F(ApplyTest, AutoFsbStaysOnOnlyForItsOwnApply) {
    start_at(200, 1650);
    fe.autofsb = true;
    app->apply(ApplySender::AutoFsbTimer);
    EXPECT_TRUE(fe.autofsb);
    app->apply(ApplySender::ApplyButton);
    EXPECT_FALSE(fe.autofsb);
    fe.autofsb = true;
    app->apply(ApplySender::None);
    EXPECT_FALSE(fe.autofsb);
}

TEST_F(ApplyTest, FailedControlIsReportedAndPutBack) {
    start_at(200, 1650);
    const int32_t aperture = var("AGPApertureSize", "current");
    set_newval("AGPApertureSize", 600);
    set_newval("VDimm", 2800);  // the next control is still written
    app->apply(ApplySender::ApplyButton);

    EXPECT_TRUE(logged("tessaron: Error changing AGPApertureSize to 600"));
    EXPECT_EQ(fe.boxes, std::vector<std::string>{
                            "Sorry, an error occured while trying to change AGPApertureSize using "
                            "driver: NFORCE2\nMaybe the interface doesn't support writing (for "
                            "more check tessaron.log)."});
    EXPECT_EQ(var("AGPApertureSize", "newval"), aperture);
    EXPECT_EQ(var("AGPApertureSize", "current"), aperture);
    EXPECT_EQ(board->rail_mv("VDimm"), 2800);
}

// A failed FSB walk is no success: reported like any failed control, and
// "current" is what the chipset really runs at.
TEST_F(ApplyTest, FailedFallingFsbIsReported) {
    start_at(200, 1650);
    set_newval("FSB", 20);
    app->apply(ApplySender::ApplyButton);

    EXPECT_FALSE(logged("tessaron: Changed FSB to 20"));
    EXPECT_TRUE(logged("tessaron: Error changing FSB to 20"));
    ASSERT_EQ(fe.boxes.size(), 1u);
    EXPECT_NE(fe.boxes[0].find("change FSB using driver: NFORCE2\n"), std::string::npos);
    EXPECT_EQ(var("FSB", "current"), 200);
    EXPECT_EQ(var("FSB", "newval"), 200);
    EXPECT_EQ(board->fsb_mhz(), 200u);
}

TEST_F(ApplyTest, FailedFsbReadsTheRealFsbBack) {
    start_at(200, 1650);
    // "current" may be out of date (a walk that stopped on the way): after a
    // failure it holds what the chipset really runs at.
    var_set(app->log(), app->state().control_vars, "FSB", "current", 190);
    set_newval("FSB", 20);
    app->apply(ApplySender::ApplyButton);
    EXPECT_EQ(var("FSB", "current"), 200);
    EXPECT_EQ(var("FSB", "newval"), 200);
}

// With another voltage driver chosen, the ATXP1's voltages are not written.
TEST_F(ApplyTest, VoltageOfADriverNotChosenIsNotWritten) {
    write_config("[Main]\ndriver=1\n");
    start();
    // A second voltage driver, registered as a driver registers itself.
    std::vector<int32_t> written;
    Driver smi{"SMI_DRIVER", "SMI", [](Control*) { return 1650u; },
               [&written](Control*, int32_t v) {
                   written.push_back(v);
                   return 0;
               }};
    auto& s = app->state();
    s.drivers.add_ref(&smi);
    Control* vcore = control_add(app->log(), &s.controls, "VCore", kKindVCore, &smi, "VCore", 0);
    control_add_setting(app->log(), &vcore->settings, 1600, 0, 0, 0);
    app->init_values(true);
    ASSERT_EQ(fe.driver_names, (std::vector<std::string>{"ATXP1", "SMI_DRIVER"}));
    ASSERT_EQ(app->chosen_driver(), "SMI_DRIVER");

    trace.clear();
    set_newval("VDimm", 2800);
    set_newval("VCore", 1600);
    app->apply(ApplySender::ApplyButton);
    EXPECT_EQ(port_writes(), 0u);
    EXPECT_EQ(board->rail_mv("VDimm"), 2600);
    EXPECT_EQ(var("VDimm", "newval"), 2800);
    EXPECT_EQ(written, std::vector<int32_t>{1600});
    app->close();  // before the driver entry goes
}

}  // namespace
}  // namespace tess::test
