#include "app/customer_browse.h"

#include "app/dictionary.h"
#include "app/dictionary_managers.h"
#include "framework/error_reporter.h"
#include "framework/file_manager.h"
#include "framework/window_controller.h"
#include "runtime/queue.h"
#include "window/bound_value.h"
#include "window/window.h"

namespace tavemon {

using namespace morvex;

namespace {

// The browse queue: CUS:STARTDATE, CUS:NAME, CUS:CUSID, MARK, VIEWPOSITION.
constexpr uint32_t PositionSize = 1024;
RecordDescription row_description() {
    return RecordDescription(4 + 20 + 4 + 1 + PositionSize,
                             {FieldDescription::Of(FieldType::Long, "CUS:STARTDATE", 0),
                              FieldDescription::Sized(FieldType::String, "CUS:NAME", 4, 20),
                              FieldDescription::Of(FieldType::Long, "CUS:CUSID", 24),
                              FieldDescription::Of(FieldType::Byte, "MARK", 28),
                              FieldDescription::Sized(FieldType::String, "VIEWPOSITION", 29, PositionSize)});
}

BoundVariable customer_field(const char* label) {
    return FieldVariable(Customer.record.field(Customer.find_field(label)), Customer.buffer());
}

} // namespace

CustomerBrowse::CustomerBrowse() {
    const RecordDescription description = row_description();
    m_row.assign(description.record_size(), 0);
    m_queue = std::make_unique<Queue>(description, m_row.data());
}

CustomerBrowse::~CustomerBrowse() = default;

bool CustomerBrowse::Open(WindowController& controller, int32_t list) {
    if (!RelateCustomer)
        return false;
    controller.window().Bind(list, *m_queue);
    // Customer (and Goods with it) for use; created empty when missing.
    RelateCustomer->Open();
    m_opened = true;
    m_view = std::make_unique<ViewFile>(Customer);
    const RecordDescription& row = m_queue->description();
    m_browse.Init(list, FieldVariable(row.field(5), m_row.data()), *m_view, *m_queue, *RelateCustomer,
                  controller);
    return true;
}

void CustomerBrowse::Limit(int32_t& selected_date) {
    if (!m_opened)
        return;
    m_browse.AddSortOrder(nullptr, CUS_ByStartDateName());
    m_browse.AddRange(customer_field("CUS:STARTDATE"),
                      BoundVariable{FieldType::Long, &selected_date, sizeof selected_date, 0, 1});
    m_locator.Init(m_browse, customer_field("CUS:NAME"), true);
    m_browse.AddLocator(m_locator);
    const RecordDescription& row = m_queue->description();
    m_browse.AddField(customer_field("CUS:STARTDATE"), FieldVariable(row.field(1), m_row.data()));
    m_browse.AddField(customer_field("CUS:NAME"), FieldVariable(row.field(2), m_row.data()));
    m_browse.AddField(customer_field("CUS:CUSID"), FieldVariable(row.field(3), m_row.data()));
}

void CustomerBrowse::Close() {
    if (m_opened && RelateCustomer)
        RelateCustomer->Close();
    m_opened = false;
}

} // namespace tavemon
