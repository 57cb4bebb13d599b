#include "core/config_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tess {
namespace {

namespace fs = std::filesystem;
using test::crlf;
using test::read_file;
using test::TempDir;
using test::write_file;

class ConfigFile : public testing::Test {
  protected:
    TempDir dir;
    std::string log_path = dir.file("tessaron.log");
    DebugLog log{log_path};
    std::string path = dir.file("config.ini");

    void SetUp() override {
        log.set_clock([] { return std::tm{}; });
    }

    std::string messages() const { return test::log_messages(log_path); }

    std::optional<int32_t> read_int(std::string_view section, std::string_view key) {
        int32_t v = -777;
        if (!config_read(log, path, section, key, &v)) return std::nullopt;
        return v;
    }
    std::optional<std::string> read_text(std::string_view section, std::string_view key,
                                         std::size_t max = 499) {
        std::string v = "untouched";
        if (!config_read(log, path, section, key, TextDest{&v, max})) return std::nullopt;
        return v;
    }

    // Names in the folder other than the debug log.
    std::vector<std::string> folder_entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().filename() != "tessaron.log") names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(ConfigFile, FileWrittenFromNothingPutsNewKeysOnTop) {
    EXPECT_EQ(config_write(log, path, "Main", "Board", std::string_view("Test Board")), 1);
    EXPECT_EQ(config_write(log, path, "Main", "update", int32_t{5}), 1);
    EXPECT_EQ(config_write(log, path, "Main", "driver", uint8_t{200}), 1);
    EXPECT_EQ(config_write(log, path, "Sensor", "neg", int32_t{-12}), 1);
    EXPECT_EQ(read_file(path), crlf("\n"
                                    "[Main]\n"
                                    "driver=200\n"
                                    "update=5\n"
                                    "Board=Test Board\n"
                                    "\n"
                                    "[Sensor]\n"
                                    "neg=-12\n"));
    EXPECT_EQ(read_int("Main", "update"), 5);
    EXPECT_EQ(read_text("Main", "Board"), "Test Board");
    EXPECT_EQ(read_int("Sensor", "neg"), -12);
    EXPECT_EQ(folder_entries(), std::vector<std::string>{"config.ini"});
}

TEST_F(ConfigFile, RewritingAKeyKeepsEveryOtherByte) {
    const std::string before = crlf(
        "stray line before any header\n"
        "[S]\n"
        "; not a comment, just a line\n"
        "k=old value\n"
        "other=1\n"
        "\n"
        "[T]\n"
        "k=t\n");
    write_file(path, before);
    EXPECT_EQ(config_write(log, path, "S", "k", std::string_view("new")), 1);
    std::string expected = before;
    expected.replace(expected.find("old value"), 9, "new");
    EXPECT_EQ(read_file(path), expected);
    EXPECT_EQ(config_write(log, path, "T", "k", int32_t{7}), 1);
    EXPECT_EQ(read_text("T", "k"), "7");
    EXPECT_EQ(read_text("S", "k"), "new");
}

struct LookupCase {
    const char* name;
    const char* file;  // "\n" written as CR LF
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

class ConfigLookup : public ConfigFile, public testing::WithParamInterface<LookupCase> {};

TEST_P(ConfigLookup, FindsExactlyWhatTheSearchFinds) {
    const auto& p = GetParam();
    write_file(path, crlf(p.file));
    EXPECT_EQ(read_text(p.section, p.key), p.expected);
    EXPECT_EQ(config_read(log, path, p.section, p.key), p.expected ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    ConfigFile, ConfigLookup,
    testing::Values(
        LookupCase{"Plain", "[S]\nk=v\n", "S", "k", "v"},
        LookupCase{"NothingTrimmed", "[S]\nk= v =x \n", "S", "k", " v =x "},
        LookupCase{"EmptyValue", "[S]\nk=\nx=1\n", "S", "k", ""},
        LookupCase{"CaseSensitiveKey", "[S]\nK=v\n", "S", "k", std::nullopt},
        LookupCase{"CaseSensitiveSection", "[s]\nk=v\n", "S", "k", std::nullopt},
        LookupCase{"SpaceAfterHeader", "[S] \nk=v\n", "S", "k", std::nullopt},
        LookupCase{"HeaderFoundMidLine", "junk[S]\nk=v\n", "S", "k", "v"},
        LookupCase{"KeyEndingAnotherKey", "[S]\nab=1\nb=2\n", "S", "b", "2"},
        LookupCase{"ThirdHitTakenUntested", "[S]\nxb=1\nyb=2\nzb=3\nb=4\n", "S", "b", "3"},
        LookupCase{"SecondHitStartsLine", "[S]\nxb=1\nb=2\nzb=3\n", "S", "b", "2"},
        LookupCase{"KeyBeforeFirstHeader", "k=1\n[S]\nx=2\n", "S", "k", std::nullopt},
        LookupCase{"KeyUnderLaterSection", "[S]\nx=1\n[T]\nk=1\n", "S", "k", std::nullopt},
        LookupCase{"KeyUnderEarlierSection", "[T]\nk=1\n[S]\nx=1\n", "S", "k", std::nullopt},
        LookupCase{"BracketInValueEndsSection", "[S]\na=x[y\nk=1\n", "S", "k", std::nullopt},
        LookupCase{"ValueWithBracket", "[S]\na=x[y\nk=1\n", "S", "a", "x[y"},
        LookupCase{"EmptySectionSeesNextSection", "[S]\n[T]\nk=5\n", "S", "k", "5"},
        LookupCase{"ThreeByteFileIsMissing", "abc", "S", "k", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigFile, BareLineFeedsAreNotLines) {
    write_file(path, "[S]\nk=1\n");
    EXPECT_EQ(read_int("S", "k"), std::nullopt);
}

TEST_F(ConfigFile, ValueOnLastLineWithoutLineEnd) {
    write_file(path, "[S]\r\nk=1");
    EXPECT_EQ(read_int("S", "k"), std::nullopt);
    EXPECT_EQ(config_read(log, path, "S", "k"), 1);  // the key itself is there
    int32_t* none = nullptr;
    EXPECT_EQ(config_read(log, path, "S", "k", none), 1);
    EXPECT_EQ(config_write(log, path, "S", "k", int32_t{2}), 1);
    EXPECT_EQ(read_file(path), "[S]\r\nk=2\r\n");
}

TEST_F(ConfigFile, ThreeByteFileIsReplacedByTheNewSection) {
    write_file(path, "abc");
    EXPECT_EQ(read_int("S", "k"), std::nullopt);
    EXPECT_EQ(messages(), "");  // a short file is missing without a log line
    EXPECT_EQ(config_write(log, path, "S", "k", int32_t{1}), 1);
    EXPECT_EQ(read_file(path), "\r\n[S]\r\nk=1\r\n");
}

TEST_F(ConfigFile, MissingFileLogsOncePerRead) {
    EXPECT_EQ(read_int("S", "k"), std::nullopt);
    EXPECT_EQ(read_text("S", "k"), std::nullopt);
    const std::string line = "CONFIGFILE: Can't open " + path + " for read\n";
    EXPECT_EQ(messages(), line + line);
}

struct IntCase {
    const char* text;
    int32_t expected;
};

class ConfigParseInt : public testing::TestWithParam<IntCase> {};

TEST_P(ConfigParseInt, ReadsWithAutomaticBase) {
    EXPECT_EQ(config_parse_int(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    ConfigFile, ConfigParseInt,
    testing::Values(IntCase{"0x1F", 31}, IntCase{"0X1f", 31}, IntCase{"010", 8},
                    IntCase{"12abc", 12}, IntCase{"abc", 0}, IntCase{" 7", 7}, IntCase{"\t\r 7", 7},
                    IntCase{"", 0}, IntCase{"-5", -5}, IntCase{"+5", 5}, IntCase{"-0x10", -16},
                    IntCase{"0x", 0}, IntCase{"0xg", 0}, IntCase{"08", 0}, IntCase{"0", 0},
                    IntCase{"- 5", 0}, IntCase{"2147483647", INT_MAX},
                    IntCase{"2147483648", INT_MAX}, IntCase{"99999999999999999999999", INT_MAX},
                    IntCase{"0xFFFFFFFF", INT_MAX}, IntCase{"-2147483648", INT_MIN},
                    IntCase{"-2147483649", INT_MIN}, IntCase{"-99999999999999999999", INT_MIN}));

TEST_F(ConfigFile, ReadsTypedValues) {
    write_file(path, crlf("[S]\nhex=0x1F\noct=010\nbyte=300\nneg=-1\nbig=0x1FF\nsp= 7\n"));
    EXPECT_EQ(read_int("S", "hex"), 31);
    EXPECT_EQ(read_int("S", "oct"), 8);
    EXPECT_EQ(read_int("S", "sp"), 7);
    EXPECT_EQ(read_text("S", "sp"), " 7");
    const std::vector<std::pair<const char*, uint8_t>> bytes{
        {"byte", 44}, {"neg", 255}, {"big", 255}, {"hex", 31}};
    for (const auto& [key, expected] : bytes) {
        uint8_t v = 0;
        EXPECT_EQ(config_read(log, path, "S", key, &v), 1);
        EXPECT_EQ(v, expected) << key;
    }
}

TEST_F(ConfigFile, TextDestinationIsCutToItsWidth) {
    write_file(path, crlf("[S]\nk=abcdefgh\n"));
    EXPECT_EQ(read_text("S", "k", 5), "abcde");
    EXPECT_EQ(read_text("S", "k", 0), "");
}

TEST_F(ConfigFile, ValuesLongerThan499AreRefused) {
    const std::string fits(499, 'v');
    const std::string too_long(500, 'w');
    write_file(path, crlf("[S]\nok=" + fits + "\nlong=" + too_long + "\n"));
    EXPECT_EQ(read_text("S", "ok"), fits);

    std::string dest = "untouched";
    EXPECT_EQ(config_read(log, path, "S", "long", TextDest{&dest, 10000}), 0);
    EXPECT_EQ(dest, "untouched");
    int32_t n = 5;
    EXPECT_EQ(config_read(log, path, "S", "long", &n), 0);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(config_read(log, path, "S", "long"), 1);  // existence needs no buffer
    const std::string line =
        "CONFIGFILE: Value of long in [S] of " + path + " is longer than 499 characters\n";
    EXPECT_EQ(messages(), line + line);

    const std::string before = read_file(path);
    EXPECT_EQ(config_write(log, path, "S", "ok", std::string_view(too_long)), 0);
    EXPECT_EQ(read_file(path), before);
    EXPECT_EQ(config_write(log, path, "S", "ok", std::string_view(fits)), 1);
}

TEST_F(ConfigFile, OverlongNamesAreNeitherFoundNorWritten) {
    const std::string section(497, 's');  // 497 + 4 does not fit the pattern buffer
    const std::string key(500, 'k');
    write_file(path, crlf("[" + section + "]\nk=1\n[S]\n" + key + "=2\n"));
    const std::string before = read_file(path);
    EXPECT_EQ(read_int(section, "k"), std::nullopt);
    EXPECT_EQ(read_int("S", key), std::nullopt);
    EXPECT_EQ(config_write(log, path, section, "k", int32_t{3}), 0);
    EXPECT_EQ(config_write(log, path, "S", key, int32_t{3}), 0);
    EXPECT_EQ(read_file(path), before);
    // The longest names that fit work.
    const std::string section_fits(496, 's');
    const std::string key_fits(499, 'k');
    EXPECT_EQ(config_write(log, path, section_fits, key_fits, int32_t{4}), 1);
    EXPECT_EQ(read_int(section_fits, key_fits), 4);
}

TEST_F(ConfigFile, SectionNamesAreEnumerated) {
    write_file(path, crlf("[A]\nk=v[x]\n[" + std::string(60, 'L') + "]\n[B]\nk=[open\n"));
    std::string name;
    std::vector<std::string> names;
    for (int i = 0; config_section_name(log, path, name, i); ++i) names.push_back(name);
    // A "[" in a value counts as a section; long names are cut to 49; a "["
    // without "]" after it ends the enumeration.
    EXPECT_EQ(names, (std::vector<std::string>{"A", "x", std::string(49, 'L'), "B"}));
    EXPECT_EQ(config_section_name(log, path, name, 4), 0);
    EXPECT_EQ(config_section_name(log, path, name, 100), 0);
    EXPECT_EQ(config_section_name(log, path, name, -1), 0);
}

TEST_F(ConfigFile, SectionNameEdges) {
    std::string name = "keep";
    write_file(path, "abc[");  // the last character is not looked at
    EXPECT_EQ(config_section_name(log, path, name, 0), 0);
    write_file(path, "[]\r\n[B]\r\n");
    EXPECT_EQ(config_section_name(log, path, name, 0), 1);
    EXPECT_EQ(name, "");
    EXPECT_EQ(config_section_name(log, path, name, 1), 1);
    EXPECT_EQ(name, "B");
    write_file(path, "[A\r\nB]\r\n");  // the name runs to the next "]"
    EXPECT_EQ(config_section_name(log, path, name, 0), 1);
    EXPECT_EQ(name, "A\r\nB");
    fs::remove(path);
    EXPECT_EQ(config_section_name(log, path, name, 0), 0);
}

TEST_F(ConfigFile, TruncateEmptiesOrCreates) {
    write_file(path, crlf("[S]\nk=1\n"));
    EXPECT_EQ(config_truncate(log, path), 0);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    fs::remove(path);
    EXPECT_EQ(config_truncate(log, path), 0);
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(folder_entries(), std::vector<std::string>{"config.ini"});
}

TEST_F(ConfigFile, PathThatIsAFolderIsLeftAloneAndReported) {
    fs::create_directory(path);
    write_file(path + "/inside", "x");
    EXPECT_EQ(config_write(log, path, "S", "k", int32_t{1}), 0);
    EXPECT_EQ(config_truncate(log, path), -1);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(read_file(path + "/inside"), "x");
    EXPECT_EQ(folder_entries(), std::vector<std::string>{"config.ini"});
    const std::string text = messages();
    EXPECT_NE(text.find("CONFIGFILE: Not writing " + path + ", its contents could not be read\n"),
              std::string::npos);
    EXPECT_NE(text.find("CONFIGFILE: Can't open " + path + " for write\n"), std::string::npos);
}

TEST(ConfigFileRelative, BareNamesWorkInTheWorkingDirectory) {
    TempDir cwd(true);
    DebugLog log("tessaron.log");
    EXPECT_EQ(config_write(log, "config.ini", "Main", "Board", std::string_view("B")), 1);
    EXPECT_EQ(config_write(log, "config.ini", "Main", "update", int32_t{5}), 1);
    std::string board;
    EXPECT_EQ(config_read(log, "config.ini", "Main", "Board", TextDest{&board, 49}), 1);
    EXPECT_EQ(board, "B");
    EXPECT_EQ(config_truncate(log, "config.ini"), 0);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(cwd.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"config.ini", "tessaron.log"}));
}

TEST_F(ConfigFile, FileInMissingFolderIsReportedNotCreated) {
    const std::string nowhere = dir.file("no-such-folder/config.ini");
    EXPECT_EQ(config_write(log, nowhere, "S", "k", int32_t{1}), 0);
    EXPECT_EQ(config_truncate(log, nowhere), -1);
    EXPECT_EQ(messages(), "CONFIGFILE: Can't open " + nowhere + " for read\n" +
                              "CONFIGFILE: Can't open " + nowhere + " for write\n" +
                              "CONFIGFILE: Can't open " + nowhere + " for write\n");
}

TEST_F(ConfigFile, WriteKeepsPermissionsAndFollowsLinks) {
    write_file(path, crlf("[S]\nk=1\n"));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string link = dir.file("link.ini");
    fs::create_symlink(path, link);

    EXPECT_EQ(config_write(log, link, "S", "k", int32_t{2}), 1);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_file(path), crlf("[S]\nk=2\n"));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folder_entries(), (std::vector<std::string>{"config.ini", "link.ini"}));
}

// A short write (here: the file size limit of the process) leaves the old
// file whole and no temporary file behind.
TEST_F(ConfigFile, FailedWriteLeavesOldFileIntact) {
    const std::string before = crlf("[S]\nk=" + std::string(400, 'x') + "\nother=1\n");
    write_file(path, before);

    rlimit old_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_limit;
    small.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int written = config_write(log, path, "S", "other", int32_t{2});
    const int appended = config_write(log, path, "T", "k", int32_t{3});
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(written, 0);
    EXPECT_EQ(appended, 0);
    EXPECT_EQ(read_file(path), before);
    EXPECT_EQ(folder_entries(), std::vector<std::string>{"config.ini"});
    EXPECT_EQ(messages(), "CONFIGFILE: Write error\nCONFIGFILE: Write error\n");
}

// Makes a folder unwritable for the test (also for root, through the
// immutable flag where the file system allows it).
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const fs::path& folder) : folder_(folder) {
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
        if (writable() && geteuid() == 0) {
            const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
            int flags = 0;
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags |= FS_IMMUTABLE_FL;
                immutable_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
            }
            if (fd >= 0) ::close(fd);
        }
    }
    ~ReadOnlyFolder() {
        if (immutable_) {
            const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
            int flags = 0;
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0) ::close(fd);
        }
        fs::permissions(folder_, fs::perms::owner_all);
    }
    bool writable() const {
        const auto probe = folder_ / "probe";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) return false;
        ::close(fd);
        ::unlink(probe.c_str());
        return true;
    }

  private:
    fs::path folder_;
    bool immutable_ = false;
};

TEST_F(ConfigFile, WriteIntoReadOnlyFolderLeavesOldFileIntact) {
    const fs::path folder = dir.path() / "ro";
    fs::create_directory(folder);
    const std::string file = (folder / "config.ini").string();
    const std::string before = crlf("[S]\nk=1\n");
    write_file(file, before);
    {
        ReadOnlyFolder ro(folder);
        if (ro.writable()) GTEST_SKIP() << "cannot make a folder read-only here";
        EXPECT_EQ(config_write(log, file, "S", "k", int32_t{2}), 0);
        EXPECT_EQ(config_truncate(log, file), -1);
    }
    EXPECT_EQ(read_file(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    const std::string line = "CONFIGFILE: Can't open " + file + " for write\n";
    EXPECT_EQ(messages(), line + line);
}

struct FieldCase {
    const char* name;
    const char* text;
    int index;
    char separator;
    std::optional<std::string> expected;
    const char* logged;  // message the call writes, "" for none
};

class ConfigField : public ConfigFile, public testing::WithParamInterface<FieldCase> {};

TEST_P(ConfigField, SplitsAsSpecified) {
    const auto& p = GetParam();
    EXPECT_EQ(config_field(log, p.text, p.index, p.separator), p.expected);
    EXPECT_EQ(messages(), p.logged);
}

INSTANTIATE_TEST_SUITE_P(
    ConfigFile, ConfigField,
    testing::Values(
        FieldCase{"Driver", "ATXP1;VCore;1100:0x0:0x1f:0xff", 0, ';', "ATXP1", ""},
        FieldCase{"Control", "ATXP1;VCore;1100:0x0:0x1f:0xff", 1, ';', "VCore", ""},
        FieldCase{"LastField", "ATXP1;VCore;1100:0x0:0x1f:0xff", 2, ';', "1100:0x0:0x1f:0xff", ""},
        FieldCase{"PastTheEnd", "ATXP1;VCore;1100:0x0:0x1f:0xff", 3, ';', std::nullopt, ""},
        FieldCase{"ColonSeparator", "1100:0x0:0x1f", 2, ':', "0x1f", ""},
        FieldCase{"EndsInSeparator", "A;", 1, ';', std::nullopt, "config: Invalid string ;\n"},
        FieldCase{"TrailingSeparatorAfterField", "A;B;", 2, ';', std::nullopt,
                  "config: Invalid string B;\n"},
        FieldCase{"OneLetter", "A", 1, ';', std::nullopt, "config: Invalid string A\n"},
        FieldCase{"EmptyText", "", 1, ';', std::nullopt, "config: Invalid string \n"},
        FieldCase{"EmptyFirstFieldSkipsAhead", ";B", 1, ';', std::nullopt, ""},
        FieldCase{"EmptyFirstFieldShiftsFields", ";B;C", 1, ';', "C", ""},
        FieldCase{"EmptyMiddleField", "A;;C", 1, ';', "", ""},
        FieldCase{"AfterEmptyField", "A;;C", 2, ';', "C", ""},
        FieldCase{"FieldZeroWholeText", "abc", 0, ';', "abc", ""},
        FieldCase{"FieldZeroEmpty", ";x", 0, ';', "", ""},
        FieldCase{"FieldZeroOfEmptyText", "", 0, ';', "", ""},
        FieldCase{"NegativeIndex", "A;B", -1, ';', std::nullopt, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tess
