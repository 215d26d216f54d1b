// Queues: in-memory lists of records of one layout, copied to and from the
// program's record buffer, reached by 1-based position in the current order
// or by key.
//
// Order 1 is insertion order and always exists; up to 15 keyed orders are
// built on demand and kept most recently used first, so switching back to a
// key already built costs nothing. Every operation clears the runtime error
// state first and reports failure through it (30, 7, 8, 75), leaving the
// queue unchanged.
#pragma once

#include "runtime/record_description.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>

namespace morvex {

// A key: up to 16 field numbers (1 = first field), negative for descending.
// A 0 ends the list early, as in the program's key lists.
class QueueKey {
public:
    static constexpr std::size_t MaxParts = 16;

    QueueKey() = default;
    QueueKey(std::initializer_list<int32_t> fields);
    explicit QueueKey(std::span<const int32_t> fields);

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    int32_t operator[](std::size_t i) const { return m_fields[i]; }
    bool operator==(const QueueKey& other) const;

private:
    std::array<int32_t, MaxParts> m_fields{};
    std::size_t m_count = 0;
};

class Queue {
public:
    static constexpr std::size_t MaxOrders = 16;

    // `buffer` is the program's record of the layout `description` describes;
    // the queue copies between it and its records and never owns it.
    Queue(RecordDescription description, void* buffer);
    ~Queue();
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    // NEW: builds the control block (operations also build it on first use).
    void New();
    // DISPOSE: frees everything; later operations report 7 until New().
    void Dispose();

    int32_t Records();
    // Position in the current order of the record last read or written; 0 if none.
    int32_t Pointer();
    uint32_t Changes();

    // GET by position: record n of the current order into the buffer.
    void Get(int32_t position);
    // GET by key: a record whose key fields equal the buffer's.
    void Get(const QueueKey& key);
    // ADD: the buffer at the end of the current order.
    void Add();
    // ADD at position: the buffer as record n of the current order (a
    // position below 1 means 1, one beyond the end means the end).
    void Add(int32_t position);
    // ADD by key: the buffer in its sorted place in the key's order.
    void Add(const QueueKey& key);
    // PUT: the buffer replaces the record at Pointer().
    void Put();
    // DELETE: removes the record at Pointer().
    void Delete();
    // FREE: removes all records and all keyed orders.
    void Free();
    // SORT: makes the key's order current, building it if needed. An empty
    // key makes insertion order current again.
    void Sort(const QueueKey& key);

    // For controls that show the queue (lists, drop-down lists, spin boxes):
    // the number of records, the record at `position` of the current order
    // read in place, and the change stamp. None touches the buffer, the
    // pointer or the error state, so drawing never disturbs the program;
    // nullptr when there is no such record.
    int32_t Count() const;
    const uint8_t* Peek(int32_t position) const;
    uint32_t ChangeStamp() const;

    // Introspection for tests, list boxes and benchmarks.
    bool HasOrder(const QueueKey& key) const;
    std::size_t OrderCount() const;
    std::size_t MemoryUsage() const;

    const RecordDescription& description() const { return m_description; }

private:
    struct ControlBlock;

    ControlBlock* prepare();

    RecordDescription m_description;
    uint8_t* m_buffer;
    std::unique_ptr<ControlBlock> m_block;
    bool m_disposed = false;
};

} // namespace morvex
