// ProfileDocument: lookups, the three edits and their layout, round trips of
// arbitrary bytes, and random edits against a map of what should be stored.
#include "platform/profile_document.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>

namespace morvex::platform {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

struct LookupCase {
    const char* label;
    std::string_view text;
    std::string_view section;
    std::string_view entry;
    std::optional<std::string_view> expected;
};

void PrintTo(const LookupCase& c, std::ostream* out) {
    *out << c.label;
}

class ProfileLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ProfileLookup, FindsTheValueAsTheLineRulesSay) {
    const LookupCase& c = GetParam();
    EXPECT_EQ(ProfileDocument(c.text).value(c.section, c.entry), c.expected) << c.label;
}

const LookupCase LookupCases[] = {
    {"plain entry", "[a]\nk=v\n", "a", "k", "v"},
    {"names ignore ASCII case", "[Sect]\nKey=v\n", "sECT", "kEY", "v"},
    {"names ignore Windows-1252 case", "[\xC4rger]\n\xE9t\xE9=1\n", "\xE4RGER", "\xC9T\xC9", "1"},
    {"caron letters fold", "[a]\n\x9A\x9C\x9E\xFF=2\n", "A", "\x8A\x8C\x8E\x9F", "2"},
    {"division sign is no letter", "[a]\n\xF7=1\n", "a", "\xD7", std::nullopt},
    {"names and value lose blanks", " \t[ a b ] \n  k\t=  v  \n", " a b\t", "k ", "v"},
    {"value keeps inner blanks and =", "[a]\nk= x = y \n", "a", "k", "x = y"},
    {"empty value is not missing", "[a]\nk=\n", "a", "k", ""},
    {"missing entry", "[a]\nk=v\n", "a", "j", std::nullopt},
    {"missing section", "[a]\nk=v\n", "b", "k", std::nullopt},
    {"entry of another section", "[a]\nx=1\n[b]\nk=2\n", "a", "k", std::nullopt},
    {"lines before any header are in no section", "k=1\n[a]\n", "", "k", std::nullopt},
    {"empty section name", "[]\nk=1\n", "", "k", "1"},
    {"comments are not entries", "[a]\n;k=1\n  #k=2\nk=3\n", "a", "k", "3"},
    {"header without closing bracket", "[a\nk=1\n", "a", "k", "1"},
    {"text after the bracket is ignored", "[a] ; note\nk=1\n", "a", "k", "1"},
    {"line without = is no entry", "[a]\nk\nk=2\n", "a", "k", "2"},
    {"first of duplicate entries", "[a]\nk=1\nk=2\n", "a", "k", "1"},
    {"a section in two blocks is one", "[a]\nx=1\n[b]\n[A]\nk=2\n", "a", "k", "2"},
    {"CRLF lines", "[a]\r\nk=v\r\n", "a", "k", "v"},
    {"no final line break", "[a]\nk=v", "a", "k", "v"},
    {"lone CR at the very end", "[a]\nk=v\r", "a", "k", "v"},
    {"inner CR belongs to the value", "[a]\nk=v\rw\n", "a", "k", "v\rw"},
    {"NUL bytes pass through", "[a\0b]\nk\0=v\0w\n"sv, "a\0b"sv, "k\0"sv, "v\0w"sv},
};

INSTANTIATE_TEST_SUITE_P(Table, ProfileLookup, ::testing::ValuesIn(LookupCases));

enum class Op { Set, RemoveEntry, RemoveSection };

struct EditCase {
    const char* label;
    std::string_view before;
    Op op;
    std::string_view section;
    std::string_view entry;
    std::string_view value;
    ProfileEdit result;
    std::string_view after;
};

void PrintTo(const EditCase& c, std::ostream* out) {
    *out << c.label;
}

class ProfileEditing : public ::testing::TestWithParam<EditCase> {};

TEST_P(ProfileEditing, ChangesOnlyWhatIsAskedAndKeepsTheLayout) {
    const EditCase& c = GetParam();
    ProfileDocument document(c.before);
    const ProfileEdit result = c.op == Op::Set           ? document.set_value(c.section, c.entry, c.value)
                               : c.op == Op::RemoveEntry ? document.remove_entry(c.section, c.entry)
                                                         : document.remove_section(c.section);
    EXPECT_EQ(result, c.result) << c.label;
    EXPECT_EQ(document.text(), c.after) << c.label;
}

constexpr ProfileEdit Changed = ProfileEdit::Changed;
constexpr ProfileEdit Unchanged = ProfileEdit::Unchanged;
constexpr ProfileEdit Invalid = ProfileEdit::Invalid;

const EditCase EditCases[] = {
    {"new entry after the last entry, before blank lines", "[a]\nx=1\n\n[b]\ny=2\n", Op::Set, "a", "k", "v",
     Changed, "[a]\nx=1\nk=v\n\n[b]\ny=2\n"},
    {"new entry above a comment that heads the next section", "[a]\nx=1\n\n; about b\n[b]\n", Op::Set, "a",
     "k", "v", Changed, "[a]\nx=1\nk=v\n\n; about b\n[b]\n"},
    {"new entry in an empty section follows its header", "[a]\n[b]\n", Op::Set, "A", "k", "v", Changed,
     "[a]\nk=v\n[b]\n"},
    {"new entry goes to the first block", "[a]\nx=1\n[b]\n[a]\ny=2\n", Op::Set, "a", "k", "v", Changed,
     "[a]\nx=1\nk=v\n[b]\n[a]\ny=2\n"},
    {"new section at the end after a blank line", "[a]\nx=1\n", Op::Set, "b", "k", "v", Changed,
     "[a]\nx=1\n\n[b]\nk=v\n"},
    {"new section into an empty document", "", Op::Set, "b", "k", "v", Changed, "[b]\nk=v\n"},
    {"new section after a missing final line break", "[a]\nx=1", Op::Set, "b", "k", "v", Changed,
     "[a]\nx=1\n\n[b]\nk=v\n"},
    {"new entry after a missing final line break", "[a]\nx=1", Op::Set, "a", "k", "v", Changed,
     "[a]\nx=1\nk=v\n"},
    {"existing value replaced, name and spacing kept", "[A]\n  Key = old  \n", Op::Set, "a", "KEY", "new",
     Changed, "[A]\n  Key = new\n"},
    {"the same value changes nothing", "[a]\nk = v \n", Op::Set, "a", "K", "v", Unchanged, "[a]\nk = v \n"},
    {"names and value stored without blanks", "", Op::Set, " a ", "\tk ", "  v w  ", Changed, "[a]\nk=v w\n"},
    {"empty value", "[a]\nk=v\n", Op::Set, "a", "k", "", Changed, "[a]\nk=\n"},
    {"CRLF kept and used for new lines", "[a]\r\nx=1\r\n", Op::Set, "a", "k", "v", Changed,
     "[a]\r\nx=1\r\nk=v\r\n"},
    {"CRLF used for a new section", "[a]\r\nx=1\r\n", Op::Set, "b", "k", "v", Changed,
     "[a]\r\nx=1\r\n\r\n[b]\r\nk=v\r\n"},
    {"CRLF file missing its last LF", "[a]\r\nx=1\r", Op::Set, "a", "k", "v", Changed,
     "[a]\r\nx=1\r\nk=v\r\n"},
    {"lone CR at the end asks for CRLF", "[a]\r", Op::Set, "a", "k", "v", Changed, "[a]\r\nk=v\r\n"},
    {"remove entry keeps every other line", "; top\n[a]\nx=1\n; c\nk=2\n\ny=3\n", Op::RemoveEntry, "A", "K",
     "", Changed, "; top\n[a]\nx=1\n; c\n\ny=3\n"},
    {"remove entry removes it from every block", "[a]\nk=1\n[b]\nk=0\n[A]\nK=2\n", Op::RemoveEntry, "a", "k",
     "", Changed, "[a]\n[b]\nk=0\n[A]\n"},
    {"remove missing entry", "[a]\nx=1\n", Op::RemoveEntry, "a", "k", "", Unchanged, "[a]\nx=1\n"},
    {"remove last section", "; top\n[a]\nx=1\n\n[b]\ny=2\n", Op::RemoveSection, "B", "", "", Changed,
     "; top\n[a]\nx=1\n\n"},
    {"remove first section up to the next header", "; top\n[a]\nx=1\n; c\n\n[b]\ny=2", Op::RemoveSection, "a",
     "", "", Changed, "; top\n[b]\ny=2"},
    {"remove section removes every block", "[a]\nx=1\n[b]\ny=2\n[ A ]\nz=3\n", Op::RemoveSection, "a", "", "",
     Changed, "[b]\ny=2\n"},
    {"remove missing section", "k=1\n[a]\n", Op::RemoveSection, "", "", "", Unchanged, "k=1\n[a]\n"},
    {"line break in a value", "[a]\n", Op::Set, "a", "k", "v\nw=1", Invalid, "[a]\n"},
    {"CR in a value", "[a]\n", Op::Set, "a", "k", "v\r", Invalid, "[a]\n"},
    {"= in an entry name", "[a]\n", Op::Set, "a", "k=j", "v", Invalid, "[a]\n"},
    {"] in a section name", "[a]\n", Op::Set, "a]b", "k", "v", Invalid, "[a]\n"},
    {"line break in a section name", "", Op::Set, "a\nk=1", "k", "v", Invalid, ""},
    {"entry name that reads as a comment", "", Op::Set, "a", " ;k", "v", Invalid, ""},
    {"entry name that reads as a header", "", Op::Set, "a", "[k", "v", Invalid, ""},
};

INSTANTIATE_TEST_SUITE_P(Table, ProfileEditing, ::testing::ValuesIn(EditCases));

TEST(ProfileDocument, ParsingAndSerialisingGivesBackEveryByte) {
    std::string long_line(200'000, 'x');
    long_line += "=\xFF\x00\r\n"sv;
    const std::string texts[] = {"",
                                 "\n",
                                 "\r\n",
                                 "\r",
                                 "a",
                                 "[a",
                                 "\n\n\r\n\r",
                                 "[a]\r\r\nk=v\r\r\n",
                                 "x\r\ry",
                                 "\0\0\n\0"s,
                                 "\x80\xFF=\x81\r",
                                 long_line};
    for (const std::string& text : texts)
        EXPECT_EQ(ProfileDocument(text).text(), text) << text.substr(0, 20);
}

TEST(ProfileDocument, ListsSectionsAndEntriesOnceEachInFileOrder) {
    const ProfileDocument document("k=0\n[b]\ny=1\nx=2\n[a]\n[B]\nY=3\nz=4\n");
    EXPECT_EQ(document.section_names(), (std::vector<std::string_view>{"b", "a"}));
    EXPECT_EQ(document.entry_names("B"), (std::vector<std::string_view>{"y", "x", "z"}));
    EXPECT_TRUE(document.entry_names("a").empty());
    EXPECT_TRUE(document.has_section(" A "));
    EXPECT_FALSE(document.has_section("c"));
}

// Random edits with names that differ only in case, checked after every step
// against a map keyed by the upper-case names, and through a fresh parse of
// the text.
TEST(ProfileDocument, RandomEditsReadBackLikeAMap) {
    std::mt19937 random(7);
    const char* const sections[] = {"alpha", "ALPHA", "Beta", "beta", "g"};
    const char* const entries[] = {"x", "X", "Key", "kEY", "y"};
    auto upper = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return text;
    };
    std::map<std::string, std::map<std::string, std::string>> model;
    ProfileDocument document("; settings\r\n\r\n[beta]\r\nkey = 1\r\n");
    model["BETA"]["KEY"] = "1";
    for (int step = 0; step < 2000; ++step) {
        const std::string section = sections[random() % 5];
        const std::string entry = entries[random() % 5];
        const std::string value = "v" + std::to_string(random() % 4);
        switch (random() % 8) {
        case 0:
            document.remove_section(section);
            model.erase(upper(section));
            break;
        case 1:
        case 2:
            document.remove_entry(section, entry);
            if (auto found = model.find(upper(section)); found != model.end())
                found->second.erase(upper(entry));
            break;
        default:
            ASSERT_NE(document.set_value(section, entry, value), ProfileEdit::Invalid);
            model[upper(section)][upper(entry)] = value;
        }
        const ProfileDocument reparsed(document.text());
        ASSERT_EQ(reparsed.text(), document.text());
        ASSERT_EQ(document.text().find("\r\n\r\n\r\n"), std::string::npos) << "blank lines pile up";
        for (const char* s : sections) {
            for (const char* e : entries) {
                std::optional<std::string_view> expected;
                if (auto found = model.find(upper(s)); found != model.end()) {
                    if (auto value = found->second.find(upper(e)); value != found->second.end())
                        expected = value->second;
                }
                ASSERT_EQ(reparsed.value(s, e), expected) << "step " << step << " [" << s << "] " << e;
            }
        }
    }
    EXPECT_EQ(document.text().rfind("; settings\r\n", 0), 0u) << "the leading comment stays first";
}

} // namespace
} // namespace morvex::platform
