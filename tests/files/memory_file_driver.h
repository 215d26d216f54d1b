// A file driver that keeps files in memory, for testing code that works
// through the driver interface: OPEN, CREATE, CLOSE, SET by file or key, NEXT,
// ADD (unique keys checked), RECORDS, and LOGOUT/COMMIT (records added in a
// transaction are seen only after the COMMIT). Keys order by field
// comparison; NOCASE is not honoured.
#pragma once

#include "files/driver.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/field_compare.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace morvex::testing {

struct MemoryDisk {
    std::map<std::string, std::vector<std::vector<uint8_t>>> files;
    // The values taken in each unique key ("file|key label" -> component bytes).
    std::map<std::string, std::set<std::string>> unique_values;
    static MemoryDisk& Get() {
        static MemoryDisk disk;
        return disk;
    }
};

class MemoryFileDriver : public FileDriver {
    struct State : DriverInstance {
        std::vector<std::vector<uint8_t>>* records = nullptr;
        bool logged_out = false;
        std::vector<std::vector<uint8_t>> staged;
        std::vector<std::size_t> order;
        std::size_t next = 0;
    };

    static State* state(DriverCall& call) {
        auto* state = static_cast<State*>(call.instance.driver_data.get());
        if (!state || !state->records) {
            SetError(ErrFileNotOpen);
            return nullptr;
        }
        return state;
    }

    static int compare(const FileDeclaration& file, const KeyDeclaration& key, const uint8_t* a,
                       const uint8_t* b) {
        for (int32_t n = 1; n <= key.component_count(); ++n) {
            const int order = CompareField(file.record.field(key.field_number(n)), a, b);
            if (order != 0)
                return key.descending(n) ? -order : order;
        }
        return 0;
    }

protected:
    int32_t Open(DriverCall& call, int32_t) override {
        auto found = MemoryDisk::Get().files.find(call.file.disk_name());
        if (found == MemoryDisk::Get().files.end()) {
            SetError(ErrFileNotFound);
            return 0;
        }
        auto made = std::make_unique<State>();
        made->records = &found->second;
        call.instance.driver_data = std::move(made);
        return 0;
    }
    int32_t Create(DriverCall& call) override {
        MemoryDisk& disk = MemoryDisk::Get();
        disk.files[call.file.disk_name()].clear();
        std::erase_if(disk.unique_values, [&](const auto& entry) {
            return entry.first.starts_with(call.file.disk_name() + "|");
        });
        return 0;
    }
    int32_t Close(DriverCall& call) override {
        call.instance.driver_data.reset();
        return 0;
    }
    int32_t SetFile(DriverCall& call) override {
        if (State* s = state(call)) {
            s->order.resize(s->records->size());
            std::iota(s->order.begin(), s->order.end(), 0);
            s->next = 0;
        }
        return 0;
    }
    int32_t SetKey(DriverCall& call, KeyDeclaration& key) override {
        if (State* s = state(call)) {
            SetFile(call);
            std::stable_sort(s->order.begin(), s->order.end(), [&](std::size_t a, std::size_t b) {
                return compare(call.file, key, (*s->records)[a].data(), (*s->records)[b].data()) < 0;
            });
        }
        return 0;
    }
    int32_t Next(DriverCall& call) override {
        if (State* s = state(call)) {
            if (s->next >= s->order.size()) {
                SetError(ErrRecordNotAvailable);
                return 0;
            }
            const std::vector<uint8_t>& record = (*s->records)[s->order[s->next++]];
            std::copy(record.begin(), record.end(), call.record());
        }
        return 0;
    }
    int32_t Add(DriverCall& call) override {
        State* s = state(call);
        if (!s)
            return 0;
        // Unique keys compare the components' bytes (no NOCASE, as said above).
        std::vector<std::pair<std::set<std::string>*, std::string>> taken;
        for (const auto& key : call.file.keys) {
            if (key->allows_duplicates())
                continue;
            std::string value;
            for (int32_t n = 1; n <= key->component_count(); ++n) {
                const FieldDescription& field = call.file.record.field(key->field_number(n));
                value.append(reinterpret_cast<const char*>(call.record() + field.offset), field.total_size());
            }
            auto& values = MemoryDisk::Get().unique_values[call.file.disk_name() + "|" + key->label];
            if (values.count(value)) {
                SetError(ErrCreatesDuplicateKey, key->label); // as the QVD driver names the key
                return 0;
            }
            taken.emplace_back(&values, std::move(value));
        }
        for (auto& [values, value] : taken)
            values->insert(std::move(value));
        (s->logged_out ? s->staged : *s->records)
            .emplace_back(call.record(), call.record() + call.file.record_length);
        return 0;
    }
    int32_t Logout(DriverCall& call, int32_t) override {
        if (State* s = state(call))
            s->logged_out = true;
        return 0;
    }
    int32_t Commit(DriverCall& call) override {
        if (State* s = state(call)) {
            s->records->insert(s->records->end(), s->staged.begin(), s->staged.end());
            s->staged.clear();
            s->logged_out = false;
        }
        return 0;
    }
    int32_t Rollback(DriverCall& call) override {
        if (State* s = state(call)) {
            s->staged.clear();
            s->logged_out = false;
        }
        return 0;
    }
    int32_t Records(DriverCall& call, KeyDeclaration*) override {
        State* s = state(call);
        return s ? static_cast<int32_t>(s->records->size()) : 0;
    }
};

} // namespace morvex::testing
