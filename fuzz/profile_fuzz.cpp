// Fuzzes the profile text: parses arbitrary bytes, applies one set or removal,
// and checks that the change reads back, that nothing else changed, and that
// serialising and parsing again is stable.
//
// Input: one byte choosing the edit, three bytes giving the lengths of the
// section name, the entry name and the value, those three texts, and then the
// profile text itself.
#include "platform/profile_document.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

using morvex::platform::ProfileDocument;
using morvex::platform::ProfileEdit;

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::string_view take(std::string_view& input, size_t size) {
    size = std::min(size, input.size());
    const std::string_view part = input.substr(0, size);
    input.remove_prefix(size);
    return part;
}

enum class Op { Set, RemoveEntry, RemoveSection };

ProfileEdit apply(ProfileDocument& document, Op op, std::string_view section, std::string_view entry,
                  std::string_view value) {
    switch (op) {
    case Op::Set:
        return document.set_value(section, entry, value);
    case Op::RemoveEntry:
        return document.remove_entry(section, entry);
    case Op::RemoveSection:
        break;
    }
    return document.remove_section(section);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const uint8_t choice = data[0];
    const Op op = choice % 4 == 1 ? Op::RemoveEntry : choice % 4 == 2 ? Op::RemoveSection : Op::Set;
    const size_t section_size = data[1] % 32, entry_size = data[2] % 32, value_size = data[3] % 64;
    input.remove_prefix(4);
    const std::string_view section = take(input, section_size);
    const std::string_view entry = take(input, entry_size);
    const std::string_view value = take(input, value_size);
    const std::string_view text = input;

    ProfileDocument document(text);
    check(document.text() == text);

    // What the document holds before the edit, for a bounded number of entries.
    std::vector<std::tuple<std::string, std::string, std::string>> before;
    const std::vector<std::string_view> sections = document.section_names();
    for (std::string_view name : sections) {
        check(document.has_section(name));
        for (std::string_view entry_name : document.entry_names(name)) {
            const std::optional<std::string_view> found = document.value(name, entry_name);
            check(found.has_value());
            if (before.size() < 64)
                before.emplace_back(name, entry_name, *found);
        }
    }
    const bool had_section = document.has_section(section);
    (void)document.value(section, entry);
    (void)document.value("", "");

    const ProfileEdit edit = apply(document, op, section, entry, value);
    const std::string edited = document.text();
    check((edit == ProfileEdit::Unchanged || edit == ProfileEdit::Invalid) == (edited == text));
    check((edit == ProfileEdit::Invalid) ==
          (op == Op::Set && !ProfileDocument::can_store(section, entry, value)));

    const ProfileDocument reparsed(edited);
    check(reparsed.text() == edited);
    if (edit != ProfileEdit::Invalid) {
        switch (op) {
        case Op::Set:
            check(reparsed.value(section, entry) == trim(value));
            break;
        case Op::RemoveEntry:
            check(!reparsed.value(section, entry).has_value());
            check(reparsed.has_section(section) == had_section);
            break;
        case Op::RemoveSection:
            check(!reparsed.has_section(section));
            check(!reparsed.value(section, entry).has_value());
            break;
        }
    }
    for (const auto& [name, entry_name, old_value] : before) {
        const bool same_section = ProfileDocument::same_name(name, section);
        const bool target =
            same_section && (op == Op::RemoveSection || ProfileDocument::same_name(entry_name, entry));
        if (edit == ProfileEdit::Invalid || !target)
            check(reparsed.value(name, entry_name) == std::string_view(old_value));
        if (!(op == Op::RemoveSection && same_section))
            check(reparsed.has_section(name));
    }

    // The same edit again finds nothing left to do.
    ProfileDocument again(edited);
    const ProfileEdit repeated = apply(again, op, section, entry, value);
    check(repeated == (edit == ProfileEdit::Invalid ? ProfileEdit::Invalid : ProfileEdit::Unchanged));
    check(again.text() == edited);
    return 0;
}
