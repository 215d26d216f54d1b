// Field pair lists (field_pairs.h).
#include "framework/field_pairs.h"

#include "files/field_text.h"
#include "files/file_declaration.h"
#include "runtime/field_compare.h"
#include "runtime/string_ops.h"

#include <cstring>

namespace morvex {

namespace {

FieldDescription description_of(const BoundVariable& v) {
    FieldDescription f;
    f.type = v.type;
    f.offset = 0;
    f.size = v.size;
    f.dimension = 1;
    return f;
}

bool same_shape(const BoundVariable& a, const BoundVariable& b) {
    return a.type == b.type && a.size == b.size && a.decimals == b.decimals;
}

} // namespace

PairValue PairValue::CopyOf(const BoundVariable& source) {
    PairValue v;
    v.field = source;
    v.field.dimension = 1;
    v.owned.assign(static_cast<const uint8_t*>(source.address),
                   static_cast<const uint8_t*>(source.address) + source.size);
    if (v.owned.empty())
        v.owned.resize(1);
    v.field.address = v.owned.data();
    return v;
}

PairValue PairValue::ReferenceTo(const BoundVariable& source) {
    PairValue v;
    v.field = source;
    return v;
}

PairValue::PairValue(PairValue&& other) noexcept : field(other.field), owned(std::move(other.owned)) {
    if (!owned.empty())
        field.address = owned.data();
}

PairValue& PairValue::operator=(PairValue&& other) noexcept {
    field = other.field;
    owned = std::move(other.owned);
    if (!owned.empty())
        field.address = owned.data();
    return *this;
}

bool IsTextValue(const BoundVariable& value) {
    return IsTextType(value.type);
}

std::string ValueText(const BoundVariable& value) {
    const FieldDescription f = description_of(value);
    if (!FieldHasText(f))
        return {};
    return FieldText(f, static_cast<const uint8_t*>(value.address));
}

void AssignValue(const BoundVariable& to, const BoundVariable& from) {
    if (!to.address || !from.address)
        return;
    if (same_shape(to, from)) {
        std::memmove(to.address, from.address, to.size);
        return;
    }
    const FieldDescription f = description_of(to);
    std::string text = ValueText(from);
    if (!IsTextType(to.type) && text.empty())
        text = "0";
    if (!SetFieldText(f, text, static_cast<uint8_t*>(to.address)).empty() && IsTextType(to.type))
        SetFieldText(f, text.substr(0, to.size), static_cast<uint8_t*>(to.address));
}

bool EqualValues(const BoundVariable& a, const BoundVariable& b) {
    if (!a.address || !b.address)
        return a.address == b.address;
    if (same_shape(a, b))
        return CompareField(description_of(a), static_cast<const uint8_t*>(a.address),
                            static_cast<const uint8_t*>(b.address)) == 0;
    return ValueText(a) == ValueText(b);
}

void ClearValue(const BoundVariable& value) {
    if (!value.address)
        return;
    const FieldDescription f = description_of(value);
    ClearRecord(RecordDescription(value.size, {f}), static_cast<uint8_t*>(value.address));
}

void FieldPairs::AddPair(const BoundVariable& left, const BoundVariable& right) {
    m_pairs.push_back({PairValue::ReferenceTo(left), PairValue::ReferenceTo(right)});
}

void FieldPairs::AddItem(const BoundVariable& field) {
    m_pairs.push_back({PairValue::ReferenceTo(field), PairValue::CopyOf(field)});
}

void FieldPairs::AssignLeftToRight() {
    for (Pair& p : m_pairs)
        AssignValue(p.RIGHT.field, p.LEFT.field);
}

void FieldPairs::AssignRightToLeft() {
    for (Pair& p : m_pairs)
        AssignValue(p.LEFT.field, p.RIGHT.field);
}

void FieldPairs::ClearLeft() {
    for (Pair& p : m_pairs)
        ClearValue(p.LEFT.field);
}

void FieldPairs::ClearRight() {
    for (Pair& p : m_pairs)
        ClearValue(p.RIGHT.field);
}

bool FieldPairs::EqualLeftRight() const {
    for (const Pair& p : m_pairs) {
        if (!EqualValues(p.LEFT.field, p.RIGHT.field))
            return false;
    }
    return true;
}

void FieldPairs::Kill() {
    m_pairs.clear();
}

void BufferedPairs::AddPair(const BoundVariable& left, const BoundVariable& right) {
    FieldPairs::AddPair(left, right);
    m_buffers.push_back(PairValue::CopyOf(right));
}

void BufferedPairs::AddItem(const BoundVariable& field) {
    FieldPairs::AddItem(field);
    m_buffers.push_back(PairValue::CopyOf(field));
}

void BufferedPairs::AssignLeftToBuffer() {
    for (size_t i = 0; i < m_pairs.size(); ++i)
        AssignValue(m_buffers[i].field, m_pairs[i].LEFT.field);
}

void BufferedPairs::AssignRightToBuffer() {
    for (size_t i = 0; i < m_pairs.size(); ++i)
        AssignValue(m_buffers[i].field, m_pairs[i].RIGHT.field);
}

void BufferedPairs::AssignBufferToLeft() {
    for (size_t i = 0; i < m_pairs.size(); ++i)
        AssignValue(m_pairs[i].LEFT.field, m_buffers[i].field);
}

void BufferedPairs::AssignBufferToRight() {
    for (size_t i = 0; i < m_pairs.size(); ++i)
        AssignValue(m_pairs[i].RIGHT.field, m_buffers[i].field);
}

bool BufferedPairs::EqualLeftBuffer() const {
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        if (!EqualValues(m_pairs[i].LEFT.field, m_buffers[i].field))
            return false;
    }
    return true;
}

bool BufferedPairs::EqualRightBuffer() const {
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        if (!EqualValues(m_pairs[i].RIGHT.field, m_buffers[i].field))
            return false;
    }
    return true;
}

void BufferedPairs::Kill() {
    FieldPairs::Kill();
    m_buffers.clear();
}

} // namespace morvex
