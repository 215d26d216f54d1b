#include "window/control_family.h"

#include "window/button.h"
#include "window/control_creators.h"
#include "window/image_control.h"
#include "window/prompt.h"
#include "window/shape_control.h"
#include "window/sheet.h"
#include "window/sheet_tab.h"
#include "window/text_control.h"
#include "window/toolbar.h"

namespace morvex {

namespace {

template <typename T>
std::unique_ptr<Control> create(const ControlDefinition& definition, Window& window) {
    return std::make_unique<T>(window, definition);
}

} // namespace

void RegisterStandardControls() {
    RegisterControlCreator(wdf::ButtonControl, create<Button>);
    RegisterControlCreator(wdf::PromptControl, create<Prompt>);
    RegisterControlCreator(wdf::ImageControl, create<ImageControl>);
    RegisterControlCreator(wdf::TextControl, create<TextControl>);
    RegisterControlCreator(wdf::ShapeControl, create<ShapeControl>);
    RegisterControlCreator(wdf::RegionControl, create<ShapeControl>);
    RegisterControlCreator(wdf::SheetControl, create<Sheet>);
    RegisterControlCreator(wdf::TabControl, create<SheetTab>);
    RegisterControlCreator(wdf::ToolbarControl, create<Toolbar>);
}

} // namespace morvex
