#include "core/control.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tess {
namespace {

using test::crlf;
using test::read_file;
using test::TempDir;
using test::write_file;

class ControlTest : public testing::Test {
  protected:
    TempDir dir;
    std::string log_path = dir.file("tessaron.log");
    DebugLog log{log_path};
    List<Control> controls;
    List<Driver> drivers;

    void SetUp() override {
        log.set_clock([] { return std::tm{}; });
    }

    std::string messages() const { return test::log_messages(log_path); }

    static Driver make_driver(std::string name) { return Driver{std::move(name), "PCI", {}, {}}; }
};

TEST_F(ControlTest, AddCutsFieldsAndStartsEmpty) {
    Driver drv = make_driver("A_DRIVER_NAME_THAT_IS_LONG");
    const std::string name(40, 'n');
    const std::string desc(150, 'd');
    Control* c = control_add(log, &controls, name.c_str(), kKindChipset, &drv, desc.c_str(), 7);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(controls.last(), c);
    EXPECT_EQ(c->name, std::string(29, 'n'));
    EXPECT_EQ(c->driver_name, "A_DRIVER_NAME_THAT_");
    EXPECT_EQ(c->description, std::string(99, 'd'));
    EXPECT_EQ(c->kind, kKindChipset);
    EXPECT_EQ(c->sub_index, 7);
    EXPECT_EQ(c->second_name, "");
    EXPECT_EQ(c->sensor_type, 0);
    EXPECT_EQ(c->sensor_shown, 0);
    EXPECT_EQ(c->step, 0);
    EXPECT_EQ(c->max, 0u);
    EXPECT_EQ(c->min, 0xFFFFFFFFu);
    EXPECT_TRUE(c->settings.empty());
}

TEST_F(ControlTest, ArgumentGuardsLogAndFail) {
    Driver drv = make_driver("ATXP1");
    Control* c = control_add(log, &controls, "VCore", kKindVCore, &drv, "Core voltage", 0);
    ASSERT_NE(c, nullptr);
    drivers.add_ref(&drv);

    struct Guard {
        std::function<bool()> call;  // true when the result is the failure result
        const char* line;
    };
    const std::vector<Guard> guards{
        {[&] { return !control_add(log, nullptr, "x", 1, &drv, "d", 0); }, "control_add"},
        {[&] { return !control_add(log, &controls, "x", 1, nullptr, "d", 0); }, "control_add"},
        {[&] { return !control_add(log, &controls, "x", 1, &drv, nullptr, 0); }, "control_add"},
        {[&] { return !control_get(log, nullptr, "VCore"); }, "control_get"},
        {[&] { return !control_get(log, &controls, nullptr); }, "control_get"},
        {[&] { return control_get_val(log, nullptr, &drivers) == 0xFFFFFFFFu; }, "control_get_val"},
        {[&] { return control_get_val(log, c, nullptr) == 0xFFFFFFFFu; }, "control_get_val"},
        {[&] { return control_set_val(log, nullptr, &drivers, 1) == -1; }, "control_set_val"},
        {[&] { return control_set_val(log, c, nullptr, 1) == -1; }, "control_set_val"},
        {[&] { return control_get_range(log, nullptr, true) == 0xFFFFFFFFu; }, "control_get_range"},
        {[&] { return control_add_setting(log, nullptr, 1, 0, 0, 0) == -1; },
         "control_add_setting"},
        {[&] { return !control_get_setting(log, nullptr, 1); }, "control_get_setting"},
        {[&] { return control_settings_load(log, nullptr, &c->settings, "B", &drv, c) == -1; },
         "control_settings_load"},
        {[&] { return control_settings_load(log, "f", nullptr, "B", &drv, c) == -1; },
         "control_settings_load"},
        {[&] { return control_settings_load(log, "f", &c->settings, nullptr, &drv, c) == -1; },
         "control_settings_load"},
        {[&] { return control_settings_load(log, "f", &c->settings, "B", nullptr, c) == -1; },
         "control_settings_load"},
        {[&] { return control_settings_load(log, "f", &c->settings, "B", &drv, nullptr) == -1; },
         "control_settings_load"},
    };
    std::string expected;
    for (const auto& g : guards) {
        EXPECT_TRUE(g.call()) << g.line;
        expected += std::string("control: ") + g.line + "(): POSSIBLE BUG: Got a NULL pointer\n";
    }
    EXPECT_EQ(messages(), expected);
    EXPECT_EQ(controls.count(), 1u);
}

TEST_F(ControlTest, LookupNotFoundChainsHarmlessly) {
    Control* missing = control_get(log, &controls, "Nothing");
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(control_get_val(log, missing, &drivers), 0xFFFFFFFFu);
    EXPECT_EQ(messages(), "control: control_get_val(): POSSIBLE BUG: Got a NULL pointer\n");
}

TEST_F(ControlTest, GetMatchesNameOrSecondNameAndDriver) {
    Driver atxp1 = make_driver("ATXP1");
    Driver smi = make_driver("SMI_DRIVER");
    Driver w83 = make_driver("W83627HF");
    Control* smi_vcore = control_add(log, &controls, "VCore", kKindVCore, &smi, "", 0);
    Control* atxp1_vcore = control_add(log, &controls, "VCore", kKindVCore, &atxp1, "", 0);
    Control* temp = control_add(log, &controls, "Temp0", kKindTemperature, &w83, "", 0);
    temp->second_name = "CPU Temp";
    const std::string long_a = std::string(29, 'L') + "A";
    Control* longc = control_add(log, &controls, long_a.c_str(), kKindChipset, &w83, "", 0);

    EXPECT_EQ(control_get(log, &controls, "VCore"), smi_vcore);
    EXPECT_EQ(control_get(log, &controls, "VCore", "ATXP1"), atxp1_vcore);
    EXPECT_EQ(control_get(log, &controls, "VCore", "LM90"), nullptr);
    EXPECT_EQ(control_get(log, &controls, "CPU Temp"), temp);
    EXPECT_EQ(control_get(log, &controls, "Temp0"), temp);
    EXPECT_EQ(control_get(log, &controls, "vcore"), nullptr);
    EXPECT_EQ(control_get(log, &controls, ""), nullptr);  // empty second names never match
    EXPECT_EQ(control_get(log, &controls, (std::string(29, 'L') + "B").c_str()), longc);
    EXPECT_EQ(control_get(log, &controls, "VCore", "SMI_DRIVER_WITH_MORE_NAME"), nullptr);
    EXPECT_EQ(messages(), "");
}

TEST_F(ControlTest, DispatchTracksHighestAndLowestReading) {
    uint32_t reading = 0;
    Driver drv{"ATXP1", "SMBUS", [&](Control*) { return reading; }, {}};
    drivers.add_ref(&drv);
    Control* c = control_add(log, &controls, "VCore", kKindVCore, &drv, "", 0);
    for (uint32_t r : {1500u, 1650u, 1600u}) {
        reading = r;
        EXPECT_EQ(control_get_val(log, c, &drivers), r);
    }
    EXPECT_EQ(c->max, 1650u);
    EXPECT_EQ(c->min, 1500u);
    EXPECT_EQ(control_set_val(log, c, &drivers, 1), 0);  // no set operation: nothing served
}

TEST_F(ControlTest, DispatchFindsDriverOnTenCharacters) {
    std::vector<std::string> calls;
    Driver first{"NFORCE2_SMBUS", "SMBUS",
                 [&](Control* c) {
                     calls.push_back("first get " + c->name);
                     return 11u;
                 },
                 [&](Control* c, int32_t v) {
                     calls.push_back("first set " + c->name + " " + std::to_string(v));
                     return -3;
                 }};
    Driver second{"NFORCE2_SMBUX", "SMBUS", [&](Control*) { return 22u; },
                  [&](Control*, int32_t) { return 5; }};
    drivers.add_ref(&first);
    drivers.add_ref(&second);
    Control* a = control_add(log, &controls, "NFORCE2_SMBUS0", kKindBus, &first, "", 0);
    Control* b = control_add(log, &controls, "Other", kKindBus, &second, "", 0);

    EXPECT_EQ(control_get_val(log, a, &drivers), 11u);
    EXPECT_EQ(control_get_val(log, b, &drivers), 11u);
    EXPECT_EQ(control_set_val(log, b, &drivers, 9), -3);  // result passed on unchanged
    EXPECT_EQ(calls, (std::vector<std::string>{"first get NFORCE2_SMBUS0", "first get Other",
                                               "first set Other 9"}));
}

TEST_F(ControlTest, DispatchPassesOverEntriesWithoutTheOperation) {
    Driver get_only{"TOOLS", "WIN", [](Control*) { return 1u; }, {}};
    Driver set_only{"TOOLS", "WIN", {}, [](Control*, int32_t v) { return v * 2; }};
    Driver short_name{"TOOL", "WIN", [](Control*) { return 9u; },
                      [](Control*, int32_t) { return 9; }};
    Control* c = control_add(log, &controls, "Shutdown", kKindAction, &get_only, "", 0);

    EXPECT_EQ(control_get_val(log, c, &drivers), 0u);  // no drivers at all
    EXPECT_EQ(c->min, 0xFFFFFFFFu);                    // and no reading recorded
    drivers.add_ref(&short_name);
    EXPECT_EQ(control_get_val(log, c, &drivers), 0u);  // "TOOL" is not "TOOLS"
    drivers.add_ref(&set_only);
    drivers.add_ref(&get_only);
    EXPECT_EQ(control_get_val(log, c, &drivers), 1u);
    EXPECT_EQ(control_set_val(log, c, &drivers, 4), 8);
    EXPECT_EQ(messages(), "");
}

TEST_F(ControlTest, RangeComparesUnsigned) {
    Control c;
    EXPECT_EQ(control_get_range(log, &c.settings, true), 0u);
    EXPECT_EQ(control_get_range(log, &c.settings, false), 0u);
    for (int32_t v : {1500, 1100, 1850, 1300}) control_add_setting(log, &c.settings, v, 0, 0, 0);
    EXPECT_EQ(control_get_range(log, &c.settings, true), 1850u);
    EXPECT_EQ(control_get_range(log, &c.settings, false), 1100u);
    control_add_setting(log, &c.settings, -1, 0, 0, 0);
    EXPECT_EQ(control_get_range(log, &c.settings, true), 0xFFFFFFFFu);
}

TEST_F(ControlTest, AddSettingNumbersByCount) {
    Control c;
    EXPECT_EQ(control_add_setting(log, &c.settings, 1100, 1, 2, 3), 0);
    EXPECT_EQ(control_add_setting(log, &c.settings, 1125, 4, 5, 6), 0);
    ASSERT_EQ(c.settings.count(), 2u);
    const ControlSetting* s = c.settings.last();
    EXPECT_EQ(s->index, 1);
    EXPECT_EQ(s->value, 1125);
    EXPECT_EQ(s->reg, 4u);
    EXPECT_EQ(s->data, 5u);
    EXPECT_EQ(s->mask, 6u);
    for (int i = 2; i < 260; ++i) control_add_setting(log, &c.settings, i, 0, 0, 0);
    EXPECT_EQ(c.settings.last()->index, 259 & 0xFF);
}

struct NearestCase {
    const char* name;
    std::vector<int32_t> settings;
    int32_t value;
    std::optional<int32_t> expected;
};

class ControlNearest : public ControlTest, public testing::WithParamInterface<NearestCase> {};

TEST_P(ControlNearest, PicksExactOrNearestNonZero) {
    const auto& p = GetParam();
    Control c;
    for (int32_t v : p.settings) control_add_setting(log, &c.settings, v, 0, 0, 0);
    const ControlSetting* s = control_get_setting(log, &c, p.value);
    if (!p.expected) {
        EXPECT_EQ(s, nullptr);
    } else {
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->value, *p.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(ControlTest, ControlNearest,
                         testing::Values(NearestCase{"Exact", {1100, 1125, 1150}, 1150, 1150},
                                         NearestCase{"Nearest", {1100, 1125, 1150}, 1130, 1125},
                                         NearestCase{"CloserBelow", {1100, 1125, 1150}, 1137, 1125},
                                         NearestCase{"CloserAbove", {1100, 1125, 1150}, 1140, 1150},
                                         NearestCase{"TieFirstWins", {1150, 1100}, 1125, 1150},
                                         NearestCase{"ZeroOnlyOnExact", {0, 255}, 100, 255},
                                         NearestCase{"ZeroExact", {0, 255}, 0, 0},
                                         NearestCase{"OnlyZero", {0}, 1, std::nullopt},
                                         NearestCase{"Empty", {}, 1, std::nullopt},
                                         NearestCase{"BeyondHighest", {1100, 1850}, 2000, 1850},
                                         // distances are taken on the unsigned patterns: -5 is far
                                         // from 1 (near 4294967295), so 300 is nearer
                                         NearestCase{"NegativeIsFarAsUnsigned", {-5, 300}, 1, 300},
                                         // the widest distance there is (0 to 4294967295)
                                         // still finds the only setting other than 0
                                         NearestCase{"WidestDistance", {-1}, 0, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

class ControlSettingsLoad : public ControlTest {
  protected:
    std::string path = dir.file("controls.ini");
    Driver atxp1 = make_driver("ATXP1");
    Control* vcore = nullptr;

    void SetUp() override {
        ControlTest::SetUp();
        vcore = control_add(log, &controls, "VCore", kKindVCore, &atxp1, "Core voltage", 0);
    }

    int load(const char* section = "Board") {
        return control_settings_load(log, path.c_str(), &vcore->settings, section, &atxp1, vcore);
    }

    std::vector<std::vector<int64_t>> settings() const {
        std::vector<std::vector<int64_t>> out;
        for (const ControlSetting* s : vcore->settings)
            out.push_back({s->index, s->value, s->reg, s->data, s->mask});
        return out;
    }
};

TEST_F(ControlSettingsLoad, ReadsMatchingLinesInKeyOrder) {
    write_file(path, crlf("[Other]\n"
                          "Control0=ATXP1;VCore;9999:0x0:0x0:0x0\n"
                          "[Board]\n"
                          "Control0=ATXP1;VCore;1100:0x0:0x1f:0xff;1125:0x0:0x1f:0xfe\n"
                          "Control1=ATXP1;VDimm;2500:0x5:0xf:0x1\n"
                          "Control2=SMI_DRIVER;VCore;1700:0x0:0x0:0x0\n"
                          "Control3=ATXP1;VCore;-25:0xA:0xB:0xFFFFFFFF\n"
                          "Control5=ATXP1;VCore;1200:0x0:0x0:0x0\n"));
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(settings(), (std::vector<std::vector<int64_t>>{{0, 1100, 0, 0x1f, 0xff},
                                                             {1, 1125, 0, 0x1f, 0xfe},
                                                             {2, -25, 0xA, 0xB, 0xFFFFFFFF}}));
    EXPECT_EQ(messages(),
              "control: Added setting 1100 for VCore\n"
              "control: Added setting 1125 for VCore\n"
              "control: Added setting -25 for VCore\n");
    // Settings are added to those already there.
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(vcore->settings.count(), 6u);
    EXPECT_EQ(vcore->settings.last()->index, 5);
}

TEST_F(ControlSettingsLoad, GapInNumberingEndsReading) {
    write_file(path, crlf("[Board]\n"
                          "Control0=ATXP1;VCore;1100:0x0:0x1f:0xff\n"
                          "Control1=ATXP1;VCore;1125:0x0:0x1f:0xfe\n"
                          "Control3=ATXP1;VCore;1150:0x0:0x1f:0xfd\n"));
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(vcore->settings.count(), 2u);
}

TEST_F(ControlSettingsLoad, KeysStopAtTwenty) {
    std::string ini = "[Board]\n";
    for (int i = 0; i < 21; ++i)
        ini += "Control" + std::to_string(i) + "=ATXP1;VCore;" + std::to_string(1000 + i) +
               ":0x0:0x0:0x0\n";
    write_file(path, crlf(ini));
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(vcore->settings.count(), 20u);
    EXPECT_EQ(vcore->settings.last()->value, 1019);
}

TEST_F(ControlSettingsLoad, MalformedFieldEndsItsLine) {
    write_file(path,
               crlf("[Board]\n"
                    "Control0=ATXP1;VCore;1100:0x0:0x1f:0xff\n"
                    "Control1=ATXP1;VCore;1125:0x0:0x1f:0xfe;1150:0:1f:fd;1175:0x0:0x1f:0xfc\n"
                    "Control2=ATXP1;VCore;1200:0x0:0x1f:0xfb\n"));
    EXPECT_EQ(load(), 0);
    std::vector<int32_t> values;
    for (const ControlSetting* s : vcore->settings) values.push_back(s->value);
    EXPECT_EQ(values, (std::vector<int32_t>{1100, 1125, 1200}));
    EXPECT_NE(messages().find("control: Invalied field: 1150:0:1f:fd\n"), std::string::npos);
}

TEST_F(ControlSettingsLoad, NothingMatchingGivesMinusOne) {
    write_file(path, crlf("[Board]\n"
                          "Control0=ATXP1;VCore;bad\n"
                          "Control1=ATXP1;VCore\n"
                          "Control2=ATXP1\n"
                          "Control3=ATXP1X;VCore;1100:0x0:0x0:0x0\n"
                          "Control4=ATXP1;VCore2;1100:0x0:0x0:0x0\n"));
    EXPECT_EQ(load(), -1);
    EXPECT_TRUE(vcore->settings.empty());
    EXPECT_EQ(messages(), "control: Invalied field: bad\n");
    EXPECT_EQ(load("NoSuchBoard"), -1);
    std::filesystem::remove(path);
    EXPECT_EQ(load(), -1);
}

struct FieldParse {
    const char* field;
    bool valid;
    int32_t value;
    uint32_t reg, data, mask;
};

class ControlFieldParse : public ControlSettingsLoad,
                          public testing::WithParamInterface<FieldParse> {};

TEST_P(ControlFieldParse, ReadsLikeScanf) {
    const auto& p = GetParam();
    write_file(path, crlf(std::string("[Board]\nControl0=ATXP1;VCore;") + p.field + "\n"));
    EXPECT_EQ(load(), p.valid ? 0 : -1);
    if (!p.valid) {
        EXPECT_EQ(messages(), std::string("control: Invalied field: ") + p.field + "\n");
        return;
    }
    ASSERT_EQ(vcore->settings.count(), 1u);
    const ControlSetting* s = vcore->settings.first();
    EXPECT_EQ(s->value, p.value);
    EXPECT_EQ(s->reg, p.reg);
    EXPECT_EQ(s->data, p.data);
    EXPECT_EQ(s->mask, p.mask);
}

INSTANTIATE_TEST_SUITE_P(
    ControlTest, ControlFieldParse,
    testing::Values(FieldParse{"1100:0x0:0x1f:0xff", true, 1100, 0, 0x1f, 0xff},
                    FieldParse{"-50:0x10:0xAB:0xcd", true, -50, 0x10, 0xab, 0xcd},
                    FieldParse{"+7:0x1:0x2:0x3", true, 7, 1, 2, 3},
                    FieldParse{" 7:0x 1:0x2:0x3", true, 7, 1, 2, 3},
                    FieldParse{"7:0x0x1f:0x2:0x3", true, 7, 0x1f, 2, 3},
                    FieldParse{"7:0x1:0x2:0x3 trailing", true, 7, 1, 2, 3},
                    FieldParse{"7:0x1:0x2:0x-1", true, 7, 1, 2, 0xFFFFFFFF},
                    FieldParse{"7:0x1:0x2:0x123456789", true, 7, 1, 2, 0x23456789},
                    FieldParse{"7:0x1:0x2:0x99999999999999999999", true, 7, 1, 2, 0xFFFFFFFF},
                    FieldParse{"99999999999:0x1:0x2:0x3", true, 1215752191, 1, 2, 3},
                    FieldParse{"-2147483649:0x1:0x2:0x3", true, 2147483647, 1, 2, 3},
                    FieldParse{"7:0x1:0x2:0x0xg", true, 7, 1, 2, 0},
                    FieldParse{"7:0X1:0x2:0x3", false, 0, 0, 0, 0},
                    FieldParse{"7:0x1:0x2", false, 0, 0, 0, 0},
                    FieldParse{"7 :0x1:0x2:0x3", false, 0, 0, 0, 0},
                    FieldParse{"7:0x1:0x2:0xg", false, 0, 0, 0, 0},
                    FieldParse{"7:0x1:0x2:0x", false, 0, 0, 0, 0},
                    FieldParse{"x:0x1:0x2:0x3", false, 0, 0, 0, 0}));

}  // namespace
}  // namespace tess
