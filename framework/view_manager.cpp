// ViewManager (view_manager.h).
#include "framework/view_manager.h"

#include "files/driver.h"
#include "files/file_statements.h"
#include "framework/error_reporter.h"
#include "framework/file_manager.h"
#include "framework/file_manager_errors.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <algorithm>

namespace morvex {

namespace {

constexpr uint16_t ViewOpenError = 40;
constexpr int32_t ViewAccessMode = 0x22;

bool blank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

} // namespace

ViewManager::~ViewManager() = default;

void ViewManager::Init(ViewFile& view, FileRelation& primary, SortOrderQueue* order) {
    VIEW = &view;
    PRIMARY = &primary;
    if (order) {
        ORDER = order;
        DISPOSEORDER = 0;
    } else {
        m_own_order = std::make_unique<SortOrderQueue>();
        ORDER = m_own_order.get();
        DISPOSEORDER = 1;
    }
    PAGESIZE = 20;
    PAGESBEHIND = 2;
    PAGESAHEAD = 0;
    TIMEOUT = 60;
    UseView();
}

void ViewManager::UseView() {
    for (FileDeclaration* file : VIEW->view().files()) {
        FileManager* manager = FileManagerFor(*file);
        if (!manager || manager->UseFile(2) != Level::Benign)
            break;
    }
}

int ViewManager::Throw(uint16_t id) {
    if (!PRIMARY || !PRIMARY->ME)
        return Level::Notify;
    return PRIMARY->ME->Throw(id);
}

size_t ViewManager::AddSortOrder(KeyDeclaration& key) {
    std::unique_ptr<SortOrder> order = MakeSortOrder();
    order->MAINKEY = &key;
    order->RANGELIST = std::make_unique<BufferedPairs>();
    if (PRIMARY && PRIMARY->ME)
        order->FREEELEMENT = PRIMARY->ME->GetComponentField(key, 1);
    ORDER->records.push_back(std::move(order));
    ORDER->current = ORDER->records.size();
    SetOrder(PRIMARY && PRIMARY->ME ? PRIMARY->ME->GetOrder(key, 1) : std::string());
    return ORDER->records.size();
}

void ViewManager::AddRange(const BoundVariable& field, const BoundVariable& limit) {
    SortOrder* order = ORDER->current_order();
    if (!order || !order->MAINKEY || !PRIMARY || !PRIMARY->ME)
        return;
    FileManager& me = *PRIMARY->ME;
    order->LIMITTYPE = LimitCurrent;
    order->RANGELIST->Kill();
    for (int32_t n = 1; n <= order->MAINKEY->component_count(); ++n) {
        const BoundVariable component = me.GetComponentField(*order->MAINKEY, n);
        if (component.address == field.address)
            break;
        order->RANGELIST->AddItem(component);
    }
    order->RANGELIST->AddItem(limit);
    order->FREEELEMENT = me.GetComponentField(*order->MAINKEY, GetFreeElementPosition());
    SetOrder(me.GetOrder(*order->MAINKEY, 1));
}

uint8_t ViewManager::GetFreeElementPosition() {
    SortOrder* order = ORDER ? ORDER->current_order() : nullptr;
    if (!order || !order->MAINKEY)
        return 0;
    const size_t pairs = order->RANGELIST ? order->RANGELIST->size() : 0;
    const size_t position = order->LIMITTYPE == LimitRange ? pairs : pairs + 1;
    if (position > static_cast<size_t>(order->MAINKEY->component_count()))
        return 0;
    return static_cast<uint8_t>(position);
}

std::string ViewManager::GetFreeElementName() {
    const uint8_t position = GetFreeElementPosition();
    SortOrder* order = ORDER->current_order();
    if (position == 0 || !order)
        return {};
    return component_name(*order, position);
}

std::string ViewManager::component_name(const SortOrder& order, int32_t n) {
    if (!PRIMARY || !PRIMARY->ME)
        return {};
    std::string name = PRIMARY->ME->GetComponentName(*order.MAINKEY, n);
    if (name.size() > ComponentNameLimit)
        name.resize(ComponentNameLimit);
    return name;
}

std::string ViewManager::literal(const BoundVariable& value, const std::string& name) {
    std::string text = ValueText(value);
    if (!IsTextValue(value))
        return text.empty() ? "0" : text;
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    quoted += '\'';
    if (name.find("UPPER(") != std::string::npos)
        return "UPPER(" + quoted + ")";
    return quoted;
}

std::string ViewManager::FilterText() {
    SortOrder* order = ORDER ? ORDER->current_order() : nullptr;
    std::string f;
    if (!order)
        return f;
    const size_t n = order->RANGELIST ? order->RANGELIST->size() : 0;
    auto condition = [&](size_t i) {
        const std::string name = component_name(*order, static_cast<int32_t>(i));
        return name + " = " + literal(order->RANGELIST->pairs()[i - 1].RIGHT.field, name);
    };
    switch (order->LIMITTYPE) {
    case LimitFixed:
    case LimitCurrent:
    case LimitFile:
        for (size_t i = 1; i <= n; ++i)
            f += (i == 1 ? "" : " AND ") + condition(i);
        break;
    case LimitRange:
        if (n >= 2) {
            for (size_t i = 1; i + 2 <= n; ++i)
                f += (i == 1 ? "" : " AND ") + condition(i);
            const std::string c = component_name(*order, static_cast<int32_t>(n - 1));
            f += (f.empty() ? "" : " AND ") + c +
                 " >= " + literal(order->RANGELIST->pairs()[n - 2].RIGHT.field, c);
            f += " AND " + c + " <= " + literal(order->RANGELIST->pairs()[n - 1].RIGHT.field, c);
        }
        break;
    default:
        break;
    }
    if (order->FILTER) {
        for (const NamedFilter& named : *order->FILTER)
            f += (f.empty() ? "(" : " AND (") + *named.FILTER + ")";
    }
    if (f.size() > FilterLimit)
        f.resize(FilterLimit);
    return f;
}

void ViewManager::ApplyFilter() {
    SetFileProperty(VIEW->file(), ViewPropertyFilter, FilterText());
    if (ErrorCode() != 0)
        Throw(ViewOpenError);
}

void ViewManager::ApplyOrder() {
    SortOrder* order = ORDER->current_order();
    SetFileProperty(VIEW->file(), ViewPropertyOrder, order && order->ORDER ? *order->ORDER : std::string());
    if (ErrorCode() != 0)
        Throw(ViewOpenError);
}

uint8_t ViewManager::ApplyRange() {
    SortOrder* order = ORDER->current_order();
    if (!order || !order->RANGELIST)
        return 0;
    std::vector<FieldPairs::Pair>& pairs = order->RANGELIST->pairs();
    const size_t n = pairs.size();
    auto live_changed = [&](size_t i) {
        return !EqualValues(pairs[i - 1].LEFT.field, pairs[i - 1].RIGHT.field);
    };
    switch (order->LIMITTYPE) {
    case LimitRange:
        if (n >= 2 && live_changed(n - 1)) {
            AssignValue(pairs[n - 2].RIGHT.field, pairs[n - 2].LEFT.field);
            AssignValue(pairs[n - 1].RIGHT.field, pairs[n - 1].LEFT.field);
            ApplyFilter();
            return 1;
        }
        [[fallthrough]];
    case LimitCurrent:
        if (n >= 1 && live_changed(n)) {
            AssignValue(pairs[n - 1].RIGHT.field, pairs[n - 1].LEFT.field);
            ApplyFilter();
            return 1;
        }
        return 0;
    case LimitFile:
        if (!order->RANGELIST->EqualRightBuffer()) {
            order->RANGELIST->AssignRightToBuffer();
            ApplyFilter();
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

void ViewManager::Open() {
    if (OPENED)
        return;
    OPEN(VIEW->file(), ViewAccessMode);
    if (ErrorCode() != 0) {
        Throw(ViewOpenError);
        return;
    }
    CallDriver(DriverOperation::Buffer, VIEW->file(), int32_t{PAGESIZE}, int32_t{PAGESBEHIND},
               int32_t{PAGESAHEAD}, int32_t{TIMEOUT});
    OPENED = 1;
    ApplyOrder();
    ApplyFilter();
}

void ViewManager::Close() {
    if (OPENED)
        CLOSE(VIEW->file());
    OPENED = 0;
}

void ViewManager::Reset(uint8_t components) {
    Open();
    SETview(VIEW->file(), components);
    if (ErrorCode() != 0)
        Throw(ViewOpenError);
}

void ViewManager::ResetToStart() {
    Reset(0);
}

int ViewManager::read(bool forward) {
    for (;;) {
        forward ? NEXT(VIEW->file()) : PREVIOUS(VIEW->file());
        if (ErrorCode() == ErrRecordNotAvailable)
            return Level::Notify;
        if (ErrorCode() != 0) {
            Throw(RecordRetrievalError);
            return Level::Fatal;
        }
        switch (ValidateRecord()) {
        case 0:
            return Level::Benign;
        case 1:
            continue;
        default:
            return Level::Notify;
        }
    }
}

int ViewManager::Next() {
    return read(true);
}

int ViewManager::Previous() {
    return read(false);
}

uint8_t ViewManager::ValidateRecord() {
    return 0;
}

int ViewManager::PrimeRecord(bool keep_buffers) {
    if (!keep_buffers) {
        for (FileDeclaration* file : VIEW->view().files())
            file->clear_record();
    }
    SortOrder* order = ORDER->current_order();
    if (order && order->MAINKEY && order->RANGELIST && order->LIMITTYPE != LimitNone && PRIMARY &&
        PRIMARY->ME) {
        const size_t pairs = order->RANGELIST->size();
        const size_t held = order->LIMITTYPE == LimitRange ? (pairs >= 2 ? pairs - 2 : 0) : pairs;
        for (size_t i = 1; i <= held; ++i) {
            const BoundVariable component =
                PRIMARY->ME->GetComponentField(*order->MAINKEY, static_cast<int32_t>(i));
            AssignValue(component, order->RANGELIST->pairs()[i - 1].RIGHT.field);
        }
    }
    if (!PRIMARY || !PRIMARY->ME)
        return Level::Benign;
    return PRIMARY->ME->PrimeRecord(true);
}

void ViewManager::SetFilter(std::string_view text) {
    SetFilter(text, StandardFilter);
}

void ViewManager::SetFilter(std::string_view text, std::string_view id) {
    SortOrder* order = ORDER->current_order();
    if (!order)
        return;
    const std::string key(id.substr(0, FilterIdLimit));
    if (!order->FILTER)
        order->FILTER = std::make_unique<std::vector<NamedFilter>>();
    std::vector<NamedFilter>& filters = *order->FILTER;
    auto at = std::lower_bound(filters.begin(), filters.end(), key,
                               [](const NamedFilter& f, const std::string& k) { return f.ID < k; });
    const bool present = at != filters.end() && at->ID == key;
    if (blank(text)) {
        if (present)
            filters.erase(at);
        return;
    }
    if (present)
        *at->FILTER = std::string(text);
    else
        filters.insert(at, NamedFilter{key, std::make_unique<std::string>(text)});
}

void ViewManager::SetOrder(std::string_view text) {
    SortOrder* order = ORDER->current_order();
    if (!order)
        return;
    order->ORDER = blank(text) ? nullptr : std::make_unique<std::string>(text);
}

uint8_t ViewManager::SetSort(uint8_t n) {
    if (n == 0)
        n = 1;
    if (ORDER->current == n || n > ORDER->records.size())
        return 0;
    ORDER->current = n;
    return 1;
}

void ViewManager::Kill() {
    if (!ORDER)
        return;
    for (auto& order : ORDER->records) {
        if (order->RANGELIST)
            order->RANGELIST->Kill();
        order->RANGELIST.reset();
        order->FILTER.reset();
        order->ORDER.reset();
        order->FREEELEMENT = BoundVariable{};
    }
    if (DISPOSEORDER) {
        m_own_order.reset();
        ORDER = nullptr;
    }
}

} // namespace morvex
