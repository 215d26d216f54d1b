#include "window/control_family.h"

#include "window/button.h"
#include "window/check_box.h"
#include "window/combo_box.h"
#include "window/control_creators.h"
#include "window/drop_list.h"
#include "window/entry.h"
#include "window/group_box.h"
#include "window/image_control.h"
#include "window/list_box.h"
#include "window/option_group.h"
#include "window/prompt.h"
#include "window/shape_control.h"
#include "window/sheet.h"
#include "window/sheet_tab.h"
#include "window/spin_box.h"
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
    RegisterControlCreator(wdf::EntryControl, create<Entry>);
    RegisterControlCreator(wdf::ImageControl, create<ImageControl>);
    RegisterControlCreator(wdf::CheckControl, create<CheckBox>);
    RegisterControlCreator(wdf::OptionControl, create<OptionGroup>);
    RegisterControlCreator(wdf::RadioControl, create<RadioButton>);
    RegisterControlCreator(wdf::GroupControl, create<GroupBox>);
    RegisterControlCreator(wdf::SpinControl, create<SpinBox>);
    // A list with a drop count is a drop-down list.
    RegisterControlCreator(wdf::ListControl, [](const ControlDefinition& definition, Window& window) {
        return definition.drop_count != 0 ? CreateDropList(definition, window)
                                          : create<ListBox>(definition, window);
    });
    RegisterControlCreator(wdf::DropControl, CreateDropList);
    RegisterControlCreator(wdf::ComboControl, create<ComboBox>);
    RegisterControlCreator(wdf::Combo2Control, create<ComboBox>);
    RegisterControlCreator(wdf::TextControl, create<TextControl>);
    RegisterControlCreator(wdf::ShapeControl, create<ShapeControl>);
    RegisterControlCreator(wdf::RegionControl, create<ShapeControl>);
    RegisterControlCreator(wdf::SheetControl, create<Sheet>);
    RegisterControlCreator(wdf::TabControl, create<SheetTab>);
    RegisterControlCreator(wdf::ToolbarControl, create<Toolbar>);
}

} // namespace morvex
