#include "window/control_family.h"

#include "window/button.h"
#include "window/check_box.h"
#include "window/combo_box.h"
#include "window/control_creators.h"
#include "window/drop_list.h"
#include "window/group_box.h"
#include "window/image_control.h"
#include "window/option_group.h"
#include "window/prompt.h"
#include "window/spin_box.h"

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
    RegisterControlCreator(wdf::CheckControl, create<CheckBox>);
    RegisterControlCreator(wdf::OptionControl, create<OptionGroup>);
    RegisterControlCreator(wdf::RadioControl, create<RadioButton>);
    RegisterControlCreator(wdf::GroupControl, create<GroupBox>);
    RegisterControlCreator(wdf::SpinControl, create<SpinBox>);
    RegisterControlCreator(wdf::ListControl, CreateDropList);
    RegisterControlCreator(wdf::DropControl, CreateDropList);
    RegisterControlCreator(wdf::ComboControl, create<ComboBox>);
    RegisterControlCreator(wdf::Combo2Control, create<ComboBox>);
}

} // namespace morvex
