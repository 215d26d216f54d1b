#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/fixed_text.h"
#include "runtime/locale.h"
#include "runtime/queue.h"
#include "tests/support/failing_allocator.h"
#include "tests/support/fixed_clock.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace morvex {
namespace {

struct Item {
    int32_t id = 0;
    int32_t group = 0;
    FixedText<8> name;

    bool operator==(const Item& other) const {
        return id == other.id && group == other.group && name.view() == other.name.view();
    }
};

RecordDescription item_description() {
    return RecordDescription(sizeof(Item),
                             {FieldDescription::Of(FieldType::Long, "Q:ID", offsetof(Item, id)),
                              FieldDescription::Of(FieldType::Long, "Q:GROUP", offsetof(Item, group)),
                              FieldDescription::Sized(FieldType::String, "Q:NAME", offsetof(Item, name), 8)});
}

const QueueKey ById{1};
const QueueKey ByGroupThenName{2, 3};
const QueueKey ByNameDescending{-3};

class QueueTest : public ::testing::Test {
protected:
    Item buffer;
    Queue queue{item_description(), &buffer};

    void add(int32_t id, int32_t group, std::string_view name) {
        buffer = Item{id, group, name};
        queue.Add();
        ASSERT_EQ(ErrorCode(), 0);
    }

    // The ids in the current order, read through GET by position.
    std::vector<int32_t> ids() {
        std::vector<int32_t> result;
        for (int32_t i = 1; i <= queue.Records(); ++i) {
            queue.Get(i);
            result.push_back(buffer.id);
        }
        return result;
    }

    void add_sample() {
        add(1, 20, "delta");
        add(2, 10, "alpha");
        add(3, 20, "bravo");
        add(4, 10, "charlie");
    }
};

TEST_F(QueueTest, GetByPositionReadsTheCurrentOrder) {
    add_sample();
    EXPECT_EQ(queue.Records(), 4);
    queue.Get(3);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(buffer, (Item{3, 20, "bravo"}));
    EXPECT_EQ(queue.Pointer(), 3);
}

TEST_F(QueueTest, GetOutsideTheRecordsReportsEntryNotFoundAndKeepsTheBuffer) {
    add_sample();
    queue.Get(2);
    for (int32_t position : {5, -1, 0}) {
        buffer = Item{99, 99, "keep"};
        queue.Get(position);
        EXPECT_EQ(ErrorCode(), ErrEntryNotFound) << position;
        EXPECT_EQ(ErrorText(), "Entry Not Found");
        EXPECT_EQ(buffer, (Item{99, 99, "keep"}));
    }
    // Position 0 also forgets the current record.
    EXPECT_EQ(queue.Pointer(), 0);
    queue.Put();
    EXPECT_EQ(ErrorCode(), ErrEntryNotFound);
}

TEST_F(QueueTest, EveryOperationClearsTheErrorFirst) {
    queue.Get(1);
    ASSERT_EQ(ErrorCode(), ErrEntryNotFound);
    EXPECT_EQ(queue.Records(), 0);
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(QueueTest, PeekReadsInTheCurrentOrderWithoutTouchingBufferPointerOrError) {
    EXPECT_EQ(queue.Count(), 0) << "not built yet";
    EXPECT_EQ(queue.Peek(1), nullptr);
    add_sample();
    queue.Sort(ByNameDescending);
    queue.Get(2);
    buffer = Item{99, 99, "keep"};
    SetError(ErrEntryNotFound);
    EXPECT_EQ(queue.Count(), 4);
    const auto* first = reinterpret_cast<const Item*>(queue.Peek(1));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(*first, (Item{1, 20, "delta"}));
    EXPECT_EQ(queue.Peek(0), nullptr);
    EXPECT_EQ(queue.Peek(5), nullptr);
    EXPECT_EQ(buffer, (Item{99, 99, "keep"}));
    EXPECT_EQ(ErrorCode(), ErrEntryNotFound);
    EXPECT_EQ(queue.Pointer(), 2);
    queue.Dispose();
    EXPECT_EQ(queue.Peek(1), nullptr);
}

TEST_F(QueueTest, SortByDescendingKeyPutsTheGreatestFirstAndInsertionOrderStays) {
    add_sample();
    queue.Sort(ByNameDescending);
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 4, 3, 2}));
    queue.Sort(QueueKey{});
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(QueueTest, SortOnTwoFieldsKeepsArrivalOrderAmongEqualKeys) {
    add(1, 2, "same");
    add(2, 1, "same");
    add(3, 2, "same");
    add(4, 1, "same");
    queue.Sort(ByGroupThenName);
    EXPECT_EQ(ids(), (std::vector<int32_t>{2, 4, 1, 3}));
}

TEST_F(QueueTest, AddByKeyPlacesTheRecordInKeyOrderAndPointsAtIt) {
    add_sample();
    buffer = Item{5, 15, "echo"};
    queue.Add(ByGroupThenName);
    EXPECT_EQ(queue.Pointer(), 3);
    EXPECT_EQ(ids(), (std::vector<int32_t>{2, 4, 5, 3, 1}));
    queue.Sort(QueueKey{});
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
}

TEST_F(QueueTest, PlainAddGoesToTheEndOfTheCurrentOrderAndIntoOtherOrdersInPlace) {
    add_sample();
    queue.Sort(ById);
    queue.Sort(ByNameDescending);
    buffer = Item{0, 0, "zulu"};
    queue.Add();
    EXPECT_EQ(queue.Pointer(), 5);
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 4, 3, 2, 0}));
    queue.Sort(ById);
    EXPECT_EQ(ids(), (std::vector<int32_t>{0, 1, 2, 3, 4}));
    // Choosing the disturbed key again sorts it again.
    queue.Sort(ByNameDescending);
    EXPECT_EQ(ids(), (std::vector<int32_t>{0, 1, 4, 3, 2}));
}

TEST_F(QueueTest, AddAtPositionInsertsThereAndKeyedOrdersStaySorted) {
    add_sample();
    queue.Sort(ById);
    queue.Sort(QueueKey{});
    buffer = Item{0, 0, "new"};
    queue.Add(2);
    EXPECT_EQ(queue.Pointer(), 2);
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 0, 2, 3, 4}));
    buffer = Item{9, 0, "last"};
    queue.Add(100);
    EXPECT_EQ(queue.Pointer(), 6);
    queue.Sort(ById);
    EXPECT_EQ(ids(), (std::vector<int32_t>{0, 1, 2, 3, 4, 9}));
}

TEST_F(QueueTest, PutThatChangesAKeyFieldMovesTheRecord) {
    add_sample();
    queue.Sort(ByGroupThenName); // 2 alpha, 4 charlie, 3 bravo, 1 delta
    queue.Get(1);
    buffer.group = 30;
    queue.Put();
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(ids(), (std::vector<int32_t>{4, 3, 1, 2}));
    queue.Get(4);
    EXPECT_EQ(buffer.group, 30);
    queue.Sort(QueueKey{});
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(QueueTest, PutThatChangesNoKeyFieldKeepsEveryPosition) {
    add_sample();
    queue.Sort(ByNameDescending);
    queue.Get(2);
    buffer.group = 77;
    queue.Put();
    EXPECT_EQ(queue.Pointer(), 2);
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 4, 3, 2}));
    queue.Get(2);
    EXPECT_EQ(buffer.group, 77);
}

TEST_F(QueueTest, PointerFollowsAMovedRecord) {
    add_sample();
    queue.Sort(ById);
    queue.Get(1);
    buffer.id = 10;
    queue.Put();
    EXPECT_EQ(queue.Pointer(), 4);
}

TEST_F(QueueTest, DeleteRemovesTheRecordFromEveryOrder) {
    add_sample();
    queue.Sort(ByNameDescending);
    queue.Sort(ById);
    queue.Get(2);
    queue.Delete();
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(queue.Pointer(), 0);
    queue.Delete();
    EXPECT_EQ(ErrorCode(), ErrEntryNotFound);
    EXPECT_EQ(queue.Records(), 3);
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 3, 4}));
    queue.Sort(ByNameDescending);
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 4, 3}));
    queue.Sort(QueueKey{});
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 3, 4}));
}

TEST_F(QueueTest, DeletedSlotsAreReused) {
    add_sample();
    queue.Get(1);
    queue.Delete();
    add(0, 0, "first");
    const std::size_t before = queue.MemoryUsage();
    for (int round = 1; round < 100; ++round) {
        queue.Get(1);
        queue.Delete();
        add(round, 0, "again");
    }
    EXPECT_EQ(queue.Records(), 4);
    EXPECT_EQ(queue.MemoryUsage(), before);
}

TEST_F(QueueTest, FreeRemovesRecordsAndKeyedOrders) {
    add_sample();
    queue.Sort(ById);
    queue.Free();
    EXPECT_EQ(queue.Records(), 0);
    EXPECT_EQ(queue.OrderCount(), 1u);
    EXPECT_FALSE(queue.HasOrder(ById));
    add(7, 0, "after");
    EXPECT_EQ(ids(), std::vector<int32_t>{7});
}

TEST_F(QueueTest, GetByKeyFindsTheEqualRecord) {
    add_sample();
    buffer = Item{0, 10, "charlie"};
    queue.Get(ByGroupThenName);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(buffer.id, 4);
    EXPECT_EQ(queue.Pointer(), 2);
    buffer = Item{0, 10, "nobody"};
    queue.Get(ByGroupThenName);
    EXPECT_EQ(ErrorCode(), ErrEntryNotFound);
    EXPECT_EQ(buffer.name.view(), FixedText<8>("nobody").view());
}

TEST_F(QueueTest, KeyFieldBeyondTheRecordIsRefused) {
    add_sample();
    queue.Sort(QueueKey{2, 4});
    EXPECT_EQ(ErrorCode(), ErrInvalidFieldTypeDescriptor);
    EXPECT_EQ(ErrorText(), "Invalid Field Type Descriptor");
    EXPECT_EQ(ids(), (std::vector<int32_t>{1, 2, 3, 4}));
    buffer = Item{5, 0, "x"};
    queue.Add(QueueKey{-4});
    EXPECT_EQ(ErrorCode(), ErrInvalidFieldTypeDescriptor);
    EXPECT_EQ(queue.Records(), 4);
}

TEST_F(QueueTest, KeyListEndsAtZero) {
    const int32_t fields[] = {-3, 0, 1};
    EXPECT_EQ(QueueKey(fields), ByNameDescending);
}

TEST_F(QueueTest, SeventeenKeysReuseTheLeastRecentlyUsedOrder) {
    add_sample();
    // Keys that differ only in how often field 1 repeats.
    auto key = [](int n) {
        std::vector<int32_t> fields(static_cast<std::size_t>(n % 16 + 1), 1);
        if (n >= 16)
            fields.back() = -1;
        return QueueKey(std::span<const int32_t>(fields));
    };
    for (int n = 0; n < 17; ++n)
        queue.Sort(key(n));
    EXPECT_EQ(queue.OrderCount(), Queue::MaxOrders);
    EXPECT_FALSE(queue.HasOrder(key(0)));
    EXPECT_FALSE(queue.HasOrder(key(1)));
    for (int n = 2; n < 17; ++n)
        EXPECT_TRUE(queue.HasOrder(key(n))) << n;
    // Using a key again makes it the most recent: the next new key evicts key 3.
    queue.Sort(key(2));
    queue.Sort(ById);
    EXPECT_TRUE(queue.HasOrder(key(2)));
    EXPECT_FALSE(queue.HasOrder(key(3)));
}

TEST_F(QueueTest, ChangesStartFromTheClockAndCountEveryChange) {
    testing::FixedClock clock({2001, 8, 10, 1, 2, 3, 40});
    Item other_buffer;
    Queue other(item_description(), &other_buffer);
    const uint32_t start = other.Changes();
    EXPECT_EQ(start, static_cast<uint32_t>(CLOCK()) * 25'781'083u);

    other.Add();
    other.Add(1);
    other.Add(ById);
    EXPECT_EQ(other.Changes(), start + 3);
    other.Get(1);
    other.Records();
    other.Pointer();
    other.Sort(ById);
    EXPECT_EQ(other.Changes(), start + 3);
    other.Put();
    other.Delete();
    other.Free();
    EXPECT_EQ(other.Changes(), start + 6);
    other.Delete(); // fails: nothing changes
    EXPECT_EQ(other.Changes(), start + 6);
}

TEST_F(QueueTest, DisposedQueueIsMissingUntilNew) {
    add_sample();
    queue.Dispose();
    EXPECT_EQ(queue.Records(), 0);
    EXPECT_EQ(ErrorCode(), ErrMemoryCorrupted);
    EXPECT_EQ(ErrorText(), "Memory Corrupted");
    queue.Add();
    EXPECT_EQ(ErrorCode(), ErrMemoryCorrupted);
    queue.New();
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(queue.Records(), 0);
    add(1, 1, "back");
    EXPECT_EQ(queue.Records(), 1);
}

TEST_F(QueueTest, FieldOutsideTheRecordMakesTheQueueUnusable) {
    Item other_buffer;
    Queue broken(
        RecordDescription(sizeof(Item), {FieldDescription::Of(FieldType::Real, "Q:X", sizeof(Item) - 4)}),
        &other_buffer);
    broken.Add();
    EXPECT_EQ(ErrorCode(), ErrInvalidFieldTypeDescriptor);
    EXPECT_EQ(broken.Records(), 0);
}

TEST_F(QueueTest, TextKeysComparePaddedWithBlanks) {
    struct Line {
        char text[4];
    } line;
    Queue lines(RecordDescription(sizeof(Line), {FieldDescription::Sized(FieldType::CString, "L:T", 0, 4)}),
                &line);
    for (const char* text : {"b", "a b", "a", "", "ab"}) {
        std::memset(line.text, 0, sizeof line.text);
        std::memcpy(line.text, text, std::strlen(text));
        lines.Add(QueueKey{1});
    }
    std::vector<std::string> sorted;
    for (int32_t i = 1; i <= lines.Records(); ++i) {
        lines.Get(i);
        sorted.emplace_back(line.text);
    }
    EXPECT_EQ(sorted, (std::vector<std::string>{"", "a", "a b", "ab", "b"}));
}

TEST_F(QueueTest, TextKeysFollowTheCollationSequence) {
    ApplyEnvironmentText("MVXCOLSEQ=ba\n");
    add(1, 0, "a");
    add(2, 0, "b");
    add(3, 0, "c");
    queue.Sort(QueueKey{3});
    const std::vector<int32_t> sorted = ids();
    ResetLocale();
    EXPECT_EQ(sorted, (std::vector<int32_t>{2, 1, 3}));
}

// Everything observable of a queue: each cached order read back in full.
struct Snapshot {
    std::vector<std::vector<Item>> orders;
    int32_t records;
    uint32_t changes;
    bool operator==(const Snapshot&) const = default;
};

class QueueFaultTest : public QueueTest {
protected:
    Snapshot snapshot(const std::vector<QueueKey>& keys) {
        Snapshot result;
        const Item saved = buffer;
        result.changes = queue.Changes();
        result.records = queue.Records();
        for (const QueueKey& key : keys) {
            if (!queue.HasOrder(key))
                continue;
            queue.Sort(key);
            std::vector<Item> items;
            for (int32_t i = 1; i <= queue.Records(); ++i) {
                queue.Get(i);
                items.push_back(buffer);
            }
            result.orders.push_back(items);
        }
        buffer = saved;
        return result;
    }
};

TEST_F(QueueFaultTest, RunningOutOfMemoryAtAnyAllocationLeavesTheQueueUnchanged) {
    const std::vector<QueueKey> keys{QueueKey{}, ById, ByNameDescending, ByGroupThenName};
    for (int i = 0; i < 40; ++i)
        add(i, i % 3, std::to_string(i));
    queue.Sort(ById);
    queue.Sort(ByNameDescending);
    queue.Sort(QueueKey{});

    using Operation = void (*)(Queue&, Item&);
    // The no-op checks the harness itself; building an order must allocate.
    const Operation operations[] = {
        [](Queue& q, Item& b) {
            b = Item{100, 1, "added"};
            q.Add();
        },
        [](Queue& q, Item& b) {
            b = Item{101, 2, "bykey"};
            q.Add(ById);
        },
        [](Queue&, Item&) {},
        [](Queue& q, Item&) { q.Sort(ByGroupThenName); },
        [](Queue& q, Item&) {
            q.Get(5);
            q.Delete();
        },
    };
    int failed_sorts = 0;
    for (Operation operation : operations) {
        for (long k = 0;; ++k) {
            // Position every order and the buffer as the operation expects.
            queue.Sort(QueueKey{});
            const Snapshot before = snapshot(keys);
            testing::fail_allocation_after(k);
            operation(queue, buffer);
            const bool failed_here = ErrorCode() == ErrInsufficientMemory;
            const bool reached = !testing::allocation_failure_pending();
            testing::stop_failing_allocations();
            if (failed_here) {
                EXPECT_EQ(snapshot(keys), before) << "allocation " << k;
                failed_sorts += operation == operations[3];
                continue;
            }
            EXPECT_EQ(ErrorCode(), 0);
            if (!reached)
                break; // the operation made fewer than k allocations: all were tried
        }
    }
    EXPECT_GT(failed_sorts, 0);
}

// Random operations against a plain model: insertion order as a vector, each
// keyed order the model sorted by a key that ends in the unique id.
TEST_F(QueueTest, RandomOperationsMatchAModel) {
    const std::vector<QueueKey> keys{QueueKey{2, 1}, QueueKey{-3, 1}, QueueKey{3, -2, 1}};
    auto less_by = [](const QueueKey& key) {
        return [key](const Item& a, const Item& b) {
            for (std::size_t i = 0; i < key.size(); ++i) {
                const int32_t field = key[i] < 0 ? -key[i] : key[i];
                int order = field == 1   ? (a.id > b.id) - (a.id < b.id)
                            : field == 2 ? (a.group > b.group) - (a.group < b.group)
                                         : a.name.view().compare(b.name.view());
                order = order < 0 ? -1 : order > 0;
                if (order != 0)
                    return key[i] < 0 ? order > 0 : order < 0;
            }
            return false;
        };
    };
    std::vector<Item> model; // insertion order
    const QueueKey* current = nullptr;
    auto model_view = [&]() {
        std::vector<Item> view = model;
        if (current)
            std::sort(view.begin(), view.end(), less_by(*current));
        return view;
    };
    std::mt19937 random(7);
    int32_t next_id = 1;
    for (int step = 0; step < 3000; ++step) {
        const int action = static_cast<int>(random() % 6);
        std::vector<Item> view = model_view();
        const int32_t records = static_cast<int32_t>(view.size());
        Item item{next_id, static_cast<int32_t>(random() % 5),
                  FixedText<8>(std::string(1, static_cast<char>('a' + random() % 6)))};
        if (action == 0 && !current) {
            buffer = item;
            queue.Add();
            model.push_back(item);
            ++next_id;
        } else if (action == 1) {
            const QueueKey& key = keys[random() % keys.size()];
            buffer = item;
            queue.Add(key);
            model.push_back(item);
            current = &key;
            ++next_id;
        } else if (action == 2 && records > 0) {
            const int32_t position = static_cast<int32_t>(random() % static_cast<unsigned>(records)) + 1;
            queue.Get(position);
            ASSERT_EQ(buffer, view[static_cast<std::size_t>(position - 1)]);
            buffer.group = item.group;
            buffer.name = item.name;
            queue.Put();
            auto stored =
                std::find_if(model.begin(), model.end(), [&](const Item& m) { return m.id == buffer.id; });
            *stored = buffer;
        } else if (action == 3 && records > 0) {
            const int32_t position = static_cast<int32_t>(random() % static_cast<unsigned>(records)) + 1;
            queue.Get(position);
            queue.Delete();
            const int32_t id = buffer.id;
            std::erase_if(model, [id](const Item& m) { return m.id == id; });
        } else if (action == 4) {
            const std::size_t choice = random() % (keys.size() + 1);
            current = choice == keys.size() ? nullptr : &keys[choice];
            queue.Sort(current ? *current : QueueKey{});
        }
        ASSERT_EQ(ErrorCode(), 0) << "step " << step;
        if (step % 50 == 0 || action == 5) {
            std::vector<Item> expected = model_view();
            std::vector<Item> actual;
            for (int32_t i = 1; i <= queue.Records(); ++i) {
                queue.Get(i);
                actual.push_back(buffer);
            }
            ASSERT_EQ(actual, expected) << "step " << step;
        }
    }
}

} // namespace
} // namespace morvex
