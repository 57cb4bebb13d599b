// The single-instance check over the registry of live captions.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/instance_registry.h"
#include "support/test_support.h"

namespace tess::test {
namespace {

const std::string kTitle = "tessaron 0.8.8-dev8";

// The registry lies in a folder the registration makes itself (mode 0700).
std::filesystem::path registry(const TempDir& dir) {
    return dir.path() / "registry";
}

size_t entries(const std::filesystem::path& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(InstanceRegistry, LiveCaptionsAreFoundByTheirBeginning) {
    struct Case {
        std::string caption;
        std::string title;
        int running;
    };
    const std::string long254(254, 'x');
    const Case cases[] = {
        {kTitle + " (Simulated nForce2 ATXP1)", kTitle, 1},
        {kTitle, kTitle, 1},
        {"tessaron", kTitle, 0},  // an instance without a board
        {"tessaron 0.8.7 (Epox 8RDA)", kTitle, 0},
        {kTitle + " (x)", "", 1},
        {"", "", 0},  // a window without text never matches
        {long254, long254, 1},
        {long254 + "y", long254 + "y", 0},  // a title of 255 characters never matches
        {long254 + "yz", long254, 1},       // the caption counts with 254 characters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption.substr(0, 40));
        TempDir dir;
        InstanceRegistration me(registry(dir));
        ASSERT_TRUE(me.registered());
        ASSERT_TRUE(me.set_caption(c.caption));
        EXPECT_EQ(single_instance_running(c.title, registry(dir)), c.running);
    }
}

TEST(InstanceRegistry, CaptionChangesAndEndOfInstance) {
    TempDir dir;
    {
        InstanceRegistration me(registry(dir));
        EXPECT_EQ(single_instance_running(kTitle, registry(dir)), 0) << "no caption yet";
        me.set_caption("tessaron");
        EXPECT_EQ(single_instance_running(kTitle, registry(dir)), 0);
        me.set_caption(kTitle + " (Simulated nForce2 SMI)");
        EXPECT_EQ(single_instance_running(kTitle, registry(dir)), 1);
        EXPECT_EQ(entries(registry(dir)), 2u);
    }
    EXPECT_EQ(single_instance_running(kTitle, registry(dir)), 0);
    EXPECT_EQ(entries(registry(dir)), 0u);
    EXPECT_EQ(single_instance_running(kTitle, dir.path() / "absent"), 0);
}

TEST(InstanceRegistry, ACrashedInstanceLeavesNothingStale) {
    TempDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Registers and dies without cleaning up.
        InstanceRegistration crashing(registry(dir));
        crashing.set_caption(kTitle + " (Simulated nForce2 ATXP1)");
        ::_exit(0);  // no destructor runs
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(entries(registry(dir)), 2u) << "its entry is still there";
    // It died while writing a new caption.
    std::filesystem::path half_written;
    for (const auto& e : std::filesystem::directory_iterator(registry(dir)))
        if (e.path().extension() == ".caption") half_written = e.path().string() + ".new";
    ASSERT_FALSE(half_written.empty());
    write_file(half_written, "tessaron 0.8.8-dev8 (Simulated");

    InstanceRegistration me(registry(dir));
    me.set_caption("tessaron");
    EXPECT_EQ(single_instance_running(kTitle, registry(dir)), 0);
    EXPECT_EQ(entries(registry(dir)), 2u) << "only our own entry is left";
}

TEST(InstanceRegistry, DefaultDirectoryIsPerUser) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
    EXPECT_EQ(default_registry_dir(), "/run/user/1234/tessaron");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(default_registry_dir(), "/tmp/tessaron-" + std::to_string(::geteuid()));
    if (saved) ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

}  // namespace
}  // namespace tess::test
