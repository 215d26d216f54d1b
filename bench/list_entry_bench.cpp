// Lists and entries, headless: drawing a page of 30 rows over a queue of a
// thousand and of a million records (the page must cost the same), moving a
// million-record list by a page and by a thumb drag to the middle, and
// typing a thousand characters into entries with a text and a numeric picture.
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/queue.h"
#include "runtime/threads.h"
#include "window/accept.h"
#include "window/definition_services.h"
#include "window/entry.h"
#include "window/list_box.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

namespace {

using namespace morvex;

struct Row {
    int32_t id;
    char name[20];
    int32_t date;
};

// A window holding a list of 30 rows over `records` records, and two entries.
struct ListWindow {
    Row row{};
    Queue queue{RecordDescription(sizeof(Row), {FieldDescription::Of(FieldType::Long, "ID", 0),
                                                FieldDescription::Sized(FieldType::String, "NAME", 4, 20),
                                                FieldDescription::Of(FieldType::Long, "DATE", 24)}),
                &row};
    char text[200];
    int32_t number = 0;
    Window window;

    explicit ListWindow(int32_t records) {
        InitializeThreads();
        for (int32_t i = 1; i <= records; ++i) {
            row.id = i;
            std::memset(row.name, ' ', sizeof row.name);
            const std::string name = "Customer " + std::to_string(i);
            std::memcpy(row.name, name.data(), std::min(name.size(), sizeof row.name));
            row.date = 73000 + i % 1000;
            queue.Add();
        }
        std::memset(text, ' ', sizeof text);
        const std::shared_ptr<painter::Font> font = FontOfDefinition(nullptr);
        const int row_height = (font ? font->metrics().height : 13) + 2;
        ControlDefinition list;
        list.type = wdf::ListControl;
        list.feq = 1;
        list.x = 4;
        list.y = 4;
        list.width = 400;
        list.height = 30 * row_height + row_height + 4 + 4; // 30 rows, headings, borders
        list.list_format = "60R~Number~@n10@160L~Name~@s20@80L~Since~@d17@";
        ControlDefinition text_entry;
        text_entry.type = wdf::EntryControl;
        text_entry.feq = 2;
        text_entry.x = 4;
        text_entry.y = list.y + list.height + 4;
        text_entry.width = 400;
        text_entry.height = 22;
        text_entry.picture = "s200";
        ControlDefinition number_entry = text_entry;
        number_entry.feq = 3;
        number_entry.y += 26;
        number_entry.picture = "n-14.2";
        WindowDefinition definition;
        definition.caption = "Lists";
        definition.width = DefaultPosition;
        definition.height = DefaultPosition;
        window.LoadDefinition(definition, {list, text_entry, number_entry}, UnitMetricsOf(nullptr));
        window.Bind(1, queue);
        window.Bind(2, BoundVariable{FieldType::String, text, sizeof text, 0, 1});
        window.Bind(3, number);
        window.Open();
        platform::update_window(window.handle());
    }
    ListBox& list() { return static_cast<ListBox&>(*window.control(1)); }
};

void BM_DrawThirtyRows(benchmark::State& state) {
    ListWindow w(static_cast<int32_t>(state.range(0)));
    w.list().select(static_cast<int32_t>(state.range(0)) / 2, 0);
    platform::update_window(w.window.handle());
    for (auto _ : state) {
        w.list().invalidate();
        platform::update_window(w.window.handle());
    }
}
BENCHMARK(BM_DrawThirtyRows)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_PageDownAMillion(benchmark::State& state) {
    ListWindow w(1000000);
    w.list().focus();
    for (auto _ : state) {
        platform::dispatch_message({w.list().handle(), platform::MsgKeyDown, platform::VkNext, 1});
        platform::update_window(w.window.handle());
        if (w.list().selected_row() >= 999000)
            w.list().select(1, 0);
    }
}
BENCHMARK(BM_PageDownAMillion)->Unit(benchmark::kMicrosecond);

void BM_ThumbToTheMiddleOfAMillion(benchmark::State& state) {
    ListWindow w(1000000);
    int32_t top = 1;
    for (auto _ : state) {
        top = top == 1 ? 500000 : 1; // the drag lands in the middle, the next one back at the top
        SetProperty(&w.window, 1, Prop::TopRow, std::to_string(top));
        platform::update_window(w.window.handle());
    }
}
BENCHMARK(BM_ThumbToTheMiddleOfAMillion)->Unit(benchmark::kMicrosecond);

void type_into(benchmark::State& state, int32_t feq, char character) {
    ListWindow w(10);
    Control& entry = *w.window.control(feq);
    for (auto _ : state) {
        entry.focus();
        entry.display();
        for (int i = 0; i < 1000; ++i)
            platform::dispatch_message(
                {entry.handle(), platform::MsgChar, static_cast<uintptr_t>(character), 1});
        platform::update_window(w.window.handle());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_TypeIntoTextEntry(benchmark::State& state) {
    type_into(state, 2, 'x');
}
BENCHMARK(BM_TypeIntoTextEntry)->Unit(benchmark::kMicrosecond);

void BM_TypeIntoNumericEntry(benchmark::State& state) {
    type_into(state, 3, '7');
}
BENCHMARK(BM_TypeIntoNumericEntry)->Unit(benchmark::kMicrosecond);

} // namespace
