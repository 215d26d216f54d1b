// What a top-level window shows the desktop beyond its pixels and caption:
// its icon and the mouse cursor over it. The window layer only checks and
// forwards; the backend keeps and shows them.
#include "platform/backend.h"
#include "platform/windows.h"

#include <algorithm>

namespace morvex::platform {

bool set_window_icon(WindowHandle top_level, const std::vector<IconImage>& images) {
    if (!is_window(top_level) || parent_window(top_level) != 0)
        return false;
    if (!std::all_of(images.begin(), images.end(), [](const IconImage& image) { return image.valid(); }))
        return false;
    backend().top_level_icon(top_level, images);
    return true;
}

bool set_window_cursor(WindowHandle window, MouseCursor shape) {
    const WindowHandle top_level = top_level_of(window);
    if (top_level == 0 || !is_window(window))
        return false;
    backend().set_cursor(top_level, shape);
    return true;
}

} // namespace morvex::platform
