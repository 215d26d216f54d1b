// The values a spin box or a drop-down list offers: the records of the queue
// bound to the control (the first field of each) or, without a queue, the
// choices of its record. Queue records are read in place, so showing them
// never disturbs the program's record buffer or error state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class Queue;
struct BoundVariable;
struct CompiledPicture;

class ChoiceList {
public:
    ChoiceList(const std::vector<std::string>& choices, const Queue* queue)
        : m_choices(choices), m_queue(queue) {}

    int32_t size() const;
    bool empty() const { return size() == 0; }
    // Entry `index` (0-based) as value text, without trailing blanks.
    std::string value(int32_t index) const;
    // Entry `index` as it is shown: through the picture (an invalid one
    // shows the value as it is), without leading and trailing blanks.
    std::string shown(int32_t index, const CompiledPicture& picture) const;
    // The first entry whose value equals `text` (blanks around either
    // ignored), or -1.
    int32_t find(std::string_view text) const;

private:
    // A variable over entry `index` (a choice's text, or the first field of a
    // queue record); false when there is none. Only read through.
    bool entry(int32_t index, BoundVariable& variable) const;

    const std::vector<std::string>& m_choices;
    const Queue* m_queue;
};

} // namespace morvex
