// IniManager: the program's settings in one INI file. Single values by
// section and key, and whole lists (queues of up to three text fields)
// stored as a counted series of keys: N = count, N_1 .. N_n = the entries,
// fields joined by commas. It also keeps a registry of the sections lists
// were written to ("sectors": family, item, type), stored as such a list in
// the section "__Dont_Touch_Me__" under "Sectors".
#pragma once

#include "runtime/fixed_text.h"
#include "runtime/queue.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morvex {

// A text field of a queue's record buffer that a stored list reads or writes:
// fixed-length blank-padded text, or zero-terminated text.
struct IniField {
    char* data = nullptr;
    std::size_t size = 0;
    bool zero_terminated = false;

    template <std::size_t N>
    static IniField Of(FixedText<N>& text) {
        return IniField{text.bytes, N, false};
    }
    template <std::size_t N>
    static IniField Of(char (&text)[N]) {
        return IniField{text, N, true};
    }

    std::string_view text() const;
    void assign(std::string_view value) const;
};

// One record of the sector registry (three CSTRING(100) fields).
struct SectorRecord {
    char FAMILY[100] = {};
    char ITEM[100] = {};
    char TYPE[100] = {};
};

class IniManager {
public:
    static constexpr std::string_view RegistrySection = "__Dont_Touch_Me__";
    static constexpr std::string_view RegistryName = "Sectors";
    static constexpr std::string_view Unknown = "---Unknown---";

    IniManager() = default;
    virtual ~IniManager();
    IniManager(const IniManager&) = delete;
    IniManager& operator=(const IniManager&) = delete;

    // Called by Init after the registry queue exists, before it is read.
    virtual void PrepareFile() {}
    // Called at program shutdown just before Kill.
    virtual void Flush() {}

    void Init(std::string_view file_name);
    void Kill();

    void Update(std::string_view section, std::string_view key, std::string_view value);
    // The value, or "---Unknown---"; at most 1000 characters.
    std::string TryFetch(std::string_view section, std::string_view key);
    // The n-th comma-separated field of TryFetch(section, key); empty for a
    // field beyond those present.
    std::string FetchField(std::string_view section, std::string_view key, int n);

    // Appends the stored list to the queue (which is not emptied first).
    void FetchQueue(std::string_view section, std::string_view name, Queue& queue, const IniField& first,
                    const std::optional<IniField>& second = std::nullopt,
                    const std::optional<IniField>& third = std::nullopt);
    void UpdateQueue(std::string_view section, std::string_view name, Queue& queue, const IniField& first,
                     const std::optional<IniField>& second = std::nullopt,
                     const std::optional<IniField>& third = std::nullopt);

    static std::string SectorName(std::string_view family, std::string_view item, std::string_view type);
    // Registers family, item and type of a sector name unless already there.
    void AddSector(std::string_view sector);
    // Empties `target` and appends every registry record that matches each
    // non-blank argument exactly, in registry order. `target` must have the
    // sector record layout, with `target_buffer` as its buffer.
    void GetSectors(std::string_view family, std::string_view item, std::string_view type, Queue& target,
                    SectorRecord& target_buffer);

    static RecordDescription SectorDescription();

    std::string FILENAME;
    SectorRecord SectorBuffer;
    std::unique_ptr<Queue> SECTORS;
};

} // namespace morvex
