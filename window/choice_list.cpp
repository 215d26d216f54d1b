#include "window/choice_list.h"

#include "runtime/queue.h"
#include "window/bound_value.h"

namespace morvex {

int32_t ChoiceList::size() const {
    if (m_queue)
        return m_queue->Count();
    return static_cast<int32_t>(m_choices.size());
}

bool ChoiceList::entry(int32_t index, BoundVariable& variable) const {
    if (index < 0 || index >= size())
        return false;
    if (!m_queue) {
        std::string& choice = const_cast<std::string&>(m_choices[static_cast<std::size_t>(index)]);
        variable =
            BoundVariable{FieldType::String, choice.data(), static_cast<uint32_t>(choice.size()), 0, 1};
        return true;
    }
    const RecordDescription& description = m_queue->description();
    const uint8_t* record = m_queue->Peek(index + 1);
    if (record == nullptr || description.field_count() < 1)
        return false;
    const FieldDescription& field = description.field(1);
    variable = BoundVariable{field.type, const_cast<uint8_t*>(record) + field.offset, field.size, 0, 1};
    return true;
}

std::string ChoiceList::value(int32_t index) const {
    BoundVariable variable;
    return entry(index, variable) ? std::string(TrimBlanks(VariableText(variable))) : std::string();
}

std::string ChoiceList::shown(int32_t index, const CompiledPicture& picture) const {
    BoundVariable variable;
    return entry(index, variable) ? FormattedValue(variable, picture) : std::string();
}

int32_t ChoiceList::find(std::string_view text) const {
    text = TrimBlanks(text);
    const int32_t count = size();
    for (int32_t i = 0; i < count; ++i)
        if (value(i) == text)
            return i;
    return -1;
}

} // namespace morvex
