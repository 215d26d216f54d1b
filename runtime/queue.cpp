// Queue control block: a slab store of records and up to 16 orders, each an
// array of record addresses. Every modifying operation reserves all the
// memory it may need before it changes anything, so running out of memory
// reports error 8 and leaves the queue as it was.
#include "runtime/queue.h"

#include "runtime/date.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/record_key.h"
#include "runtime/record_store.h"
#include "runtime/reserve.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace morvex {

namespace {

constexpr uint32_t ChangeStampFactor = 25'781'083;

struct Order {
    QueueKey key; // empty for insertion order
    RecordKey comparison;
    std::vector<uint8_t*> records;
    // False once a plain ADD or an ADD at a position put a record out of the
    // key's order; the order is sorted again when its key is next chosen.
    bool in_key_order = true;

    bool keyed() const { return !key.empty(); }

    auto less() const {
        return [this](const uint8_t* a, const uint8_t* b) { return comparison.compare(a, b) < 0; };
    }

    // Index of the first record that sorts after `record`: equal keys keep
    // the order in which they arrived.
    std::size_t sorted_place(const uint8_t* record) const {
        auto place = std::upper_bound(records.begin(), records.end(), record, less());
        return static_cast<std::size_t>(place - records.begin());
    }

    // Index of `record` in this order.
    std::size_t locate(const uint8_t* record) const {
        if (keyed() && in_key_order) {
            auto [first, last] = std::equal_range(records.begin(), records.end(), record, less());
            auto found = std::find(first, last, record);
            if (found != last)
                return static_cast<std::size_t>(found - records.begin());
        }
        return static_cast<std::size_t>(std::find(records.begin(), records.end(), record) - records.begin());
    }

    void sort() {
        comparison.sort(records);
        in_key_order = true;
    }

    // Whether `record` at `index` keeps the key's order with its neighbours.
    bool fits_at(std::size_t index, const uint8_t* record) const {
        if (index > 0 && comparison.compare(records[index - 1], record) > 0)
            return false;
        return index >= records.size() || comparison.compare(record, records[index]) <= 0;
    }
};

} // namespace

QueueKey::QueueKey(std::initializer_list<int32_t> fields) : QueueKey(std::span<const int32_t>(fields)) {}

QueueKey::QueueKey(std::span<const int32_t> fields) {
    for (int32_t field : fields) {
        if (field == 0 || m_count == MaxParts)
            break;
        m_fields[m_count++] = field;
    }
}

bool QueueKey::operator==(const QueueKey& other) const {
    return m_count == other.m_count &&
           std::equal(m_fields.begin(), m_fields.begin() + m_count, other.m_fields.begin());
}

struct Queue::ControlBlock {
    RecordStore store;
    // Most recently used first; the front is the current order.
    std::vector<std::unique_ptr<Order>> orders;
    Order* insertion = nullptr;
    uint8_t* current_record = nullptr;
    std::size_t position_hint = 0; // 1-based position of current_record in the current order, 0 unknown
    uint32_t changes = 0;

    explicit ControlBlock(uint32_t record_size) : store(record_size) {
        orders.reserve(MaxOrders);
        orders.push_back(std::make_unique<Order>());
        insertion = orders.front().get();
        changes = static_cast<uint32_t>(CLOCK()) * ChangeStampFactor;
    }

    Order& current() { return *orders.front(); }

    void make_current(std::size_t index) {
        std::rotate(orders.begin(), orders.begin() + static_cast<std::ptrdiff_t>(index),
                    orders.begin() + static_cast<std::ptrdiff_t>(index) + 1);
        position_hint = 0;
    }

    std::size_t pointer() {
        if (!current_record)
            return 0;
        Order& order = current();
        if (position_hint == 0 || position_hint > order.records.size() ||
            order.records[position_hint - 1] != current_record)
            position_hint = order.locate(current_record) + 1;
        return position_hint;
    }

    void remember(uint8_t* record, std::size_t position) {
        current_record = record;
        position_hint = position;
    }

    // Makes room in every order and in the store for one more record.
    void reserve_for_insert() {
        for (auto& order : orders)
            reserve_one_more(order->records);
        store.reserve_one();
    }

    enum class Placement { End, Position, Sorted };

    // Inserts a stored record into every order: into the current one as
    // `placement` says, into other keyed orders in their sorted place and into
    // insertion order at its end. Capacity is reserved, so nothing throws.
    void insert(uint8_t* record, Placement placement, std::size_t position) {
        for (auto& order_ptr : orders) {
            Order& order = *order_ptr;
            std::size_t index;
            if (&order == &current()) {
                if (placement == Placement::Sorted)
                    index = order.sorted_place(record);
                else
                    index = placement == Placement::End ? order.records.size()
                                                        : std::min(position - 1, order.records.size());
                if (order.keyed() && !order.fits_at(index, record))
                    order.in_key_order = false;
            } else if (order.keyed() && order.in_key_order) {
                index = order.sorted_place(record);
            } else {
                index = order.records.size();
            }
            order.records.insert(order.records.begin() + static_cast<std::ptrdiff_t>(index), record);
            if (&order == &current())
                remember(record, index + 1);
        }
        ++changes;
    }

    // Stores a copy of `source` and inserts it into every order.
    void add(const uint8_t* source, uint32_t size, Placement placement, std::size_t position) {
        try {
            reserve_for_insert();
        } catch (const std::bad_alloc&) {
            SetError(ErrInsufficientMemory);
            return;
        }
        uint8_t* record = store.allocate();
        std::memcpy(record, source, size);
        insert(record, placement, position);
    }

    // Makes the order of `key` current, building it (or reusing the least
    // recently used keyed order) when it does not exist yet. False with the
    // error set when the key is invalid or memory runs out.
    bool choose(const RecordDescription& description, const QueueKey& key) {
        for (std::size_t i = 0; i < key.size(); ++i) {
            const int32_t number = key[i];
            const int32_t field = number < 0 ? -number : number;
            if (field > description.field_count()) {
                SetError(ErrInvalidFieldTypeDescriptor);
                return false;
            }
        }
        for (std::size_t i = 0; i < orders.size(); ++i) {
            if (orders[i]->keyed() && orders[i]->key == key) {
                make_current(i);
                if (!current().in_key_order)
                    current().sort();
                return true;
            }
        }
        try {
            std::vector<RecordKey::Part> parts;
            parts.reserve(key.size());
            for (std::size_t i = 0; i < key.size(); ++i)
                parts.push_back(
                    RecordKey::Part{description.field(key[i] < 0 ? -key[i] : key[i]), key[i] < 0});
            auto fresh = std::make_unique<Order>();
            fresh->key = key;
            fresh->comparison = RecordKey(std::move(parts));
            fresh->records = insertion->records;
            fresh->sort();
            if (orders.size() < MaxOrders) {
                orders.push_back(std::move(fresh));
            } else {
                // The least recently used keyed order that is not current.
                std::size_t victim = orders.size() - 1;
                while (orders[victim].get() == insertion)
                    --victim;
                orders[victim] = std::move(fresh);
            }
        } catch (const std::bad_alloc&) {
            SetError(ErrInsufficientMemory);
            return false;
        }
        for (std::size_t i = 0; i < orders.size(); ++i) {
            if (orders[i]->keyed() && orders[i]->key == key) {
                make_current(i);
                break;
            }
        }
        return true;
    }
};

Queue::Queue(RecordDescription description, void* buffer)
    : m_description(std::move(description)), m_buffer(static_cast<uint8_t*>(buffer)) {}

Queue::~Queue() = default;

Queue::ControlBlock* Queue::prepare() {
    ClearError();
    if (m_disposed) {
        SetError(ErrMemoryCorrupted);
        return nullptr;
    }
    if (!m_block) {
        if (!m_description.valid()) {
            SetError(ErrInvalidFieldTypeDescriptor);
            return nullptr;
        }
        try {
            m_block = std::make_unique<ControlBlock>(m_description.record_size());
        } catch (const std::bad_alloc&) {
            SetError(ErrInsufficientMemory);
            return nullptr;
        }
    }
    return m_block.get();
}

void Queue::New() {
    m_disposed = false;
    m_block.reset();
    prepare();
}

void Queue::Dispose() {
    ClearError();
    m_block.reset();
    m_disposed = true;
}

int32_t Queue::Records() {
    ControlBlock* block = prepare();
    return block ? static_cast<int32_t>(block->current().records.size()) : 0;
}

int32_t Queue::Pointer() {
    ControlBlock* block = prepare();
    return block ? static_cast<int32_t>(block->pointer()) : 0;
}

uint32_t Queue::Changes() {
    ControlBlock* block = prepare();
    return block ? block->changes : 0;
}

int32_t Queue::Count() const {
    return m_block && !m_disposed ? static_cast<int32_t>(m_block->orders.front()->records.size()) : 0;
}

const uint8_t* Queue::Peek(int32_t position) const {
    if (!m_block || m_disposed || position < 1)
        return nullptr;
    const std::vector<uint8_t*>& records = m_block->orders.front()->records;
    return static_cast<std::size_t>(position) <= records.size()
               ? records[static_cast<std::size_t>(position) - 1]
               : nullptr;
}

void Queue::Get(int32_t position) {
    ControlBlock* block = prepare();
    if (!block)
        return;
    const std::vector<uint8_t*>& records = block->current().records;
    if (position < 1 || static_cast<std::size_t>(position) > records.size()) {
        if (position == 0)
            block->current_record = nullptr;
        SetError(ErrEntryNotFound);
        return;
    }
    uint8_t* record = records[static_cast<std::size_t>(position) - 1];
    std::memcpy(m_buffer, record, m_description.record_size());
    block->remember(record, static_cast<std::size_t>(position));
}

uint32_t Queue::ChangeStamp() const {
    return m_block && !m_disposed ? m_block->changes : 0;
}

void Queue::Get(const QueueKey& key) {
    ControlBlock* block = prepare();
    if (!block || !block->choose(m_description, key))
        return;
    Order& order = block->current();
    auto found = std::lower_bound(order.records.begin(), order.records.end(), m_buffer, order.less());
    if (found == order.records.end() || order.comparison.compare(*found, m_buffer) != 0) {
        SetError(ErrEntryNotFound);
        return;
    }
    std::memcpy(m_buffer, *found, m_description.record_size());
    block->remember(*found, static_cast<std::size_t>(found - order.records.begin()) + 1);
}

void Queue::Add() {
    if (ControlBlock* block = prepare())
        block->add(m_buffer, m_description.record_size(), ControlBlock::Placement::End, 0);
}

void Queue::Add(int32_t position) {
    if (ControlBlock* block = prepare())
        block->add(m_buffer, m_description.record_size(), ControlBlock::Placement::Position,
                   static_cast<std::size_t>(std::max(position, 1)));
}

void Queue::Add(const QueueKey& key) {
    ControlBlock* block = prepare();
    if (block && block->choose(m_description, key))
        block->add(m_buffer, m_description.record_size(), ControlBlock::Placement::Sorted, 0);
}

void Queue::Put() {
    ControlBlock* block = prepare();
    if (!block)
        return;
    const std::size_t position = block->pointer();
    if (position == 0) {
        SetError(ErrEntryNotFound);
        return;
    }
    uint8_t* record = block->current_record;
    // Find the record in every keyed order whose key it changes while it still
    // holds its old values, then replace it and put it in its new place.
    struct Move {
        Order* order;
        std::size_t index;
    };
    std::array<Move, MaxOrders> moves;
    std::size_t move_count = 0;
    for (auto& order : block->orders) {
        if (order->keyed() && order->in_key_order && order->comparison.compare(record, m_buffer) != 0)
            moves[move_count++] = Move{order.get(), order->locate(record)};
    }
    std::memcpy(record, m_buffer, m_description.record_size());
    for (std::size_t i = 0; i < move_count; ++i) {
        std::vector<uint8_t*>& records = moves[i].order->records;
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(moves[i].index));
        const std::size_t index = moves[i].order->sorted_place(record);
        records.insert(records.begin() + static_cast<std::ptrdiff_t>(index), record);
    }
    block->position_hint = 0;
    ++block->changes;
}

void Queue::Delete() {
    ControlBlock* block = prepare();
    if (!block)
        return;
    if (block->pointer() == 0) {
        SetError(ErrEntryNotFound);
        return;
    }
    try {
        block->store.reserve_release();
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return;
    }
    uint8_t* record = block->current_record;
    for (auto& order : block->orders) {
        const std::size_t index =
            &*order == &block->current() ? block->position_hint - 1 : order->locate(record);
        order->records.erase(order->records.begin() + static_cast<std::ptrdiff_t>(index));
    }
    block->store.release(record);
    block->remember(nullptr, 0);
    ++block->changes;
}

void Queue::Free() {
    ControlBlock* block = prepare();
    if (!block)
        return;
    std::unique_ptr<Order> insertion;
    for (auto& order : block->orders) {
        if (order.get() == block->insertion)
            insertion = std::move(order);
    }
    block->orders.clear();
    insertion->records.clear();
    insertion->records.shrink_to_fit();
    block->orders.push_back(std::move(insertion));
    block->store.clear();
    block->remember(nullptr, 0);
    ++block->changes;
}

void Queue::Sort(const QueueKey& key) {
    ControlBlock* block = prepare();
    if (!block)
        return;
    if (key.empty()) {
        for (std::size_t i = 0; i < block->orders.size(); ++i) {
            if (block->orders[i].get() == block->insertion)
                block->make_current(i);
        }
        return;
    }
    block->choose(m_description, key);
}

bool Queue::HasOrder(const QueueKey& key) const {
    if (!m_block)
        return key.empty();
    if (key.empty())
        return true;
    return std::any_of(m_block->orders.begin(), m_block->orders.end(),
                       [&key](const auto& order) { return order->keyed() && order->key == key; });
}

std::size_t Queue::OrderCount() const {
    return m_block ? m_block->orders.size() : 0;
}

std::size_t Queue::MemoryUsage() const {
    if (!m_block)
        return 0;
    std::size_t bytes = sizeof(ControlBlock) + m_block->store.memory_usage();
    for (const auto& order : m_block->orders)
        bytes += sizeof(Order) + order->records.capacity() * sizeof(uint8_t*);
    return bytes;
}

} // namespace morvex
