// Field pair lists: pairs of values that travel together, such as a range
// limit's live variable and the value the current filter was built from, or
// the linking fields of two related files. A value is either a reference to a
// program field or a value the list holds itself; the buffered list keeps a
// third, saved value per pair.
#pragma once

#include "runtime/evaluator.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace morvex {

// A value in a pair: a reference to a field, or (when `owned` is not empty)
// storage of the list's own that `field.address` points into.
struct PairValue {
    BoundVariable field;
    std::vector<uint8_t> owned;

    // A value held by the list: a copy of `source`'s current contents.
    static PairValue CopyOf(const BoundVariable& source);
    static PairValue ReferenceTo(const BoundVariable& source);
    PairValue() = default;
    PairValue(PairValue&& other) noexcept;
    PairValue& operator=(PairValue&& other) noexcept;
};

// to := from, converting through the value's text when the types differ.
void AssignValue(const BoundVariable& to, const BoundVariable& from);
bool EqualValues(const BoundVariable& a, const BoundVariable& b);
// Zero, or blanks for text.
void ClearValue(const BoundVariable& value);
// The value as text: numbers in decimal, text without its trailing blanks.
std::string ValueText(const BoundVariable& value);
bool IsTextValue(const BoundVariable& value);

class FieldPairs {
public:
    struct Pair {
        PairValue LEFT;
        PairValue RIGHT;
    };

    virtual ~FieldPairs() = default;
    virtual void AddPair(const BoundVariable& left, const BoundVariable& right);
    virtual void AddItem(const BoundVariable& field);
    void AssignLeftToRight();
    void AssignRightToLeft();
    void ClearLeft();
    void ClearRight();
    bool EqualLeftRight() const;
    virtual void Kill();

    std::vector<Pair>& pairs() { return m_pairs; }
    size_t size() const { return m_pairs.size(); }

protected:
    std::vector<Pair> m_pairs;
};

class BufferedPairs : public FieldPairs {
public:
    void AddPair(const BoundVariable& left, const BoundVariable& right) override;
    void AddItem(const BoundVariable& field) override;
    void AssignLeftToBuffer();
    void AssignRightToBuffer();
    void AssignBufferToLeft();
    void AssignBufferToRight();
    bool EqualLeftBuffer() const;
    bool EqualRightBuffer() const;
    void Kill() override;

    // The saved value of pair i (0-based).
    const BoundVariable& buffer(size_t i) const { return m_buffers[i].field; }

private:
    std::vector<PairValue> m_buffers;
};

} // namespace morvex
