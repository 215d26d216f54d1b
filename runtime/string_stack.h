// The string stack: the small stack of string values through which string
// arguments and results pass between program code and the runtime. At most
// 32 entries of 32 bytes; a push onto a full stack is dropped. Each thread
// has its own: the thread switcher saves the whole stack into one heap block
// and restores it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace morvex {

enum StringEntryType : uint16_t {
    StringReference = 0,   // text owned elsewhere
    StringOwned = 1,       // a heap copy owned by the entry
    AutomationString = 5,  // a UTF-16 automation string owned by the entry
    AutomationVariant = 10 // an automation variant owned by the entry
};

// Bits 2-4 of the type word: the value is not text yet and is converted
// before a text operation reads it.
constexpr uint16_t StringNeedsConversion = 0x1C;

struct StringEntry {
    uint16_t type = StringReference;
    uint16_t reserved = 0;
    uint32_t length = 0;        // bytes, or UTF-16 units for an automation string
    const char* text = nullptr; // first character (or the owned object)
    uint64_t variant_data[2] = {};
};
static_assert(sizeof(StringEntry) == 32);

// What an automation variant holds; its text form is made on conversion.
struct StringVariant {
    enum class Kind : uint8_t { Empty, Integer, Real, Text } kind = Kind::Empty;
    int64_t integer = 0;
    double real = 0;
    std::u16string text;
};

class StringStack {
public:
    static constexpr std::size_t Capacity = 32;

    StringStack() = default;
    ~StringStack();
    StringStack(const StringStack&) = delete;
    StringStack& operator=(const StringStack&) = delete;

    void push_reference(const char* text, std::size_t length);
    void push_copy(const char* text, std::size_t length);
    void push_copy(std::string_view text) { push_copy(text.data(), text.size()); }
    // A zero-terminated text (nullptr pushes an empty entry).
    void push_c_text(const char* text);
    void push_automation_string(std::u16string_view text);
    void push_variant(StringVariant variant);
    // An entry exactly as given; its type is checked when it is used.
    void push_entry(const StringEntry& entry);

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }

    // The top entry's text, converting an automation value into owned text
    // first. An entry of a type no operation knows ends the program (501).
    std::string_view top();
    // The entry below the top (depth 1) or deeper, converted as top() does.
    std::string_view peek(std::size_t depth);
    StringEntry& top_entry();

    // Takes the top entry off, freeing what it owns.
    void pop();
    // Copies the top entry into `buffer` (at most size - 1 characters and a
    // terminating zero) and takes it off; returns the characters copied.
    std::size_t take_into(char* buffer, std::size_t size);
    std::string take();

    // Replaces the top entry by an owned copy of `text` (which may point into it).
    void replace_top(std::string_view text);
    // Narrows the top entry to part of its own text: in place for a
    // reference or when only the end is cut, else as a new owned copy.
    void narrow_top(std::size_t offset, std::size_t length);

    // The whole stack as one block (the count followed by the entries) for
    // the thread switcher; the stack is empty afterwards. Restoring drops
    // what the stack holds and takes the block's entries over.
    std::unique_ptr<uint8_t[]> save();
    void restore(std::unique_ptr<uint8_t[]> block);

private:
    void push(const StringEntry& entry);
    void release(StringEntry& entry);
    void materialize(StringEntry& entry);

    StringEntry m_entries[Capacity];
    std::size_t m_count = 0;
};

// The current thread's string stack.
StringStack& Strings();

} // namespace morvex
