// String stack entries own their text according to their type: references
// own nothing, owned entries a heap copy, automation strings a UTF-16 block
// and variants a StringVariant. Anything else on the stack is corruption.
#include "runtime/string_stack.h"

#include "platform/charset.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace morvex {

namespace {

constexpr std::string_view StringStackError = "String Stack Error";

char* copy_text(const char* text, std::size_t length) {
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy)
        return nullptr;
    if (length > 0)
        std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

std::string variant_text(const StringVariant& variant) {
    switch (variant.kind) {
    case StringVariant::Kind::Integer:
        return std::to_string(variant.integer);
    case StringVariant::Kind::Real: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.15g", variant.real);
        return buffer;
    }
    case StringVariant::Kind::Text:
        return platform::utf16_to_windows1252(variant.text);
    case StringVariant::Kind::Empty:
        break;
    }
    return {};
}

} // namespace

StringStack::~StringStack() {
    while (m_count > 0)
        pop();
}

void StringStack::push(const StringEntry& entry) {
    if (m_count == Capacity) {
        // A full stack drops the push; what the entry owns goes with it.
        StringEntry dropped = entry;
        release(dropped);
        return;
    }
    m_entries[m_count++] = entry;
}

void StringStack::push_reference(const char* text, std::size_t length) {
    StringEntry entry;
    entry.type = StringReference;
    entry.text = text;
    entry.length = static_cast<uint32_t>(length);
    push(entry);
}

void StringStack::push_copy(const char* text, std::size_t length) {
    if (m_count == Capacity)
        return;
    StringEntry entry;
    entry.type = StringOwned;
    entry.text = copy_text(text, length);
    entry.length = entry.text ? static_cast<uint32_t>(length) : 0;
    push(entry);
}

void StringStack::push_c_text(const char* text) {
    push_copy(text ? text : "", text ? std::strlen(text) : 0);
}

void StringStack::push_automation_string(std::u16string_view text) {
    if (m_count == Capacity)
        return;
    auto* copy = new (std::nothrow) char16_t[text.size() + 1];
    StringEntry entry;
    entry.type = AutomationString;
    if (copy) {
        std::copy(text.begin(), text.end(), copy);
        copy[text.size()] = 0;
        entry.text = reinterpret_cast<const char*>(copy);
        entry.length = static_cast<uint32_t>(text.size());
    }
    push(entry);
}

void StringStack::push_variant(StringVariant variant) {
    if (m_count == Capacity)
        return;
    StringEntry entry;
    entry.type = AutomationVariant;
    entry.text = reinterpret_cast<const char*>(new (std::nothrow) StringVariant(std::move(variant)));
    push(entry);
}

void StringStack::push_entry(const StringEntry& entry) {
    push(entry);
}

void StringStack::release(StringEntry& entry) {
    switch (entry.type) {
    case StringReference:
        break;
    case StringOwned:
        delete[] entry.text;
        break;
    case AutomationString:
        delete[] reinterpret_cast<const char16_t*>(entry.text);
        break;
    case AutomationVariant:
        delete reinterpret_cast<const StringVariant*>(entry.text);
        break;
    default:
        FatalError(ErrInternal01, StringStackError);
    }
    entry = StringEntry{};
}

void StringStack::materialize(StringEntry& entry) {
    if (entry.type == StringReference || entry.type == StringOwned)
        return;
    std::string text;
    if (entry.type == AutomationString) {
        if (entry.text)
            text =
                platform::utf16_to_windows1252({reinterpret_cast<const char16_t*>(entry.text), entry.length});
    } else if (entry.type == AutomationVariant) {
        if (entry.text)
            text = variant_text(*reinterpret_cast<const StringVariant*>(entry.text));
    } else {
        FatalError(ErrInternal01, StringStackError);
    }
    release(entry);
    entry.type = StringOwned;
    entry.text = copy_text(text.data(), text.size());
    entry.length = entry.text ? static_cast<uint32_t>(text.size()) : 0;
}

StringEntry& StringStack::top_entry() {
    if (m_count == 0)
        FatalError(ErrInternal01, StringStackError);
    return m_entries[m_count - 1];
}

std::string_view StringStack::top() {
    return peek(0);
}

std::string_view StringStack::peek(std::size_t depth) {
    if (depth >= m_count)
        FatalError(ErrInternal01, StringStackError);
    StringEntry& entry = m_entries[m_count - 1 - depth];
    materialize(entry);
    return {entry.text ? entry.text : "", entry.length};
}

void StringStack::pop() {
    if (m_count == 0)
        return;
    release(m_entries[--m_count]);
}

std::size_t StringStack::take_into(char* buffer, std::size_t size) {
    const std::string_view text = top();
    std::size_t copied = 0;
    if (size > 0) {
        copied = std::min(text.size(), size - 1);
        if (copied > 0)
            std::memcpy(buffer, text.data(), copied);
        buffer[copied] = '\0';
    }
    pop();
    return copied;
}

std::string StringStack::take() {
    std::string text(top());
    pop();
    return text;
}

void StringStack::replace_top(std::string_view text) {
    StringEntry& entry = top_entry();
    char* copy = copy_text(text.data(), text.size());
    release(entry);
    entry.type = StringOwned;
    entry.text = copy;
    entry.length = copy ? static_cast<uint32_t>(text.size()) : 0;
}

void StringStack::narrow_top(std::size_t offset, std::size_t length) {
    const std::string_view text = top();
    offset = std::min(offset, text.size());
    length = std::min(length, text.size() - offset);
    StringEntry& entry = top_entry();
    if (offset == 0 || entry.type == StringReference) {
        // Cutting the end (or moving a reference) keeps the entry's text.
        entry.text += offset;
        entry.length = static_cast<uint32_t>(length);
    } else {
        replace_top(text.substr(offset, length));
    }
}

std::unique_ptr<uint8_t[]> StringStack::save() {
    auto block = std::make_unique<uint8_t[]>(sizeof(uint32_t) + m_count * sizeof(StringEntry));
    const auto count = static_cast<uint32_t>(m_count);
    std::memcpy(block.get(), &count, sizeof count);
    if (m_count > 0)
        std::memcpy(block.get() + sizeof count, m_entries, m_count * sizeof(StringEntry));
    m_count = 0; // the block owns the entries now
    return block;
}

void StringStack::restore(std::unique_ptr<uint8_t[]> block) {
    while (m_count > 0)
        pop();
    if (!block)
        return;
    uint32_t count = 0;
    std::memcpy(&count, block.get(), sizeof count);
    if (count > Capacity)
        FatalError(ErrInternal01, StringStackError);
    if (count > 0)
        std::memcpy(m_entries, block.get() + sizeof count, count * sizeof(StringEntry));
    m_count = count;
}

StringStack& Strings() {
    static StringStack stack;
    return stack;
}

} // namespace morvex
