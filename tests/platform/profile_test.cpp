// Profile files on disk: where they live, what a write keeps, that a failed
// write changes nothing, and that concurrent writers lose nothing.
#include "platform/profile.h"
#include "platform/profile_fault_injection.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_directory.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace morvex::platform {
namespace {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool has_temporary_files(const std::string& directory) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(directory)) {
        if (entry.path().filename().string().find(".tmp") != std::string::npos)
            return true;
    }
    return false;
}

// Each test gets a fresh directory as MORVEX_INIDIR, and the variables that
// choose the INI directory back as they were afterwards.
class ProfileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : EnvironmentNames) {
            const char* value = std::getenv(name);
            m_saved_environment.emplace_back(value ? std::optional<std::string>(value) : std::nullopt);
        }
        setenv("MORVEX_INIDIR", m_dir.c_str(), 1);
    }

    void TearDown() override {
        stop_failing_profile_system_calls();
        for (size_t i = 0; i < std::size(EnvironmentNames); ++i) {
            if (m_saved_environment[i])
                setenv(EnvironmentNames[i], m_saved_environment[i]->c_str(), 1);
            else
                unsetenv(EnvironmentNames[i]);
        }
    }

    std::string path(std::string_view name) const { return m_dir + "/" + std::string(name); }

    static constexpr const char* EnvironmentNames[] = {"MORVEX_INIDIR", "XDG_CONFIG_HOME", "HOME"};
    std::vector<std::optional<std::string>> m_saved_environment;
    testing::TempDirectory m_temp{"profile_test"};
    std::string m_dir = m_temp.path();
};

void set_or_unset(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

struct DirectoryCase {
    const char* label;
    const char* ini_dir;
    const char* xdg_config_home;
    const char* home;
    const char* expected;
};

void PrintTo(const DirectoryCase& c, std::ostream* out) {
    *out << c.label;
}

class IniDirectoryChoice : public ProfileFiles, public ::testing::WithParamInterface<DirectoryCase> {};

TEST_P(IniDirectoryChoice, FollowsTheEnvironmentInOrder) {
    const DirectoryCase& c = GetParam();
    set_or_unset("MORVEX_INIDIR", c.ini_dir);
    set_or_unset("XDG_CONFIG_HOME", c.xdg_config_home);
    set_or_unset("HOME", c.home);
    EXPECT_EQ(ini_directory(), c.expected) << c.label;
    EXPECT_EQ(profile_path(""), std::string(c.expected) + "/win.ini") << c.label;
    EXPECT_EQ(profile_path("Tavemon.INI"), std::string(c.expected) + "/Tavemon.INI") << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniDirectoryChoice,
    ::testing::Values(DirectoryCase{"MORVEX_INIDIR first", "/srv/ini", "/cfg", "/home/u", "/srv/ini"},
                      DirectoryCase{"MORVEX_INIDIR with a slash", "/srv/ini/", "/cfg", "/home/u", "/srv/ini"},
                      DirectoryCase{"empty MORVEX_INIDIR counts as unset", "", "/cfg", "/home/u",
                                    "/cfg/morvex"},
                      DirectoryCase{"XDG_CONFIG_HOME next", nullptr, "/cfg", "/home/u", "/cfg/morvex"},
                      DirectoryCase{"relative XDG_CONFIG_HOME ignored", nullptr, "cfg", "/home/u",
                                    "/home/u/.config/morvex"},
                      DirectoryCase{"HOME last", nullptr, nullptr, "/home/u", "/home/u/.config/morvex"}));

TEST_F(ProfileFiles, NamesWithADirectoryAreUsedAsGiven) {
    for (const char* name : {"sub/x.ini", "/abs/x.ini", "./x.ini", "../x.ini"})
        EXPECT_EQ(profile_path(name), name);
}

TEST_F(ProfileFiles, EmptyNameWritesWinIniInACreatedConfigDirectory) {
    unsetenv("MORVEX_INIDIR");
    setenv("XDG_CONFIG_HOME", path("config").c_str(), 1);
    ASSERT_TRUE(write_profile_string("", "intl", "sShortDate", "dd/MM/yyyy"));
    EXPECT_EQ(read_file(path("config/morvex/win.ini")), "[intl]\nsShortDate=dd/MM/yyyy\n");
    EXPECT_EQ(get_profile_string("", "INTL", "sshortdate", "-"), "dd/MM/yyyy");
    struct stat status {};
    ASSERT_EQ(stat(path("config/morvex").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(ProfileFiles, NameWithADirectoryIsRelativeToTheCurrentDirectory) {
    const fs::path saved = fs::current_path();
    fs::create_directory(path("work"));
    fs::current_path(path("work"));
    const bool written = write_profile_string("./here.ini", "a", "k", "v");
    const std::string value = get_profile_string("./here.ini", "a", "k", "");
    fs::current_path(saved);
    EXPECT_TRUE(written);
    EXPECT_EQ(value, "v");
    EXPECT_TRUE(fs::exists(path("work/here.ini")));
    EXPECT_FALSE(fs::exists(path("here.ini")));
}

TEST_F(ProfileFiles, MissingFileSectionOrEntryReadsAsTheDefault) {
    EXPECT_EQ(get_profile_string("none.ini", "a", "k", "dflt"), "dflt");
    write_file(path("x.ini"), "[a]\nk=\n");
    EXPECT_EQ(get_profile_string("x.ini", "b", "k", "dflt"), "dflt");
    EXPECT_EQ(get_profile_string("x.ini", "a", "j", "dflt"), "dflt");
    EXPECT_EQ(get_profile_string("x.ini", "a", "k", "dflt"), "");
    EXPECT_EQ(get_profile_string(m_dir, "a", "k", "dir"), "dir") << "a directory reads as missing";
}

TEST_F(ProfileFiles, ValuesReadBackByteForByteWhateverTheCaseOfTheNames) {
    const std::string value = std::string("\x80\xE9\xFF \0 x", 7);
    ASSERT_TRUE(write_profile_string("x.ini", "Calendar", "X", value));
    ASSERT_TRUE(write_profile_string("X.ini", "calendar", "Y", "100")) << "file names keep their case";
    EXPECT_EQ(get_profile_string("x.ini", "CALENDAR", "x", ""), value);
    EXPECT_EQ(get_profile_string("x.ini", "calendar", "y", "none"), "none");
    ASSERT_TRUE(write_profile_string("x.ini", " calendar ", "x ", "  1  "));
    EXPECT_EQ(read_file(path("x.ini")), "[Calendar]\nX=1\n");
}

TEST_F(ProfileFiles, WritesRemoveEntriesAndSections) {
    EXPECT_TRUE(write_profile_string("x.ini", "a", "k", std::nullopt));
    EXPECT_TRUE(write_profile_string("x.ini", "a", std::nullopt, std::nullopt));
    EXPECT_FALSE(fs::exists(path("x.ini"))) << "removing from a missing file creates none";
    write_file(path("x.ini"), "[a]\nk=1\nj=2\n\n[b]\nk=3\n");
    ASSERT_TRUE(write_profile_string("x.ini", "A", "K", std::nullopt));
    EXPECT_EQ(read_file(path("x.ini")), "[a]\nj=2\n\n[b]\nk=3\n");
    ASSERT_TRUE(write_profile_string("x.ini", "a", std::nullopt, std::nullopt));
    EXPECT_EQ(read_file(path("x.ini")), "[b]\nk=3\n");
    ASSERT_TRUE(write_profile_string("x.ini", "b", std::nullopt, "ignored"));
    EXPECT_EQ(read_file(path("x.ini")), "");
}

TEST_F(ProfileFiles, WritingOneEntryKeepsCommentsOrderAndCrlf) {
    const std::string before = "; Morvex settings\r\n[Main]\r\n  Width = 10 ; px\r\nHeight=5\r\n\r\n"
                               "# colours\r\n[Colours]\r\nback=grey";
    write_file(path("x.ini"), before);
    ASSERT_TRUE(write_profile_string("x.ini", "main", "width", "12"));
    ASSERT_TRUE(write_profile_string("x.ini", "main", "Depth", "3"));
    ASSERT_TRUE(write_profile_string("x.ini", "colours", "fore", "black"));
    EXPECT_EQ(read_file(path("x.ini")),
              "; Morvex settings\r\n[Main]\r\n  Width = 12\r\nHeight=5\r\nDepth=3\r\n\r\n"
              "# colours\r\n[Colours]\r\nback=grey\r\nfore=black\r\n");
}

TEST_F(ProfileFiles, RewriteKeepsTheFilePermissions) {
    write_file(path("x.ini"), "[a]\n");
    ASSERT_EQ(chmod(path("x.ini").c_str(), 0640), 0);
    ASSERT_TRUE(write_profile_string("x.ini", "a", "k", "v"));
    struct stat status {};
    ASSERT_EQ(stat(path("x.ini").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST_F(ProfileFiles, WritingThroughASymbolicLinkChangesItsTarget) {
    fs::create_directory(path("real"));
    write_file(path("real/x.ini"), "[a]\n");
    fs::create_symlink(path("real/x.ini"), path("x.ini"));
    ASSERT_TRUE(write_profile_string("x.ini", "a", "k", "v"));
    EXPECT_TRUE(fs::is_symlink(path("x.ini")));
    EXPECT_EQ(read_file(path("real/x.ini")), "[a]\nk=v\n");
}

TEST_F(ProfileFiles, FailedWritesReportWhyAndChangeNothing) {
    const std::string before = "[a]\nk=old\n";
    write_file(path("x.ini"), before);
    write_file(path("plain"), "not a directory");
    fs::create_directory(path("dir.ini"));
    struct Case {
        std::string file;
        const char* entry;
        const char* value;
        int error;
    };
    const Case cases[] = {
        {path("plain/x.ini"), "k", "v", ENOTDIR},
        {"x.ini", "k", "two\nlines", EINVAL},
        {"x.ini", "k=j", "v", EINVAL},
        {std::string("x.ini\0y", 7), "k", "v", EINVAL},
        {"dir.ini", "k", "v", EISDIR},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_FALSE(write_profile_string(c.file, "a", c.entry, c.value)) << c.file;
        EXPECT_EQ(errno, c.error) << c.file;
    }
    EXPECT_EQ(read_file(path("x.ini")), before);
    EXPECT_TRUE(fs::is_empty(path("dir.ini")));
    EXPECT_FALSE(has_temporary_files(m_dir));
}

TEST_F(ProfileFiles, AFullDiskLeavesTheOldFileAndNoTemporaryFile) {
    // Root ignores permissions, so the disk is made "full" by a file size limit in a child.
    const std::string before = "[a]\nk=old\n";
    write_file(path("x.ini"), before);
    testing::ChildProcess child([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, RLIM_INFINITY};
        const bool limited = setrlimit(RLIMIT_FSIZE, &limit) == 0;
        const bool written = write_profile_string("x.ini", "a", "k", std::string(100, 'v'));
        return !limited ? 3 : written ? 2 : errno == EFBIG ? 0 : 1;
    });
    ASSERT_TRUE(child.wait());
    EXPECT_EQ(child.exit_code(), 0) << "1: wrong errno, 2: write succeeded, 3: no limit";
    EXPECT_EQ(read_file(path("x.ini")), before);
    EXPECT_FALSE(has_temporary_files(m_dir));
}

// Every system call of a write is made to fail in turn: the write then
// reports the failure and the file is exactly as before, or (when only the
// final directory sync failed) the write succeeded completely.
TEST_F(ProfileFiles, AWriteFailingAtAnySystemCallLeavesTheFileAsItWas) {
    struct Setup {
        const char* label;
        std::string directory;
        const char* before; // nullptr: no file, and the directory is missing too
    };
    const Setup setups[] = {{"existing file", m_dir, "; c\n[a]\nk=old\nj=1\n"},
                            {"new file in a new directory", path("new/dir"), nullptr}};
    for (const Setup& setup : setups) {
        setenv("MORVEX_INIDIR", setup.directory.c_str(), 1);
        const std::string file = setup.directory + "/x.ini";
        int failures = 0;
        for (long k = 0; k < 1000; ++k) {
            if (setup.before)
                write_file(file, setup.before);
            else
                fs::remove_all(path("new"));
            fail_profile_system_call_after(k);
            const bool written = write_profile_string("x.ini", "a", "k", "new");
            const int error = errno;
            const bool reached = !profile_system_call_failure_pending();
            stop_failing_profile_system_calls();
            if (!reached) {
                EXPECT_TRUE(written) << setup.label;
                break;
            }
            if (written) {
                EXPECT_EQ(get_profile_string("x.ini", "a", "k", ""), "new") << setup.label << " " << k;
            } else {
                ++failures;
                EXPECT_EQ(error, EIO) << setup.label << " " << k;
                if (setup.before)
                    EXPECT_EQ(read_file(file), setup.before) << setup.label << " " << k;
                else
                    EXPECT_FALSE(fs::exists(file)) << setup.label << " " << k;
            }
            EXPECT_FALSE(has_temporary_files(m_dir)) << setup.label << " " << k;
        }
        EXPECT_GE(failures, 9) << setup.label;
    }
}

// Writers in separate processes each add their own entries to one file, while
// this process keeps reading an entry that every version of the file holds.
TEST_F(ProfileFiles, ProcessesWritingAtOnceKeepEveryEntry) {
    constexpr int Writers = 3;
    constexpr int EntriesEach = 200;
    ASSERT_TRUE(write_profile_string("x.ini", "shared", "always", "here"));
    std::vector<testing::ChildProcess> children;
    for (int writer = 0; writer < Writers; ++writer) {
        children.emplace_back([writer] {
            bool all = true;
            for (int i = 0; i < EntriesEach; ++i) {
                const std::string entry = "w" + std::to_string(writer) + "e" + std::to_string(i);
                all = write_profile_string("x.ini", "shared", entry, std::to_string(i * 7 + writer)) && all;
            }
            return all ? 0 : 1;
        });
        ASSERT_TRUE(children.back().started());
    }
    int reads = 0;
    int torn_reads = 0;
    const auto all_ended = [&] {
        return std::all_of(children.begin(), children.end(),
                           [](testing::ChildProcess& c) { return c.ended(); });
    };
    while (!all_ended()) {
        ++reads;
        torn_reads += get_profile_string("x.ini", "SHARED", "always", "missing") != "here";
    }
    for (const testing::ChildProcess& child : children)
        EXPECT_EQ(child.exit_code(), 0) << "a writer's write failed";
    EXPECT_EQ(torn_reads, 0) << "of " << reads << " reads";
    for (int writer = 0; writer < Writers; ++writer) {
        for (int i = 0; i < EntriesEach; ++i) {
            const std::string entry = "w" + std::to_string(writer) + "e" + std::to_string(i);
            EXPECT_EQ(get_profile_string("x.ini", "shared", entry, "lost"), std::to_string(i * 7 + writer))
                << entry;
        }
    }
}

TEST_F(ProfileFiles, ThreadsWritingAtOnceKeepEveryEntry) {
    constexpr int Writers = 4;
    constexpr int EntriesEach = 40;
    std::vector<std::thread> threads;
    std::vector<int> failed(Writers, 0);
    for (int writer = 0; writer < Writers; ++writer) {
        threads.emplace_back([writer, &failed] {
            for (int i = 0; i < EntriesEach; ++i)
                failed[writer] += !write_profile_string("x.ini", "t", std::to_string(writer * 1000 + i), "v");
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(std::count(failed.begin(), failed.end(), 0), Writers);
    for (int writer = 0; writer < Writers; ++writer) {
        for (int i = 0; i < EntriesEach; ++i)
            EXPECT_EQ(get_profile_string("x.ini", "t", std::to_string(writer * 1000 + i), "lost"), "v");
    }
}

} // namespace
} // namespace morvex::platform
