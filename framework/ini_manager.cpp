// Lists are written entry by entry through PUTINI; a longer earlier list's
// extra keys stay in the file, since the count key decides how many are read.
#include "framework/ini_manager.h"

#include "runtime/error_state.h"
#include "runtime/ini_access.h"
#include "runtime/leading_integer.h"
#include "runtime/string_ops.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace morvex {

namespace {

constexpr std::size_t FileNameLimit = 259;
constexpr std::size_t FetchLimit = 1000;
constexpr std::size_t EntryBuffer = 5000;
constexpr std::size_t SectorFieldLimit = 99;

std::string_view zero_terminated(const char* text, std::size_t size) {
    const void* end = std::memchr(text, 0, size);
    return {text, end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : size};
}

void assign_zero_terminated(char* field, std::size_t size, std::string_view value) {
    const std::size_t length = std::min(value.size(), size - 1);
    if (length > 0)
        std::memcpy(field, value.data(), length);
    std::memset(field + length, 0, size - length);
}

// A count key read as a number: leading digits, 0 without any ("---Unknown---").
int32_t leading_number(std::string_view text) {
    return static_cast<int32_t>(ReadLeadingInteger(text, {.limit = INT32_MAX, .sign = false}).value);
}

std::string list_key(std::string_view name, int32_t index) {
    return std::string(name) + "_" + std::to_string(index);
}

} // namespace

std::string_view IniField::text() const {
    return zero_terminated ? morvex::zero_terminated(data, size) : CLIP(std::string_view(data, size));
}

void IniField::assign(std::string_view value) const {
    if (zero_terminated) {
        assign_zero_terminated(data, size, value);
        return;
    }
    const std::size_t length = std::min(value.size(), size);
    if (length > 0)
        std::memcpy(data, value.data(), length);
    std::memset(data + length, ' ', size - length);
}

IniManager::~IniManager() = default;

RecordDescription IniManager::SectorDescription() {
    return RecordDescription(
        sizeof(SectorRecord),
        {FieldDescription::Sized(FieldType::CString, "SECTOR:FAMILY", offsetof(SectorRecord, FAMILY), 100),
         FieldDescription::Sized(FieldType::CString, "SECTOR:ITEM", offsetof(SectorRecord, ITEM), 100),
         FieldDescription::Sized(FieldType::CString, "SECTOR:TYPE", offsetof(SectorRecord, TYPE), 100)});
}

void IniManager::Init(std::string_view file_name) {
    FILENAME = std::string(file_name.substr(0, FileNameLimit));
    SECTORS = std::make_unique<Queue>(SectorDescription(), &SectorBuffer);
    PrepareFile();
    FetchQueue(RegistrySection, RegistryName, *SECTORS, IniField::Of(SectorBuffer.FAMILY),
               IniField::Of(SectorBuffer.ITEM), IniField::Of(SectorBuffer.TYPE));
}

void IniManager::Kill() {
    if (!SECTORS)
        return;
    UpdateQueue(RegistrySection, RegistryName, *SECTORS, IniField::Of(SectorBuffer.FAMILY),
                IniField::Of(SectorBuffer.ITEM), IniField::Of(SectorBuffer.TYPE));
    SECTORS.reset();
}

void IniManager::Update(std::string_view section, std::string_view key, std::string_view value) {
    PUTINI(section, key, value, FILENAME);
}

std::string IniManager::TryFetch(std::string_view section, std::string_view key) {
    std::string value = GETINI(section, key, Unknown, FILENAME);
    if (value.size() > FetchLimit)
        value.resize(FetchLimit);
    return value;
}

std::string IniManager::FetchField(std::string_view section, std::string_view key, int n) {
    const std::string value = TryFetch(section, key);
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        const std::size_t comma = value.find(',', start);
        if (comma == std::string::npos)
            return {}; // fewer fields than asked for
        start = comma + 1;
    }
    const std::size_t end = value.find(',', start);
    return value.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void IniManager::FetchQueue(std::string_view section, std::string_view name, Queue& queue,
                            const IniField& first, const std::optional<IniField>& second,
                            const std::optional<IniField>& third) {
    const int32_t count = leading_number(TryFetch(section, name));
    const int last = third ? 3 : second ? 2 : 1;
    for (int32_t i = 1; i <= count; ++i) {
        const std::string key = list_key(name, i);
        // The last field takes the rest of the entry: a comma inside it was
        // written as part of it, and would otherwise cut it short.
        const auto field = [&](int n) {
            if (n < last)
                return FetchField(section, key, n);
            const std::string entry = TryFetch(section, key);
            std::size_t start = 0;
            for (int k = 1; k < n && start != std::string::npos; ++k) {
                start = entry.find(',', start);
                if (start != std::string::npos)
                    ++start;
            }
            return start == std::string::npos ? std::string() : entry.substr(start);
        };
        first.assign(field(1));
        if (second)
            second->assign(field(2));
        if (third)
            third->assign(field(3));
        queue.Add();
    }
}

void IniManager::UpdateQueue(std::string_view section, std::string_view name, Queue& queue,
                             const IniField& first, const std::optional<IniField>& second,
                             const std::optional<IniField>& third) {
    const int32_t count = queue.Records();
    Update(section, name, std::to_string(count));
    for (int32_t i = 1; i <= count; ++i) {
        queue.Get(i);
        // Each field without its trailing blanks, so that fixed-length text
        // reads back as it was.
        std::string value(first.text());
        if (second)
            value.append(",").append(second->text());
        if (third)
            value.append(",").append(third->text());
        if (value.size() > EntryBuffer)
            value.resize(EntryBuffer);
        Update(section, list_key(name, i), value);
    }
}

std::string IniManager::SectorName(std::string_view family, std::string_view item, std::string_view type) {
    return std::string(family) + "$" + std::string(item) + "$$" + std::string(type);
}

void IniManager::AddSector(std::string_view sector) {
    if (!SECTORS)
        return;
    const std::size_t dollar = sector.find('$');
    const std::size_t double_dollar = sector.find("$$");
    const std::string_view family = sector.substr(0, dollar);
    const std::string_view item =
        dollar == std::string_view::npos
            ? std::string_view()
            : sector.substr(dollar + 1, double_dollar == std::string_view::npos || double_dollar < dollar + 1
                                            ? std::string_view::npos
                                            : double_dollar - dollar - 1);
    const std::string_view type =
        double_dollar == std::string_view::npos ? std::string_view() : sector.substr(double_dollar + 2);
    assign_zero_terminated(SectorBuffer.FAMILY, sizeof SectorBuffer.FAMILY,
                           family.substr(0, SectorFieldLimit));
    assign_zero_terminated(SectorBuffer.ITEM, sizeof SectorBuffer.ITEM, item.substr(0, SectorFieldLimit));
    assign_zero_terminated(SectorBuffer.TYPE, sizeof SectorBuffer.TYPE, type.substr(0, SectorFieldLimit));
    const QueueKey key{1, 2, 3};
    const SectorRecord wanted = SectorBuffer;
    SECTORS->Get(key);
    if (ErrorCode() == 0)
        return; // registered already
    SectorBuffer = wanted;
    SECTORS->Add(key);
}

void IniManager::GetSectors(std::string_view family, std::string_view item, std::string_view type,
                            Queue& target, SectorRecord& target_buffer) {
    target.Free();
    if (!SECTORS)
        return;
    auto matches = [](std::string_view wanted, const char* field) {
        return CLIP(wanted).empty() || CLIP(wanted) == zero_terminated(field, 100);
    };
    for (int32_t i = 1; i <= SECTORS->Records(); ++i) {
        SECTORS->Get(i);
        if (matches(family, SectorBuffer.FAMILY) && matches(item, SectorBuffer.ITEM) &&
            matches(type, SectorBuffer.TYPE)) {
            target_buffer = SectorBuffer;
            target.Add();
        }
    }
}

} // namespace morvex
