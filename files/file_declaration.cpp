#include "files/file_declaration.h"

#include "runtime/ascii_case.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <cstring>
#include <utility>

namespace morvex {

namespace {} // namespace

int32_t KeyDeclaration::field_number(int32_t n) const {
    if (n < 1 || n > component_count())
        return 0;
    const int64_t component = components[static_cast<size_t>(n - 1)];
    return static_cast<int32_t>(component < 0 ? -component : component);
}

bool KeyDeclaration::descending(int32_t n) const {
    return n >= 1 && n <= component_count() && components[static_cast<size_t>(n - 1)] < 0;
}

FileDeclaration::FileDeclaration(FileSpec given)
    : driver(given.driver), label(std::move(given.label)), attributes(given.attributes),
      record_length(given.record.record_size()), record(std::move(given.record)),
      memos(std::move(given.memos)), options(std::move(given.options)) {
    keys.reserve(given.keys.size());
    for (KeyDeclaration& key : given.keys) {
        auto made = std::make_unique<KeyDeclaration>(std::move(key));
        made->file = this;
        keys.push_back(std::move(made));
    }
    prepare(m_static, static_cast<uint8_t*>(given.record_buffer));
}

void FileDeclaration::prepare(FileInstance& instance, uint8_t* declared_buffer) {
    if (declared_buffer) {
        instance.record = declared_buffer;
    } else {
        instance.own_record.assign(record_length, 0);
        instance.record = instance.own_record.data();
        ClearRecord(record, instance.record);
    }
    instance.memos.resize(memos.size());
    for (size_t i = 0; i < memos.size(); ++i)
        instance.memos[i].assign(memos[i].size, 0);
}

KeyDeclaration* FileDeclaration::key(int32_t n) const {
    if (n < 1 || n > static_cast<int32_t>(keys.size()))
        return nullptr;
    return keys[static_cast<size_t>(n - 1)].get();
}

KeyDeclaration* FileDeclaration::find_key(std::string_view wanted) const {
    for (const auto& key : keys) {
        if (EqualsIgnoringAsciiCase(key->label, wanted))
            return key.get();
    }
    return nullptr;
}

int32_t FileDeclaration::find_field(std::string_view wanted) const {
    for (int32_t n = 1; n <= record.field_count(); ++n) {
        if (EqualsIgnoringAsciiCase(record.field(n).label, wanted))
            return n;
    }
    return 0;
}

FileInstance& FileDeclaration::current() {
    return threaded() ? instance_for(CurrentThreadSlot()) : m_static;
}

FileInstance& FileDeclaration::instance_for(int slot) {
    // Slot 0, the program's first thread, works on the declared buffer itself.
    if (!threaded() || slot <= 0 || slot >= MaxThreadSlots)
        return m_static;
    std::unique_ptr<FileInstance>& instance = m_threads[static_cast<size_t>(slot)];
    if (!instance) {
        instance = std::make_unique<FileInstance>();
        prepare(*instance, nullptr);
    }
    return *instance;
}

void FileDeclaration::clear_record() {
    ClearRecord(record, buffer());
}

int32_t FileDeclaration::validate() const {
    if (!record.valid() || keys.size() > 255 || memos.size() > 255)
        return ErrInvalidRecordDeclaration;
    for (const auto& key : keys) {
        if (key->components.empty())
            return ErrInvalidRecordDeclaration;
        for (int32_t component : key->components) {
            if (component == 0 || component > record.field_count() || component < -record.field_count())
                return ErrInvalidRecordDeclaration;
        }
    }
    return 0;
}

void ClearRecord(const RecordDescription& description, uint8_t* record) {
    if (description.record_size() == 0)
        return;
    std::memset(record, 0, description.record_size());
    for (const FieldDescription& field : description.fields()) {
        if (field.type == FieldType::String && field.offset + field.total_size() <= description.record_size())
            std::memset(record + field.offset, ' ', field.total_size());
    }
}

} // namespace morvex
