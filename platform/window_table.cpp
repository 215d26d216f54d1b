// The window table's tree walks: geometry in top-level coordinates, the
// invalid bookkeeping and paint order, and the routing of mouse input.
#include "platform/window_table.h"

#include "platform/window_messages.h"
#include "platform/windows.h"

namespace morvex::platform {

void Deferred::send(const Message& message) {
    m_work.push_back([message] { send_message(message); });
}

void Deferred::notify_paint(ThreadKey thread) {
    m_work.push_back([thread] { notify_paint_needed(thread); });
}

void Deferred::run() {
    // Each item was fixed while the lock was held; running them takes no lock.
    for (std::function<void()>& work : m_work)
        work();
    m_work.clear();
}

namespace {

bool paint_source(ThreadKey thread, const MessageFilter& filter, Message& message) {
    const WindowHandle window = window_table().first_to_paint(thread, filter.window);
    if (window == 0)
        return false;
    message = Message{window, MsgPaint, 0, 0};
    return true;
}

// Keys go to the focus window when it belongs to the thread taking them.
WindowHandle keyboard_target(WindowHandle posted_to) {
    const WindowHandle focus = focus_window();
    return focus != 0 && window_thread(focus) == current_thread() ? focus : posted_to;
}

} // namespace

WindowTable& window_table() {
    static WindowTable* instance = [] {
        set_paint_source(&paint_source);
        set_keyboard_target(&keyboard_target);
        return new WindowTable; // lives until the process ends, as the queues do
    }();
    return *instance;
}

WindowRecord* WindowTable::find(WindowHandle window) {
    auto found = windows.find(window);
    return found == windows.end() ? nullptr : found->second.get();
}

WindowRecord* WindowTable::find_live(WindowHandle window) {
    WindowRecord* record = find(window);
    return record && !record->destroying ? record : nullptr;
}

WindowHandle WindowTable::top_level_of(WindowHandle window) {
    WindowRecord* record = find(window);
    while (record && record->parent != 0)
        record = find(record->parent);
    return record ? record->handle : 0;
}

bool WindowTable::visible_with_ancestors(const WindowRecord& record) {
    const WindowRecord* current = &record;
    while (current) {
        if (!current->visible)
            return false;
        current = current->parent ? find(current->parent) : nullptr;
    }
    return true;
}

bool WindowTable::is_descendant(WindowHandle ancestor, WindowHandle window) {
    if (ancestor == 0)
        return false;
    WindowRecord* record = find(window);
    while (record) {
        if (record->handle == ancestor)
            return true;
        record = record->parent ? find(record->parent) : nullptr;
    }
    return false;
}

Point WindowTable::origin_in_top_level(const WindowRecord& record) {
    Point origin;
    const WindowRecord* current = &record;
    while (current && current->parent != 0) {
        origin.x += current->rect.left;
        origin.y += current->rect.top;
        current = find(current->parent);
    }
    return origin;
}

Rect WindowTable::clip_in_top_level(const WindowRecord& record) {
    const Point origin = origin_in_top_level(record);
    Rect clip = Rect::FromSize(origin.x, origin.y, record.rect.width(), record.rect.height());
    const WindowRecord* current = record.parent ? find(record.parent) : nullptr;
    while (current) {
        const Point parent_origin = origin_in_top_level(*current);
        clip = clip.intersect(
            Rect::FromSize(parent_origin.x, parent_origin.y, current->rect.width(), current->rect.height()));
        current = current->parent ? find(current->parent) : nullptr;
    }
    return clip;
}

Point WindowTable::screen_origin(const WindowRecord& record) {
    const Point origin = origin_in_top_level(record);
    const WindowRecord* top = find(top_level_of(record.handle));
    return top ? Point{top->rect.left + origin.x, top->rect.top + origin.y} : origin;
}

void WindowTable::set_invalid(WindowRecord& record, const Rect& invalid, Deferred& deferred) {
    const bool was = !record.invalid.empty();
    record.invalid = invalid.empty() ? Rect{} : invalid;
    const bool is = !record.invalid.empty();
    if (was == is)
        return;
    int& count = invalid_windows[record.thread];
    count += is ? 1 : -1;
    if (count == 0)
        invalid_windows.erase(record.thread);
    if (is)
        deferred.notify_paint(record.thread);
}

namespace {

struct InvalidateWalk {
    const WindowRecord* from;
    Rect area;
    Deferred& deferred;
    bool include_from = true;
    bool after = false;
};

void visit(WindowTable& table, InvalidateWalk& walk, WindowRecord& record, Point origin,
           const Rect& parent_clip) MORVEX_REQUIRES(table.mutex) {
    if (!record.visible)
        return;
    const Rect own = Rect::FromSize(origin.x, origin.y, record.rect.width(), record.rect.height());
    const Rect clip = parent_clip.intersect(own);
    const bool skip = &record == walk.from && !walk.include_from;
    if (&record == walk.from)
        walk.after = true;
    if (walk.after && !skip && !record.destroying) {
        const Rect part = clip.intersect(walk.area);
        if (!part.empty())
            table.set_invalid(record, record.invalid.unite(part.offset(-origin.x, -origin.y)), walk.deferred);
    }
    for (WindowHandle child : record.children) {
        if (WindowRecord* child_record = table.find(child))
            visit(table, walk, *child_record,
                  Point{origin.x + child_record->rect.left, origin.y + child_record->rect.top}, clip);
    }
}

} // namespace

void WindowTable::invalidate_from(WindowRecord& from, const Rect& area, Deferred& deferred,
                                  bool include_from) {
    if (!visible_with_ancestors(from))
        return;
    WindowRecord* top = find(top_level_of(from.handle));
    if (!top)
        return;
    InvalidateWalk walk{&from, area, deferred, include_from};
    visit(*this, walk, *top, Point{}, Rect::FromSize(0, 0, top->rect.width(), top->rect.height()));
}

void WindowTable::invalidate_after(WindowRecord& from, const Rect& area, Deferred& deferred) {
    invalidate_from(from, area, deferred, false);
}

void WindowTable::clear_invalid_tree(WindowRecord& record, Deferred& deferred) {
    set_invalid(record, Rect{}, deferred);
    for (WindowHandle child : record.children) {
        if (WindowRecord* child_record = find(child))
            clear_invalid_tree(*child_record, deferred);
    }
}

bool WindowTable::first_to_paint_in(WindowRecord& record, ThreadKey thread, WindowHandle only,
                                    WindowHandle& found) {
    if (!record.visible)
        return false;
    if (record.thread == thread && !record.invalid.empty() && !record.destroying &&
        (only == 0 || only == record.handle)) {
        found = record.handle;
        return true;
    }
    for (WindowHandle child : record.children) {
        WindowRecord* child_record = find(child);
        if (child_record && first_to_paint_in(*child_record, thread, only, found))
            return true;
    }
    return false;
}

WindowHandle WindowTable::first_to_paint(ThreadKey thread, WindowHandle only) {
    MutexLock lock(mutex);
    if (!invalid_windows.contains(thread))
        return 0;
    WindowHandle found = 0;
    for (WindowHandle top : top_levels) {
        WindowRecord* record = find(top);
        if (record && first_to_paint_in(*record, thread, only, found))
            return found;
    }
    return 0;
}

namespace {

// The deepest enabled, visible window at `point` (coordinates of `record`).
WindowRecord* hit_test(WindowTable& table, WindowRecord& record, Point point, Point& client)
    MORVEX_REQUIRES(table.mutex) {
    for (auto it = record.children.rbegin(); it != record.children.rend(); ++it) {
        WindowRecord* child = table.find(*it);
        if (!child || !child->visible || !child->enabled || child->destroying || !child->rect.contains(point))
            continue;
        return hit_test(table, *child, Point{point.x - child->rect.left, point.y - child->rect.top}, client);
    }
    client = point;
    return &record;
}

} // namespace

MouseRoute route_mouse(WindowHandle top_level, Point point) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    MouseRoute route;
    WindowRecord* top = table.find_live(top_level);
    if (!top)
        return route;
    route.screen = Point{top->rect.left + point.x, top->rect.top + point.y};
    WindowRecord* target = nullptr;
    if (WindowRecord* capture = table.find_live(table.capture)) {
        target = capture;
        const Point origin = table.screen_origin(*capture);
        route.client = Point{route.screen.x - origin.x, route.screen.y - origin.y};
    } else {
        if (!top->visible || !top->enabled || point.x < 0 || point.y < 0 || point.x >= top->rect.width() ||
            point.y >= top->rect.height())
            return route;
        target = hit_test(table, *top, point, route.client);
    }
    route.target = target->handle;
    route.double_clicks = (target->window_class->style & ClassDoubleClicks) != 0;
    route.target_top_level = table.top_level_of(target->handle);
    route.activate = route.target_top_level != table.active;
    return route;
}

WindowHandle window_from_point(WindowHandle top_level, Point point) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    WindowRecord* top = table.find_live(top_level);
    if (!top || top->parent != 0 || !top->visible || !top->enabled ||
        !Rect::FromSize(0, 0, top->rect.width(), top->rect.height()).contains(point))
        return 0;
    Point client;
    return hit_test(table, *top, point, client)->handle;
}

} // namespace morvex::platform
