// The system tools driver "TOOLS" and its "Shutdown" control.
#include "hw/tools.h"

#include <gtest/gtest.h>

#include "hw_fixture.h"
#include "os/logind.h"

namespace tess::test {
namespace {

TEST(Tools, RegistersShutdownControl) {
    Rig rig;
    Tools tools(rig.log(), nullptr);
    ASSERT_EQ(tools.tools_init(rig.drivers(), rig.controls()), 0);
    ASSERT_EQ(rig.drivers()->count(), 1u);
    EXPECT_EQ(rig.drivers()->first()->name, "TOOLS");
    EXPECT_EQ(rig.drivers()->first()->interface_, "WIN");
    EXPECT_FALSE(rig.drivers()->first()->get);
    Control* c = rig.control("Shutdown");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, kKindAction);
    EXPECT_EQ(c->sub_index, 0);
    EXPECT_EQ(c->step, 1);
    EXPECT_EQ(c->description, "1=Shutdown, 2=Reboot, 3=Logoff");
    EXPECT_EQ(control_get_range(rig.log(), &c->settings, false), 0u);
    EXPECT_EQ(control_get_range(rig.log(), &c->settings, true), 3u);
    EXPECT_EQ(c->settings.last()->mask, 3u);
    EXPECT_EQ(rig.get("Shutdown"), 0u) << "no get operation";
    EXPECT_EQ(tools.tools_init(nullptr, rig.controls()), -1);
}

TEST(Tools, ValuesMapToShutdownModes) {
    struct Case {
        int32_t value;
        std::vector<int> modes;
    };
    const Case cases[] = {{0, {}}, {1, {0}}, {2, {1}}, {3, {3}}, {4, {}}, {-1, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Rig rig;
        std::vector<int> modes;
        Tools tools(rig.log(), [&](int mode) {
            modes.push_back(mode);
            return 0;
        });
        ASSERT_EQ(tools.tools_init(rig.drivers(), rig.controls()), 0);
        EXPECT_EQ(rig.set("Shutdown", c.value), 0);
        EXPECT_EQ(modes, c.modes);
    }
}

TEST(Tools, SimulatedMachineRecordsTheRequest) {
    Rig rig;
    Tools tools(rig.log(), [&](int mode) {
        rig.board().request_shutdown(mode);
        return 0;
    });
    ASSERT_EQ(tools.tools_init(rig.drivers(), rig.controls()), 0);
    EXPECT_EQ(rig.set("Shutdown", 0), 0);
    EXPECT_TRUE(rig.board().shutdown_requests().empty());
    EXPECT_EQ(rig.set("Shutdown", 2), 0);
    EXPECT_EQ(rig.board().shutdown_requests(), (std::vector<int>{1}));
    EXPECT_NE(rig.board().to_toml().find("shutdown_requests = [1]"), std::string::npos);
}

TEST(Tools, FailuresAreMinusOne) {
    Rig rig;
    int calls = 0;
    Tools failing(rig.log(), [&](int) {
        ++calls;
        return 5;
    });
    EXPECT_EQ(failing.tools_set(nullptr, 1), -1);
    EXPECT_EQ(failing.system_shutdown(2), -1) << "no such mode";
    EXPECT_EQ(calls, 1);
    Tools none(rig.log(), nullptr);
    EXPECT_EQ(none.tools_set(nullptr, 3), -1);
    // logind: an unknown mode never reaches the bus.
    std::string error;
    EXPECT_EQ(logind_shutdown(2, &error), -1);
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace tess::test
