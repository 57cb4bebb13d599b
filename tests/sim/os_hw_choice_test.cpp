// TESSARON_HW: the back end chosen from the environment and the host bridge.
#include <gtest/gtest.h>

#include "os/hw_choice.h"
#include "os/platform.h"
#include "support/test_support.h"

namespace tess::test {
namespace {

TEST(HwChoice, FromTheEnvironmentAndTheHostBridge) {
    struct Case {
        const char* env;
        const char* vendor;  // nullptr: no host bridge in sysfs
        const char* device;
        HwBackend expect;
    };
    const Case cases[] = {
        {"sim", "0x10de\n", "0x01e0\n", HwBackend::Sim},
        {"linux", nullptr, nullptr, HwBackend::Linux},
        {nullptr, "0x10de\n", "0x01e0\n", HwBackend::Linux},
        {"", "0x10de\n", "0x01e0\n", HwBackend::Linux},
        {"auto", "0x10de\n", "0x01e0\n", HwBackend::Linux},
        {"auto", "0x8086\n", "0x29c0\n", HwBackend::Sim},
        {"auto", "0x10de\n", "0x01e8\n", HwBackend::Sim},
        {nullptr, nullptr, nullptr, HwBackend::Sim},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.env ? c.env : "(unset)") << " " << (c.device ? c.device : "-"));
        TempDir dir;
        if (c.vendor) {
            std::filesystem::create_directories(dir.path() / "0000:00:00.0");
            write_file(dir.path() / "0000:00:00.0" / "vendor", c.vendor);
            write_file(dir.path() / "0000:00:00.0" / "device", c.device);
        }
        std::string error;
        const auto choice = choose_backend(c.env, &error, dir.path());
        ASSERT_TRUE(choice) << error;
        EXPECT_EQ(*choice, c.expect);
    }
}

TEST(HwChoice, UnknownValueIsAnError) {
    std::string error;
    EXPECT_FALSE(choose_backend("real", &error, "/nonexistent"));
    EXPECT_EQ(error, "TESSARON_HW must be \"sim\", \"linux\" or \"auto\", not \"real\"");
    EXPECT_EQ(backend_name(HwBackend::Sim), "sim");
    EXPECT_EQ(backend_name(HwBackend::Linux), "linux");
}

TEST(Platform, PortAccessMustBeGranted) {
    EXPECT_EQ(is_nt_platform(), 1);
}

}  // namespace
}  // namespace tess::test
