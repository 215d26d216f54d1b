// Queues of 32-byte records (LONG, LONG, STRING(24)) with random keys: ADD,
// GET by position, building a sorted order against std::stable_sort of the
// same records, switching between orders already built, and the memory a
// queue holds per record. per_record / per_call is the time of one record or
// one call.
#include "runtime/error_state.h"
#include "runtime/queue.h"
#include "runtime/record_description.h"

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using morvex::FieldDescription;
using morvex::FieldType;
using morvex::Queue;
using morvex::QueueKey;

struct Record {
    int32_t id;
    int32_t group;
    char name[24];
};
static_assert(sizeof(Record) == 32);

constexpr std::size_t LargeCount = 1'000'000;
constexpr std::size_t SmallCount = 1'000;
constexpr int32_t GroupCount = 1'000;

morvex::RecordDescription record_description() {
    return morvex::RecordDescription(
        sizeof(Record), {
                            FieldDescription::Of(FieldType::Long, "Q:ID", offsetof(Record, id)),
                            FieldDescription::Of(FieldType::Long, "Q:GROUP", offsetof(Record, group)),
                            FieldDescription::Sized(FieldType::String, "Q:NAME", offsetof(Record, name),
                                                    sizeof(Record::name)),
                        });
}

// The key the sort benchmarks use: group, then name.
const QueueKey SortKey{2, 3};
// Three keys for the order switch and memory benchmarks.
const std::array<QueueKey, 3> SwitchKeys = {QueueKey{2, 3}, QueueKey{1}, QueueKey{-2, -1}};

// LargeCount records with random ids, groups of about a thousand records and
// blank-padded names of 4 to 24 capital letters, always the same.
const std::vector<Record>& records() {
    static const std::vector<Record> values = [] {
        std::mt19937 random(19700101);
        std::uniform_int_distribution<int32_t> id(0, INT32_MAX);
        std::uniform_int_distribution<int32_t> group(0, GroupCount - 1);
        std::uniform_int_distribution<int> length(4, 24);
        std::uniform_int_distribution<int> letter('A', 'Z');
        std::vector<Record> result(LargeCount);
        for (Record& record : result) {
            record.id = id(random);
            record.group = group(random);
            std::memset(record.name, ' ', sizeof record.name);
            const int name_length = length(random);
            for (int i = 0; i < name_length; ++i)
                record.name[i] = static_cast<char>(letter(random));
        }
        return result;
    }();
    return values;
}

// A queue with its record buffer, which must outlive it.
struct QueueWithBuffer {
    Record buffer{};
    Queue queue{record_description(), &buffer};

    // Adds the first `count` records in insertion order.
    void add_records(std::size_t count) {
        const std::vector<Record>& source = records();
        for (std::size_t i = 0; i < count; ++i) {
            buffer = source[i];
            queue.Add();
        }
    }
    // Makes sure exactly the first `keyed` of SwitchKeys are built, and
    // leaves insertion order current.
    void build_orders(std::size_t keyed) {
        if (queue.OrderCount() > keyed + 1) {
            const std::size_t count = static_cast<std::size_t>(queue.Records());
            queue.Free();
            add_records(count);
        }
        for (std::size_t i = 0; i < keyed; ++i)
            queue.Sort(SwitchKeys[i]);
        queue.Sort(QueueKey{});
    }
};

std::unique_ptr<QueueWithBuffer> make_queue(std::size_t count) {
    auto result = std::make_unique<QueueWithBuffer>();
    result->add_records(count);
    return result;
}

// One shared queue of each size, built on first use.
QueueWithBuffer& shared_queue(std::size_t count) {
    static std::unique_ptr<QueueWithBuffer> small;
    static std::unique_ptr<QueueWithBuffer> large;
    std::unique_ptr<QueueWithBuffer>& queue = count == SmallCount ? small : large;
    if (!queue)
        queue = make_queue(count);
    return *queue;
}

bool failed(benchmark::State& state) {
    if (morvex::ErrorCode() == 0)
        return false;
    state.SkipWithError("queue operation failed");
    return true;
}

void report_per_item(benchmark::State& state, std::size_t items_per_iteration, const char* counter) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * items_per_iteration));
    state.counters[counter] =
        benchmark::Counter(static_cast<double>(items_per_iteration),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// ADD of every record to a new queue.
void queue_add(benchmark::State& state) {
    const std::vector<Record>& source = records();
    for (auto _ : state) {
        state.PauseTiming();
        auto target = std::make_unique<QueueWithBuffer>();
        state.ResumeTiming();
        for (const Record& record : source) {
            target->buffer = record;
            target->queue.Add();
        }
        state.PauseTiming();
        const bool ok = target->queue.Records() == static_cast<int32_t>(source.size());
        target.reset();
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("records missing");
            return;
        }
    }
    report_per_item(state, source.size(), "per_record");
}

// The same records appended to a std::vector, for scale.
void vector_push_back(benchmark::State& state) {
    const std::vector<Record>& source = records();
    for (auto _ : state) {
        std::vector<Record> target;
        for (const Record& record : source)
            target.push_back(record);
        benchmark::DoNotOptimize(target.data());
        state.PauseTiming();
        target = {};
        state.ResumeTiming();
    }
    report_per_item(state, source.size(), "per_record");
}

// LargeCount random positions among the first `count` records, always the same.
std::vector<int32_t> random_positions(std::size_t count) {
    std::vector<int32_t> positions(LargeCount);
    std::mt19937 random(4242);
    std::uniform_int_distribution<int32_t> position(1, static_cast<int32_t>(count));
    for (int32_t& p : positions)
        p = position(random);
    return positions;
}

// GET by position at random positions in insertion order: the 1K queue fits
// in cache, the 1M queue does not.
void queue_get_position(benchmark::State& state) {
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    QueueWithBuffer& target = shared_queue(count);
    target.queue.Sort(QueueKey{});
    const std::vector<int32_t> positions = random_positions(count);
    for (auto _ : state) {
        for (int32_t p : positions) {
            target.queue.Get(p);
            benchmark::DoNotOptimize(target.buffer);
        }
    }
    if (failed(state))
        return;
    report_per_item(state, positions.size(), "per_call");
}

// The same random positions read from a std::vector of as many records, for scale.
void vector_get_index(benchmark::State& state) {
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    const std::vector<Record> source(records().begin(),
                                     records().begin() + static_cast<std::ptrdiff_t>(count));
    const std::vector<int32_t> positions = random_positions(count);
    Record buffer{};
    for (auto _ : state) {
        for (int32_t p : positions) {
            buffer = source[static_cast<std::size_t>(p) - 1];
            benchmark::DoNotOptimize(buffer);
        }
    }
    report_per_item(state, positions.size(), "per_call");
}

// SORT by group and name, building the order: the queue is emptied and
// refilled outside the timing, so every SORT builds it anew.
void queue_sort_build(benchmark::State& state) {
    auto target = std::make_unique<QueueWithBuffer>();
    for (auto _ : state) {
        state.PauseTiming();
        target->queue.Free();
        target->add_records(LargeCount);
        state.ResumeTiming();
        target->queue.Sort(SortKey);
    }
    if (failed(state))
        return;
    // First record of the order: the smallest group, then the smallest name.
    target->queue.Get(1);
    benchmark::DoNotOptimize(target->buffer);
    report_per_item(state, LargeCount, "per_record");
}

bool group_then_name(const Record& a, const Record& b) {
    if (a.group != b.group)
        return a.group < b.group;
    return std::memcmp(a.name, b.name, sizeof a.name) < 0;
}

// The same records and key with std::stable_sort on a std::vector<Record>.
void vector_stable_sort(benchmark::State& state) {
    std::vector<Record> target;
    for (auto _ : state) {
        state.PauseTiming();
        target = records();
        state.ResumeTiming();
        std::stable_sort(target.begin(), target.end(), group_then_name);
        benchmark::DoNotOptimize(target.data());
    }
    report_per_item(state, target.size(), "per_record");
}

// std::stable_sort of pointers to the records, as a queue order holds them,
// with the direct comparison: the share of the sort due to the indirection.
void pointer_stable_sort(benchmark::State& state) {
    std::vector<const Record*> target;
    for (auto _ : state) {
        state.PauseTiming();
        target.clear();
        for (const Record& record : records())
            target.push_back(&record);
        state.ResumeTiming();
        std::stable_sort(target.begin(), target.end(),
                         [](const Record* a, const Record* b) { return group_then_name(*a, *b); });
        benchmark::DoNotOptimize(target.data());
    }
    report_per_item(state, target.size(), "per_record");
}

// SORT among three orders already built: a switch, whatever the queue's size.
void queue_sort_switch(benchmark::State& state) {
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    QueueWithBuffer& target = shared_queue(count);
    target.build_orders(SwitchKeys.size());
    std::size_t next = 0;
    for (auto _ : state) {
        target.queue.Sort(SwitchKeys[next]);
        next = next + 1 == SwitchKeys.size() ? 0 : next + 1;
    }
    if (failed(state))
        return;
    if (target.queue.OrderCount() != SwitchKeys.size() + 1) {
        state.SkipWithError("an order was rebuilt or lost");
        return;
    }
    target.queue.Sort(QueueKey{});
    report_per_item(state, 1, "per_call");
}

// MemoryUsage of the 1M-record queue with insertion order and `keyed` keyed orders.
void queue_memory(benchmark::State& state) {
    const std::size_t keyed = static_cast<std::size_t>(state.range(0));
    QueueWithBuffer& target = shared_queue(LargeCount);
    target.build_orders(keyed);
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = target.queue.MemoryUsage();
        benchmark::DoNotOptimize(bytes);
    }
    if (failed(state))
        return;
    const double count = static_cast<double>(target.queue.Records());
    const double orders = static_cast<double>(target.queue.OrderCount());
    state.counters["orders"] = orders;
    state.counters["bytes_per_record"] = static_cast<double>(bytes) / count;
    state.counters["record_bytes"] = static_cast<double>(sizeof(Record));
    state.counters["budget_per_record"] = static_cast<double>(sizeof(Record)) + 16.0 * orders;
}

} // namespace

BENCHMARK(queue_add)->Name("queue/add/1M")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(vector_push_back)->Name("std_vector/push_back/1M")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(queue_get_position)
    ->Name("queue/get_position")
    ->Arg(SmallCount)
    ->Arg(LargeCount)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(vector_get_index)
    ->Name("std_vector/get_index")
    ->Arg(SmallCount)
    ->Arg(LargeCount)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(queue_sort_build)
    ->Name("queue/sort_build_group_name/1M")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(vector_stable_sort)
    ->Name("std_vector/stable_sort_group_name/1M")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(pointer_stable_sort)
    ->Name("std_vector/stable_sort_pointers_group_name/1M")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(queue_sort_switch)->Name("queue/sort_switch")->Arg(SmallCount)->Arg(LargeCount);
BENCHMARK(queue_memory)->Name("queue/memory/1M")->ArgName("keyed_orders")->DenseRange(0, 3)->Iterations(1);
