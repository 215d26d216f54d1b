// ViewManager: drives one view over a primary file. It keeps sort orders
// (each tied to a key of the primary file) with, per sort order, a range
// limit and named filters; from these it builds the view's order and filter
// texts, opens the view with its page buffering, reads forwards and
// backwards through a hook that can skip records, and primes new records
// with the range values. Errors are reported through the primary
// relation's file manager: 40 for open, order and filter problems, 1 for a
// failed read.
#pragma once

#include "files/view/view_driver.h"
#include "framework/field_pairs.h"
#include "framework/file_relation.h"
#include "runtime/evaluator.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

enum RangeLimitType : uint8_t {
    LimitNone = 0,
    LimitFixed = 1,   // fixed values
    LimitCurrent = 2, // the current value of a variable
    LimitRange = 3,   // low and high values
    LimitFile = 4,    // values of a related file's record
};

struct NamedFilter {
    std::string ID; // at most 30 characters; ids order the filters
    std::unique_ptr<std::string> FILTER;
};

// One sort order. A derived manager's sort orders derive from it and add
// their own fields.
struct SortOrder {
    virtual ~SortOrder() = default;
    std::unique_ptr<std::vector<NamedFilter>> FILTER; // ascending ID; null until a filter is set
    BoundVariable FREEELEMENT;                        // the first key component the range does not hold
    uint8_t LIMITTYPE = LimitNone;
    KeyDeclaration* MAINKEY = nullptr;
    std::unique_ptr<std::string> ORDER; // the view's order text; null when blank
    std::unique_ptr<BufferedPairs> RANGELIST;
};

// The sort orders and which one is current (1-based, 0 none).
struct SortOrderQueue {
    std::vector<std::unique_ptr<SortOrder>> records;
    size_t current = 0;

    SortOrder* current_order() { return current ? records[current - 1].get() : nullptr; }
};

class ViewManager {
public:
    static constexpr size_t FilterLimit = 5000;
    static constexpr size_t ComponentNameLimit = 500;
    static constexpr size_t FilterIdLimit = 30;
    static constexpr std::string_view StandardFilter = "5 Standard";

    ViewManager() = default;
    virtual ~ViewManager();
    ViewManager(const ViewManager&) = delete;
    ViewManager& operator=(const ViewManager&) = delete;

    // The method table, in slot order.
    virtual void ApplyFilter();
    virtual void ApplyOrder();
    virtual uint8_t ApplyRange();
    virtual void Close();
    virtual std::string GetFreeElementName();
    virtual uint8_t GetFreeElementPosition();
    virtual void Kill();
    virtual int Next();
    virtual void Open();
    virtual int Previous();
    virtual int PrimeRecord(bool keep_buffers = false);
    virtual void Reset(uint8_t components);
    virtual void ResetToStart();
    virtual void SetFilter(std::string_view text);
    virtual void SetFilter(std::string_view text, std::string_view id);
    virtual void SetOrder(std::string_view text);
    virtual uint8_t SetSort(uint8_t n);
    virtual uint8_t ValidateRecord();

    void Init(ViewFile& view, FileRelation& primary, SortOrderQueue* order = nullptr);
    void UseView();
    // A new sort order on `key` (made by MakeSortOrder), current; the number of sort orders.
    size_t AddSortOrder(KeyDeclaration& key);
    // A limit of type 2: `field` (a component of the current order's key)
    // held to the current value of `limit`.
    void AddRange(const BoundVariable& field, const BoundVariable& limit);

    // The filter text ApplyFilter builds for the current sort order.
    std::string FilterText();

    uint8_t DISPOSEORDER = 0;
    uint8_t OPENED = 0;
    SortOrderQueue* ORDER = nullptr;
    uint16_t PAGESAHEAD = 0;
    uint16_t PAGESBEHIND = 2;
    uint16_t PAGESIZE = 20;
    FileRelation* PRIMARY = nullptr;
    uint16_t TIMEOUT = 60;
    ViewFile* VIEW = nullptr;

protected:
    // A derived manager with its own sort order records makes them here.
    virtual std::unique_ptr<SortOrder> MakeSortOrder() { return std::make_unique<SortOrder>(); }
    int Throw(uint16_t id);

private:
    int read(bool forward);
    std::string component_name(const SortOrder& order, int32_t n);
    std::string literal(const BoundVariable& value, const std::string& name);

    std::unique_ptr<SortOrderQueue> m_own_order;
};

} // namespace morvex
