// The window operations of platform/windows.h. Each one changes the table
// under its lock and sends the resulting messages after letting it go, so
// that procedures can call back into any of these functions.
#include "platform/windows.h"

#include "platform/backend.h"
#include "platform/charset.h"
#include "platform/window_messages.h"
#include "platform/window_paint.h"
#include "platform/window_table.h"

#include <algorithm>
#include <atomic>
#include <cctype>

namespace morvex::platform {

namespace {

std::atomic<DiscardedMessageHandler> g_discarded_handler{nullptr};

void present_exposed(WindowHandle top_level) {
    WindowTable& table = window_table();
    Rect exposed;
    std::shared_ptr<WindowSurface> surface;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(top_level);
        if (!record || !record->surface)
            return;
        exposed = record->exposed;
        record->exposed = Rect{};
        surface = record->surface;
    }
    MutexLock lock(surface->mutex);
    const Rect dirty =
        exposed.intersect(Rect::FromSize(0, 0, surface->pixels.width(), surface->pixels.height()));
    if (!dirty.empty())
        backend().present(top_level, surface->pixels, dirty);
}

void deactivate(WindowHandle top_level);

// Every window's procedure as the message queues see it: the platform's own
// messages are handled here, the rest go to the class procedure with the
// window's user data.
intptr_t window_trampoline(void* context, const Message& message) {
    switch (message.number) {
    case MsgPlatformActivate:
        if (message.wparam)
            activate_window(message.window);
        else
            deactivate(message.window);
        return 0;
    case MsgPlatformExpose:
        present_exposed(message.window);
        return 0;
    default:
        break;
    }
    void* user_data = nullptr;
    {
        WindowTable& table = window_table();
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find(message.window);
        if (!record)
            return 0;
        user_data = record->user_data;
    }
    return static_cast<const WindowClass*>(context)->procedure(user_data, message);
}

// Lets go focus, capture and activation held by `root` or inside it.
void let_go_inside(WindowTable& table, WindowHandle root, Deferred& deferred, bool activation)
    MORVEX_REQUIRES(table.mutex) {
    if (table.is_descendant(root, table.focus)) {
        const WindowHandle old = table.focus;
        table.focus = 0;
        deferred.send(Message{old, MsgKillFocus, 0, 0});
    }
    if (table.is_descendant(root, table.capture)) {
        const WindowHandle old = table.capture;
        table.capture = 0;
        deferred.send(Message{old, MsgCaptureChanged, 0, 0});
    }
    if (activation && table.active == root) {
        table.active = 0;
        deferred.send(Message{root, MsgActivate, 0, 0});
    }
}

void move_to_top(std::vector<WindowHandle>& order, WindowHandle window) {
    auto found = std::find(order.begin(), order.end(), window);
    if (found != order.end())
        std::rotate(found, found + 1, order.end());
}

// Moves the focus, with MsgKillFocus and MsgSetFocus; returns the old focus.
WindowHandle change_focus(WindowHandle window) {
    WindowTable& table = window_table();
    WindowHandle old;
    {
        MutexLock lock(table.mutex);
        old = table.focus;
        if (old == window)
            return old;
    }
    if (old != 0)
        send_message(Message{old, MsgKillFocus, window, 0});
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record)
            return old;
        table.focus = window;
        if (WindowRecord* top = table.find(table.top_level_of(window)))
            top->last_focus = window;
    }
    send_message(Message{window, MsgSetFocus, old, 0});
    return old;
}

bool can_take_focus(WindowTable& table, const WindowRecord& record) MORVEX_REQUIRES(table.mutex) {
    return record.enabled && table.visible_with_ancestors(record);
}

bool activate(WindowHandle top_level, WindowHandle focus_target) {
    WindowTable& table = window_table();
    WindowHandle old = 0;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(top_level);
        if (!record || record->parent != 0)
            return false;
        move_to_top(table.top_levels, top_level);
        old = table.active;
        table.active = top_level;
    }
    if (old != top_level) {
        backend().top_level_activated(top_level);
        if (old != 0)
            send_message(Message{old, MsgActivate, 0, static_cast<intptr_t>(top_level)});
        send_message(Message{top_level, MsgActivate, 1, static_cast<intptr_t>(old)});
    }
    WindowHandle focus = focus_target;
    if (focus == 0) {
        MutexLock lock(table.mutex);
        if (table.is_descendant(top_level, table.focus))
            return true;
        WindowRecord* last = table.find_live(table.find(top_level) ? table.find(top_level)->last_focus : 0);
        focus = last && table.is_descendant(top_level, last->handle) && can_take_focus(table, *last)
                    ? last->handle
                    : top_level;
    }
    change_focus(focus);
    return true;
}

void deactivate(WindowHandle top_level) {
    WindowTable& table = window_table();
    WindowHandle old_focus = 0;
    {
        MutexLock lock(table.mutex);
        if (table.active != top_level)
            return;
        table.active = 0;
        if (table.is_descendant(top_level, table.focus)) {
            old_focus = table.focus;
            table.focus = 0;
        }
    }
    send_message(Message{top_level, MsgActivate, 0, 0});
    if (old_focus != 0)
        send_message(Message{old_focus, MsgKillFocus, 0, 0});
}

enum class MoveSource { Program, Backend };

bool move_window_from(WindowHandle window, const Rect& rect, MoveSource source) {
    if (rect.width() < 0 || rect.height() < 0)
        return false;
    WindowTable& table = window_table();
    Deferred deferred;
    bool moved = false;
    bool sized = false;
    std::shared_ptr<WindowSurface> surface;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record)
            return false;
        const Rect old = record->rect;
        if (old == rect)
            return true;
        moved = old.left != rect.left || old.top != rect.top;
        sized = old.width() != rect.width() || old.height() != rect.height();
        if (record->parent != 0) {
            const Rect old_area = table.clip_in_top_level(*record);
            record->rect = rect;
            if (WindowRecord* parent = table.find(record->parent))
                table.invalidate_from(*parent, old_area, deferred);
            table.invalidate_from(*record, table.clip_in_top_level(*record), deferred);
        } else {
            record->rect = rect;
            surface = record->surface;
        }
    }
    if (surface) {
        if (sized) {
            {
                MutexLock lock(surface->mutex);
                surface->pixels.resize(rect.width(), rect.height());
            }
            MutexLock lock(table.mutex);
            if (WindowRecord* record = table.find_live(window))
                table.invalidate_from(*record, Rect::FromSize(0, 0, rect.width(), rect.height()), deferred);
        }
        if (source == MoveSource::Program)
            backend().top_level_moved(window, rect);
    }
    deferred.run();
    const auto deliver = [source](const Message& message) {
        if (source == MoveSource::Backend)
            post_message(message);
        else
            send_message(message);
    };
    if (moved)
        deliver(Message{window, MsgMove, 0, MakeLParam(rect.left, rect.top)});
    if (sized)
        deliver(Message{window, MsgSize, 0, MakeLParam(rect.width(), rect.height())});
    return true;
}

// The bounding box of what is left of `a` once `b` is taken away.
Rect subtract(const Rect& a, const Rect& b) {
    const Rect common = a.intersect(b);
    if (common.empty())
        return a;
    if (common == a)
        return Rect{};
    Rect rest = a;
    if (common.left == a.left && common.right == a.right) {
        if (common.top == a.top)
            rest.top = common.bottom;
        else if (common.bottom == a.bottom)
            rest.bottom = common.top;
    } else if (common.top == a.top && common.bottom == a.bottom) {
        if (common.left == a.left)
            rest.left = common.right;
        else if (common.right == a.right)
            rest.right = common.left;
    }
    return rest;
}

} // namespace

WindowHandle create_window(const CreateWindowParams& params) {
    const WindowClass* window_class = find_window_class(params.class_name);
    if (!window_class)
        return 0;
    const ThreadKey thread = current_thread();
    WindowTable& table = window_table();
    CreateWindowParams given = params;
    WindowHandle handle = 0;
    {
        MutexLock lock(table.mutex);
        if (given.parent != 0) {
            if (!table.find_live(given.parent))
                return 0;
            given.owner = 0;
        } else {
            if (given.owner != 0 && !table.find_live(given.owner))
                return 0;
            const int cascade = 32 + 24 * static_cast<int>(table.top_levels.size() % 10);
            const Size size =
                given.default_size ? DefaultWindowSize : Size{given.rect.width(), given.rect.height()};
            const Point position =
                given.default_position ? Point{cascade, cascade} : Point{given.rect.left, given.rect.top};
            given.rect = Rect::FromSize(position.x, position.y, size.width, size.height);
        }
        if (given.rect.width() < 0 || given.rect.height() < 0)
            return 0;
        handle = table.next_handle++;
        auto record = std::make_unique<WindowRecord>();
        record->handle = handle;
        record->window_class = window_class;
        record->thread = thread;
        record->parent = given.parent;
        record->owner = given.owner;
        record->rect = given.rect;
        record->enabled = (given.style & StyleDisabled) == 0;
        record->id = given.id;
        record->user_data = given.user_data;
        record->text = given.text;
        if (given.parent != 0) {
            table.find(given.parent)->children.push_back(handle);
        } else {
            record->surface = std::make_shared<WindowSurface>(given.rect.width(), given.rect.height(),
                                                              MakePixel(255, 255, 255));
            table.top_levels.push_back(handle);
            if (given.owner != 0)
                table.find(given.owner)->owned.push_back(handle);
        }
        table.windows.emplace(handle, std::move(record));
    }
    register_window(handle, WindowTarget{thread, &window_trampoline, const_cast<WindowClass*>(window_class)});
    if (given.parent == 0) {
        backend().top_level_created(handle, given.rect, windows1252_to_utf8(given.text));
        if (given.style & StyleDialog)
            backend().top_level_dialog(handle, given.owner);
    }
    if (send_message(Message{handle, MsgCreate, 0, reinterpret_cast<intptr_t>(&given)}) == -1) {
        destroy_window(handle);
        return 0;
    }
    send_message(Message{handle, MsgSize, 0, MakeLParam(given.rect.width(), given.rect.height())});
    send_message(Message{handle, MsgMove, 0, MakeLParam(given.rect.left, given.rect.top)});
    if (given.style & StyleVisible)
        show_window(handle, true);
    return handle;
}

bool destroy_window(WindowHandle window) {
    WindowTable& table = window_table();
    std::vector<WindowHandle> dependants;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record)
            return false;
        record->destroying = true;
        dependants = record->owned;
        dependants.insert(dependants.end(), record->children.rbegin(), record->children.rend());
    }
    for (WindowHandle dependant : dependants)
        destroy_window(dependant);

    Deferred deferred;
    {
        MutexLock lock(table.mutex);
        let_go_inside(table, window, deferred, true);
    }
    deferred.run();
    send_message(Message{window, MsgDestroy, 0, 0});
    send_message(Message{window, MsgNcDestroy, 0, 0});

    bool top_level = false;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find(window);
        if (!record)
            return false;
        table.set_invalid(*record, Rect{}, deferred);
        // A focus or capture taken during MsgDestroy does not outlive the window.
        if (table.focus == window)
            table.focus = 0;
        if (table.capture == window)
            table.capture = 0;
        if (table.active == window)
            table.active = 0;
        if (WindowRecord* parent = table.find(record->parent)) {
            const Rect area = table.clip_in_top_level(*record);
            const bool was_visible = table.visible_with_ancestors(*record);
            std::erase(parent->children, window);
            if (was_visible)
                table.invalidate_from(*parent, area, deferred);
        } else {
            top_level = true;
            std::erase(table.top_levels, window);
            if (WindowRecord* owner = table.find(record->owner))
                std::erase(owner->owned, window);
        }
        table.windows.erase(window);
    }
    deferred.run();
    const std::vector<Message> discarded = unregister_window(window);
    if (const DiscardedMessageHandler handler = g_discarded_handler.load()) {
        for (const Message& message : discarded)
            handler(message);
    }
    if (top_level)
        backend().top_level_destroyed(window);
    return true;
}

void destroy_thread_windows() {
    const ThreadKey thread = current_thread();
    std::vector<WindowHandle> mine;
    {
        WindowTable& table = window_table();
        MutexLock lock(table.mutex);
        for (const auto& [handle, record] : table.windows) {
            if (record->thread == thread)
                mine.push_back(handle);
        }
    }
    // Oldest first, so that parents usually take their children with them.
    std::sort(mine.begin(), mine.end());
    for (WindowHandle window : mine)
        destroy_window(window);
}

void set_discarded_message_handler(DiscardedMessageHandler handler) {
    g_discarded_handler = handler;
}

intptr_t default_window_procedure(const Message& message) {
    switch (message.number) {
    case MsgPaint: {
        PaintSession session(message.window);
        return 0;
    }
    case MsgClose:
        destroy_window(message.window);
        return 0;
    default:
        return 0;
    }
}

namespace {

// Reads one field of a window under the table's lock; `fallback` when the
// window does not exist. Readers that walk the table lock it themselves.
template <typename T, typename Read>
T read_window(WindowHandle window, T fallback, Read read) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    WindowRecord* record = table.find(window);
    return record ? read(*record) : fallback;
}

} // namespace

bool is_window(WindowHandle window) {
    return read_window(window, false, [](WindowRecord& r) { return !r.destroying; });
}

ThreadKey window_thread(WindowHandle window) {
    return read_window(window, ThreadKey{0}, [](WindowRecord& r) { return r.thread; });
}

std::string window_class_name(WindowHandle window) {
    return read_window(window, std::string(), [](WindowRecord& r) { return r.window_class->name; });
}

int window_id(WindowHandle window) {
    return read_window(window, 0, [](WindowRecord& r) { return r.id; });
}

void* window_user_data(WindowHandle window) {
    return read_window(window, static_cast<void*>(nullptr), [](WindowRecord& r) { return r.user_data; });
}

void set_window_user_data(WindowHandle window, void* user_data) {
    read_window(window, 0, [user_data](WindowRecord& r) {
        r.user_data = user_data;
        return 0;
    });
}

WindowHandle parent_window(WindowHandle window) {
    return read_window(window, WindowHandle{0}, [](WindowRecord& r) { return r.parent; });
}

WindowHandle owner_window(WindowHandle window) {
    return read_window(window, WindowHandle{0}, [](WindowRecord& r) { return r.owner; });
}

WindowHandle top_level_of(WindowHandle window) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    return table.top_level_of(window);
}

std::vector<WindowHandle> child_windows(WindowHandle window) {
    return read_window(window, std::vector<WindowHandle>(), [](WindowRecord& r) {
        return std::vector<WindowHandle>(r.children.rbegin(), r.children.rend());
    });
}

std::vector<WindowHandle> owned_windows(WindowHandle window) {
    return read_window(window, std::vector<WindowHandle>(), [](WindowRecord& r) { return r.owned; });
}

std::vector<WindowHandle> top_level_windows() {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    return std::vector<WindowHandle>(table.top_levels.rbegin(), table.top_levels.rend());
}

WindowHandle child_from_id(WindowHandle parent, int id) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    WindowRecord* record = table.find(parent);
    if (!record)
        return 0;
    for (WindowHandle child : record->children) {
        if (WindowRecord* found = table.find(child); found && found->id == id && !found->destroying)
            return child;
    }
    return 0;
}

WindowHandle find_window(std::string_view class_name, std::string_view text) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    for (auto it = table.top_levels.rbegin(); it != table.top_levels.rend(); ++it) {
        WindowRecord* record = table.find(*it);
        if (!record || record->destroying)
            continue;
        const std::string& name = record->window_class->name;
        const bool class_matches =
            class_name.empty() ||
            std::equal(name.begin(), name.end(), class_name.begin(), class_name.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            });
        if (class_matches && (text.empty() || record->text == text))
            return record->handle;
    }
    return 0;
}

bool is_child_of(WindowHandle parent, WindowHandle window) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    return window != parent && table.is_descendant(parent, window);
}

Rect window_rect(WindowHandle window) {
    return read_window(window, Rect{}, [](WindowRecord& r) { return r.rect; });
}

Rect rect_in_top_level(WindowHandle window) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    const WindowRecord* record = table.find(window);
    if (!record)
        return {};
    const Point origin = table.origin_in_top_level(*record);
    return Rect::FromSize(origin.x, origin.y, record->rect.width(), record->rect.height());
}

Rect screen_rect(WindowHandle window) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    const WindowRecord* record = table.find(window);
    if (!record)
        return {};
    const Point origin = table.screen_origin(*record);
    return Rect::FromSize(origin.x, origin.y, record->rect.width(), record->rect.height());
}

bool move_window(WindowHandle window, const Rect& rect) {
    return move_window_from(window, rect, MoveSource::Program);
}

Point map_point(WindowHandle from, WindowHandle to, Point point) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    const WindowRecord* from_record = table.find(from);
    const WindowRecord* to_record = table.find(to);
    const Point from_origin = from_record ? table.screen_origin(*from_record) : Point{};
    const Point to_origin = to_record ? table.screen_origin(*to_record) : Point{};
    return Point{point.x + from_origin.x - to_origin.x, point.y + from_origin.y - to_origin.y};
}

void move_top_level_from_backend(WindowHandle top_level, const Rect& screen_rect) {
    if (parent_window(top_level) == 0)
        move_window_from(top_level, screen_rect, MoveSource::Backend);
}

void add_exposed(WindowHandle top_level, const Rect& dirty) {
    read_window(top_level, 0, [&dirty](WindowRecord& r) {
        r.exposed = r.exposed.unite(dirty);
        return 0;
    });
}

bool show_window(WindowHandle window, bool visible) {
    WindowTable& table = window_table();
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record)
            return false;
        if (record->visible == visible)
            return true;
    }
    send_message(Message{window, MsgShowWindow, visible ? 1u : 0u, 0});
    Deferred deferred;
    bool top_level = false;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record)
            return false;
        if (record->visible == visible)
            return true;
        top_level = record->parent == 0;
        if (visible) {
            record->visible = true;
            table.invalidate_from(*record, table.clip_in_top_level(*record), deferred);
        } else {
            const bool was_shown = table.visible_with_ancestors(*record);
            const Rect area = table.clip_in_top_level(*record);
            table.clear_invalid_tree(*record, deferred);
            record->visible = false;
            if (WindowRecord* parent = table.find(record->parent); parent && was_shown)
                table.invalidate_from(*parent, area, deferred);
            let_go_inside(table, window, deferred, true);
        }
    }
    if (top_level)
        backend().top_level_shown(window, visible);
    deferred.run();
    return true;
}

bool is_visible_flag(WindowHandle window) {
    return read_window(window, false, [](WindowRecord& r) { return r.visible; });
}

bool is_window_visible(WindowHandle window) {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    const WindowRecord* record = table.find(window);
    return record && table.visible_with_ancestors(*record);
}

bool enable_window(WindowHandle window, bool enabled) {
    WindowTable& table = window_table();
    Deferred deferred;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record)
            return false;
        if (record->enabled == enabled)
            return true;
        record->enabled = enabled;
        if (!enabled)
            let_go_inside(table, window, deferred, false);
    }
    deferred.send(Message{window, MsgEnable, enabled ? 1u : 0u, 0});
    deferred.run();
    return true;
}

bool is_window_enabled(WindowHandle window) {
    return read_window(window, false, [](WindowRecord& r) { return r.enabled; });
}

bool bring_to_top(WindowHandle window) {
    WindowTable& table = window_table();
    Deferred deferred;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record)
            return false;
        if (WindowRecord* parent = table.find(record->parent)) {
            if (parent->children.back() == window)
                return true;
            move_to_top(parent->children, window);
            table.invalidate_from(*record, table.clip_in_top_level(*record), deferred);
        } else {
            move_to_top(table.top_levels, window);
        }
    }
    deferred.run();
    return true;
}

WindowHandle set_focus(WindowHandle window) {
    WindowTable& table = window_table();
    if (window == 0) {
        WindowHandle old;
        {
            MutexLock lock(table.mutex);
            old = table.focus;
            table.focus = 0;
        }
        if (old != 0)
            send_message(Message{old, MsgKillFocus, 0, 0});
        return old;
    }
    WindowHandle top = 0;
    WindowHandle old = 0;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record || !can_take_focus(table, *record))
            return 0;
        old = table.focus;
        if (old == window)
            return old;
        top = table.top_level_of(window);
        if (top == table.active)
            top = 0;
    }
    if (top != 0) {
        activate(top, window);
        return old;
    }
    return change_focus(window);
}

WindowHandle focus_window() {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    return table.focus;
}

bool activate_window(WindowHandle top_level) {
    return activate(top_level, 0);
}

WindowHandle active_window() {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    return table.active;
}

WindowHandle set_capture(WindowHandle window) {
    WindowTable& table = window_table();
    WindowHandle old;
    {
        MutexLock lock(table.mutex);
        if (window != 0 && !table.find_live(window))
            return 0;
        old = table.capture;
        table.capture = window;
    }
    if (old != 0 && old != window)
        send_message(Message{old, MsgCaptureChanged, 0, static_cast<intptr_t>(window)});
    return old;
}

void release_capture() {
    set_capture(0);
}

WindowHandle capture_window() {
    WindowTable& table = window_table();
    MutexLock lock(table.mutex);
    return table.capture;
}

void invalidate(WindowHandle window, std::optional<Rect> rect) {
    WindowTable& table = window_table();
    Deferred deferred;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record)
            return;
        const Rect clip = table.clip_in_top_level(*record);
        const Point origin = table.origin_in_top_level(*record);
        const Rect area = rect ? rect->offset(origin.x, origin.y).intersect(clip) : clip;
        if (!area.empty())
            table.invalidate_from(*record, area, deferred);
    }
    deferred.run();
}

void validate(WindowHandle window, std::optional<Rect> rect) {
    WindowTable& table = window_table();
    Deferred deferred;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find(window);
        if (!record)
            return;
        table.set_invalid(*record, rect ? subtract(record->invalid, *rect) : Rect{}, deferred);
    }
    deferred.run();
}

void update_window(WindowHandle window) {
    std::vector<WindowHandle> to_paint;
    {
        WindowTable& table = window_table();
        MutexLock lock(table.mutex);
        WindowRecord* root = table.find_live(window);
        if (!root || !table.visible_with_ancestors(*root))
            return;
        std::vector<WindowRecord*> pending{root};
        while (!pending.empty()) {
            WindowRecord* record = pending.back();
            pending.pop_back();
            if (!record->visible || record->destroying)
                continue;
            if (!record->invalid.empty())
                to_paint.push_back(record->handle);
            // Reversed onto the stack, so the lowest child comes off first.
            for (auto it = record->children.rbegin(); it != record->children.rend(); ++it) {
                if (WindowRecord* child = table.find(*it))
                    pending.push_back(child);
            }
        }
    }
    for (WindowHandle handle : to_paint) {
        if (!invalid_rect(handle).empty())
            send_message(Message{handle, MsgPaint, 0, 0});
    }
}

Rect invalid_rect(WindowHandle window) {
    return read_window(window, Rect{}, [](WindowRecord& r) { return r.invalid; });
}

bool set_window_text(WindowHandle window, std::string_view text) {
    bool top_level = false;
    const bool found = read_window(window, false, [&](WindowRecord& r) {
        r.text = std::string(text);
        top_level = r.parent == 0;
        return true;
    });
    if (top_level)
        backend().top_level_caption(window, windows1252_to_utf8(text));
    return found;
}

std::string window_text(WindowHandle window) {
    return read_window(window, std::string(), [](WindowRecord& r) { return r.text; });
}

FrameBuffer frame_buffer_copy(WindowHandle top_level) {
    const std::shared_ptr<WindowSurface> surface =
        read_window(top_level, std::shared_ptr<WindowSurface>(), [](WindowRecord& r) { return r.surface; });
    if (!surface)
        return FrameBuffer();
    MutexLock lock(surface->mutex);
    return surface->pixels;
}

} // namespace morvex::platform
