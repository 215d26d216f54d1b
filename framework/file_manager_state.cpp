// FileManager: record buffer snapshots (the record and its memos), saved
// file states (snapshot, reading order, position, hold and watch), positions
// and the key components that position at a prefix's start or end.
#include "files/file_statements.h"
#include "framework/file_manager.h"
#include "framework/record_fields.h"
#include "runtime/error_state.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace morvex {

namespace {

int32_t file_property(FileDeclaration& file, int32_t property) {
    const std::string text = FileProperty(file, property);
    int32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return ErrorCode() == 0 ? value : 0;
}

std::vector<SavedBufferRecord>::iterator find_buffer(std::vector<SavedBufferRecord>& buffers, int32_t id) {
    return std::find_if(buffers.begin(), buffers.end(),
                        [id](const SavedBufferRecord& r) { return r.ID == id; });
}

} // namespace

uint16_t FileManager::SaveBuffer() {
    const int32_t id = BUFFERS->empty() ? 1 : BUFFERS->back().ID + 1;
    const uint8_t* data = record();
    BUFFERS->push_back(SavedBufferRecord{id, std::vector<uint8_t>(data, data + BUFFER.size)});
    int32_t next = id;
    for (const std::vector<uint8_t>& memo : FILE->current().memos)
        BUFFERS->push_back(SavedBufferRecord{++next, memo});
    return static_cast<uint16_t>(id);
}

void FileManager::RestoreBuffer(uint16_t& id, bool restore) {
    // Id 0 names no snapshot (one already given back, or none taken): nothing
    // is copied, so a stray call cannot overwrite the record with another
    // snapshot.
    if (id == 0 || !BUFFERS) {
        id = 0;
        return;
    }
    auto at = find_buffer(*BUFFERS, id);
    if (at == BUFFERS->end()) {
        id = 0;
        return;
    }
    std::vector<std::vector<uint8_t>>& memos = FILE->current().memos;
    if (restore)
        std::copy_n(at->BUFFER.begin(), std::min<std::size_t>(at->BUFFER.size(), BUFFER.size), record());
    auto end = at + 1;
    for (std::size_t m = 0; m < memos.size() && end != BUFFERS->end() && end->ID == id + 1 + int32_t(m);
         ++m, ++end) {
        if (restore)
            memos[m] = end->BUFFER;
    }
    BUFFERS->erase(at, end);
    id = 0;
}

bool FileManager::EqualBuffer(uint16_t id) {
    if (UseFile(2) != Level::Benign)
        return false;
    auto at = find_buffer(*BUFFERS, id);
    if (id == 0 || at == BUFFERS->end())
        return false;
    if (at->BUFFER.size() != BUFFER.size || std::memcmp(at->BUFFER.data(), record(), BUFFER.size) != 0)
        return false;
    const std::vector<std::vector<uint8_t>>& memos = FILE->current().memos;
    for (std::size_t m = 0; m < memos.size(); ++m) {
        ++at;
        if (at == BUFFERS->end() || at->ID != id + 1 + int32_t(m) || at->BUFFER != memos[m])
            return false;
    }
    return true;
}

uint16_t FileManager::SaveFile() {
    GetInfo();
    SavedFileRecord saved;
    saved.ID = SAVED->empty() ? 1 : static_cast<uint16_t>(SAVED->back().ID + 1);
    saved.BUFFER = SaveBuffer();
    saved.AUTOINCDONE = info().AUTOINCDONE;
    if (info().USED) {
        const int32_t order = file_property(*FILE, FilePropertyOrder);
        KeyDeclaration* key = order > 0 ? FILE->key(order) : nullptr;
        saved.KEY = key ? static_cast<uint8_t>(order) : 0;
        saved.POS = key ? POSITION(*key) : POSITION(*FILE);
        saved.RECORD = static_cast<uint32_t>(file_property(*FILE, FilePropertyRecord));
        saved.WHELD = static_cast<uint8_t>(file_property(*FILE, FilePropertyHeld));
        saved.WWATCH = static_cast<uint8_t>(file_property(*FILE, FilePropertyWatched));
    }
    SAVED->push_back(std::move(saved));
    return SAVED->back().ID;
}

void FileManager::RestoreFile(uint16_t& id, bool restore) {
    UseFile(2);
    auto at =
        std::find_if(SAVED->begin(), SAVED->end(), [id](const SavedFileRecord& r) { return r.ID == id; });
    if (id == 0 || at == SAVED->end()) {
        id = 0;
        return;
    }
    SavedFileRecord saved = std::move(*at);
    SAVED->erase(at);
    if (restore && info().USED && !saved.POS.empty()) {
        KeyDeclaration* key = saved.KEY ? FILE->key(saved.KEY) : nullptr;
        const auto reset = [&] {
            if (key)
                RESET(*key, saved.POS);
            else
                RESET(*FILE, saved.POS);
        };
        reset();
        if (saved.RECORD != 0) {
            if (saved.WHELD)
                HOLD(*FILE);
            if (saved.WWATCH)
                WATCH(*FILE);
            NEXT(*FILE);
            // Another record at the position (the saved one is gone): none is
            // left current, so that a write meant for the saved record cannot
            // land on another one.
            if (file_property(*FILE, FilePropertyRecord) != static_cast<int32_t>(saved.RECORD)) {
                GET(*FILE, 0);
                reset();
            }
        }
    }
    RestoreBuffer(saved.BUFFER, restore);
    if (restore)
        info().AUTOINCDONE = saved.AUTOINCDONE;
    id = 0;
}

std::string FileManager::Position() {
    if (UseFile(2) != Level::Benign)
        return {};
    if (KeyDeclaration* key = primary_key())
        return POSITION(*key);
    return POSITION(*FILE);
}

int FileManager::TryReget(std::string_view position) {
    if (UseFile(2) != Level::Benign)
        return Level::Fatal;
    if (KeyDeclaration* key = primary_key())
        REGET(*key, position);
    else
        REGET(*FILE, position);
    return ErrorCode() != 0 ? Level::Notify : Level::Benign;
}

void FileManager::SetKeyComponents(const KeyDeclaration& key, int32_t first, int32_t last, bool high) {
    const FileKeyRecord* k = key_record(key);
    if (!k)
        return;
    last = std::min(last, static_cast<int32_t>(k->FIELDS->size()));
    for (int32_t n = std::max(first, 1); n <= last; ++n) {
        const KeyComponentRecord& c = (*k->FIELDS)[n - 1];
        SetFieldExtreme(FILE->record.field(c.FIELD), record(), high == (c.ASCEND != 0));
    }
}

} // namespace morvex
