// The query manager's dialog (window "fwquery"): a row per queryable field
// with an operator and a value, translated to and from the value syntax the
// field records hold.
//
// Operators and what they write: "=" the value as typed (so a typed
// operator, star or caret keeps its meaning); "<>", "<=" and ">=" the value
// behind that operator; "<" the upper bound and ">" the lower bound alone
// (a value's own "<" would also take the "=" of the value); "Begins" and
// "Contains" the value with its star; "Between" both bounds, inclusive. A
// row the user left as it was keeps its record as it was, so a query the
// rows cannot show exactly (an exclusive range, say) survives the dialog.
#include "framework/framework_windows.h"
#include "framework/query_manager.h"
#include "framework/query_syntax.h"
#include "runtime/fixed_text.h"
#include "runtime/string_ops.h"
#include "window/accept.h"
#include "window/events.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace morvex {

namespace {

constexpr std::string_view DialogLabel = "Query";
constexpr int32_t RowCount = 12;
constexpr int32_t RowStep = 16; // dialog units from row to row
constexpr int32_t TitleBase = 100, OperatorBase = 120, ValueBase = 140, ToBase = 160;
constexpr int32_t OkButton = 1, CancelButton = 2, ClearButton = 3, SaveButton = 4, SaveName = 5,
                  SavePrompt = 6;
constexpr int32_t FirstRowY = 20; // the controls below the rows start under the last row

constexpr std::string_view Between = "Between";

std::string_view text_of(const char* field, std::size_t size) {
    return {field, strnlen(field, size)};
}

template <std::size_t N>
void assign(char (&field)[N], std::string_view value) {
    const std::size_t n = std::min(value.size(), N - 1);
    std::memcpy(field, value.data(), n);
    std::memset(field + n, 0, N - n);
}

struct RowText {
    std::string op;
    std::string value;
    std::string to;
    bool operator==(const RowText&) const = default;
};

// How a field record's values show in a row.
RowText row_of(const QueryFieldRecord& field) {
    const std::string low(CLIP(text_of(field.LOW, sizeof field.LOW)));
    const std::string middle(CLIP(text_of(field.MIDDLE, sizeof field.MIDDLE)));
    const std::string high(CLIP(text_of(field.HIGH, sizeof field.HIGH)));
    if (!low.empty() && !high.empty())
        return {std::string(Between), low, high};
    if (!low.empty())
        return {middle.empty() ? ">" : ">=", low, ""};
    if (!high.empty())
        return {middle.empty() ? "<" : "<=", high, ""};
    const std::size_t end = std::min(middle.find_first_not_of("=<>~"), middle.size());
    if (end > 0 && middle.substr(0, end).find('~') == std::string::npos) {
        // The operator a value's prefix gives together with the "=" of a value.
        const std::string op = NormaliseOperator(middle.substr(0, end), "=").first;
        return {op, middle.substr(end), ""};
    }
    if (middle.size() > 1 && middle.front() == '*')
        return {std::string(ContainsOperator), middle.substr(1), ""};
    if (middle.size() > 1 && middle.back() == '*' && end == 0)
        return {std::string(BeginsOperator), middle.substr(0, middle.size() - 1), ""};
    return {"=", middle, ""};
}

// The field record's values for a row: low, middle, high.
std::array<std::string, 3> values_of(const RowText& row) {
    if (row.value.empty() && row.op != "<>" && !(row.op == Between && !row.to.empty()))
        return {};
    if (row.op == "<")
        return {"", "", row.value};
    if (row.op == ">")
        return {row.value, "", ""};
    if (row.op == "<>" || row.op == "<=" || row.op == ">=")
        return {"", row.op + row.value, ""};
    if (row.op == BeginsOperator)
        return {"", row.value.ends_with('*') ? row.value : row.value + "*", ""};
    if (row.op == ContainsOperator)
        return {"", row.value.starts_with('*') ? row.value : "*" + row.value, ""};
    if (row.op == Between) {
        if (row.to.empty())
            return {row.value, "=", ""};
        if (row.value.empty())
            return {"", "=", row.to};
        return {row.value, "=", row.to};
    }
    return {"", row.value, ""};
}

// A name a saved query can have: the INI file's and the sector name's own
// characters are kept out, and the manager's own names are refused.
bool usable_query_name(std::string_view name) {
    if (name.empty() || name == QueryManager::MruQuery || name == QueryManager::ClearItem)
        return false;
    return name.find_first_of("$,[]=;") == std::string_view::npos;
}

class QueryDialog {
public:
    explicit QueryDialog(QueryManager& manager) : m_manager(manager) {}

    uint8_t run();

private:
    void shape();
    void read_rows();
    void show_to(int32_t row);
    // Writes the rows the user changed into the field records.
    void write_rows();

    struct Row {
        FixedText<10> op;
        FixedText<255> value;
        FixedText<255> to;
        RowText loaded;
    };

    QueryManager& m_manager;
    Window m_window;
    std::array<Row, RowCount> m_rows;
    FixedText<99> m_save_name;
    int32_t m_shown = 0;
};

void QueryDialog::shape() {
    m_shown = std::min<int32_t>(RowCount, static_cast<int32_t>(m_manager.FieldCount()));
    // Definitions give the window's size in its units and the controls' in pixels.
    const int32_t lift = (RowCount - std::max(1, m_shown)) * RowStep;
    const int32_t lift_pixels = m_window.to_pixels_y(FirstRowY + RowCount * RowStep) -
                                m_window.to_pixels_y(FirstRowY + RowCount * RowStep - lift);
    const int32_t below_rows = m_window.to_pixels_y(FirstRowY + RowCount * RowStep - RowStep / 4);
    for (ControlDefinition& control : m_window.controls_to_shape()) {
        const int32_t feq = control.feq;
        if (feq >= TitleBase && feq < ToBase + RowCount) {
            const int32_t row = (feq - TitleBase) % 20;
            if (row >= m_shown)
                continue;
            control.attributes &= ~AttrHidden;
            if (feq < OperatorBase) {
                m_manager.FIELDS->Get(row + 1);
                control.text = std::string(text_of(m_manager.FIELD.TITLE, sizeof m_manager.FIELD.TITLE));
            }
        } else if (control.y >= below_rows) {
            control.y -= lift_pixels;
        }
        if (!m_manager.INIMGR && (feq == SaveButton || feq == SaveName || feq == SavePrompt))
            control.attributes |= AttrHidden;
    }
    m_window.definition_to_shape().height -= lift;
}

void QueryDialog::read_rows() {
    for (int32_t i = 0; i < m_shown; ++i) {
        m_manager.FIELDS->Get(i + 1);
        Row& row = m_rows[static_cast<std::size_t>(i)];
        const RowText shown = row_of(m_manager.FIELD);
        row.op.assign(shown.op);
        row.value.assign(shown.value);
        row.to.assign(shown.to);
        // As the row holds it: a value longer than the entry takes is cut
        // there, and must not count as changed by the user.
        row.loaded = {std::string(row.op.clipped()), std::string(row.value.clipped()),
                      std::string(row.to.clipped())};
    }
}

void QueryDialog::show_to(int32_t i) {
    const bool between = m_rows[static_cast<std::size_t>(i)].op.clipped() == Between;
    SetProperty(&m_window, ToBase + i, Prop::Disable, between ? "0" : "1");
}

void QueryDialog::write_rows() {
    for (int32_t i = 0; i < m_shown; ++i) {
        const Row& row = m_rows[static_cast<std::size_t>(i)];
        const RowText now{std::string(row.op.clipped()), std::string(row.value.clipped()),
                          row.op.clipped() == Between ? std::string(row.to.clipped()) : std::string()};
        if (now == row.loaded)
            continue;
        const std::array<std::string, 3> values = values_of(now);
        m_manager.FIELDS->Get(i + 1);
        assign(m_manager.FIELD.LOW, values[0]);
        assign(m_manager.FIELD.MIDDLE, values[1]);
        assign(m_manager.FIELD.HIGH, values[2]);
        m_manager.FIELDS->Put();
    }
}

uint8_t QueryDialog::run() {
    if (!m_manager.FIELDS)
        return 0;
    RegisterFrameworkWindows();
    m_window.Load(QueryManager::DialogProcedure, DialogLabel);
    shape();
    read_rows();
    for (int32_t i = 0; i < m_shown; ++i) {
        Row& row = m_rows[static_cast<std::size_t>(i)];
        m_window.Bind(OperatorBase + i, row.op);
        m_window.Bind(ValueBase + i, row.value);
        m_window.Bind(ToBase + i, row.to);
    }
    m_save_name.clear();
    m_window.Bind(SaveName, m_save_name);
    m_window.Open();
    for (int32_t i = 0; i < m_shown; ++i)
        show_to(i);
    if (m_shown > 0)
        SELECT(ValueBase);
    uint8_t result = 0;
    ACCEPT(m_window, [&] {
        const int32_t field = FIELD();
        if (EVENT() == Event::NewSelection && field >= OperatorBase && field < OperatorBase + m_shown) {
            show_to(field - OperatorBase);
            return LoopOutcome::Completed;
        }
        if (EVENT() != Event::Accepted)
            return LoopOutcome::Completed;
        switch (field) {
        case OkButton:
            m_window.Update();
            write_rows();
            result = 1;
            PostEvent(m_window, Event::CloseWindow);
            break;
        case SaveButton: {
            m_window.Update();
            const std::string name(m_save_name.clipped());
            if (!usable_query_name(name)) {
                SELECT(SaveName);
                break;
            }
            write_rows();
            m_manager.SaveQuery(name);
            result = 1;
            PostEvent(m_window, Event::CloseWindow);
            break;
        }
        case ClearButton:
            m_manager.ClearQuery();
            result = 1;
            PostEvent(m_window, Event::CloseWindow);
            break;
        case CancelButton:
            PostEvent(m_window, Event::CloseWindow);
            break;
        default:
            break;
        }
        return LoopOutcome::Completed;
    });
    m_window.Close();
    return result;
}

} // namespace

uint8_t QueryManager::Ask(uint8_t) {
    QueryDialog dialog(*this);
    return dialog.run();
}

} // namespace morvex
