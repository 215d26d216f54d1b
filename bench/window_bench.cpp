// The window layer's hot paths: routing mouse moves through a tree of child
// windows (hit test, post, get, dispatch) and a message's round trip through
// a window's queue and procedure.
#include "platform/input.h"
#include "platform/input_injection.h"
#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/windows.h"

#include <benchmark/benchmark.h>

namespace {

using namespace morvex::platform;

intptr_t counting_procedure(void* user_data, const Message& message) {
    if (message.number == MsgMouseMove || message.number == MsgUser)
        ++*static_cast<int64_t*>(user_data);
    return default_window_procedure(message);
}

void register_bench_class() {
    static const bool registered =
        register_window_class(WindowClass{"BenchWindow", &counting_procedure, ClassNoStyle, std::nullopt});
    (void)registered;
}

WindowHandle make_window(WindowHandle parent, Rect rect, int64_t* counter) {
    CreateWindowParams params;
    params.class_name = "BenchWindow";
    params.parent = parent;
    params.rect = rect;
    params.style = StyleVisible;
    params.user_data = counter;
    return create_window(params);
}

// 10 panes of 4 cells each, plus 10 buttons along the bottom: 50 children.
void mouse_moves_through_fifty_children(benchmark::State& state) {
    register_bench_class();
    int64_t handled = 0;
    const WindowHandle top = make_window(0, Rect::FromSize(0, 0, 1000, 500), &handled);
    for (int pane = 0; pane < 10; ++pane) {
        const WindowHandle parent = make_window(top, Rect::FromSize(pane * 100, 0, 100, 400), &handled);
        for (int cell = 0; cell < 4; ++cell)
            make_window(parent, Rect::FromSize(0, cell * 100, 100, 100), &handled);
        make_window(top, Rect::FromSize(pane * 100, 400, 100, 100), &handled);
    }
    dispatch_pending_messages();
    constexpr int Moves = 100000;
    for (auto _ : state) {
        for (int i = 0; i < Moves; ++i) {
            input_mouse_move(top, Point{(i * 37) % 1000, (i * 13) % 500});
            dispatch_pending_messages();
        }
    }
    state.SetItemsProcessed(state.iterations() * Moves);
    benchmark::DoNotOptimize(handled);
    destroy_window(top);
}
BENCHMARK(mouse_moves_through_fifty_children)->Unit(benchmark::kMillisecond);

void post_and_get_through_a_window(benchmark::State& state) {
    register_bench_class();
    int64_t handled = 0;
    const WindowHandle window = make_window(0, Rect::FromSize(0, 0, 10, 10), &handled);
    dispatch_pending_messages();
    Message message;
    for (auto _ : state) {
        post_message(Message{window, MsgUser, 1, 0});
        get_message(message);
        dispatch_message(message);
    }
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(handled);
    destroy_window(window);
}
BENCHMARK(post_and_get_through_a_window);

} // namespace
