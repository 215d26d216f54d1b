#include "window/control_creators.h"
#include "window/definition_loader.h"
#include "window/window.h"

#include <gtest/gtest.h>
#include <vector>

namespace morvex {
namespace {

std::vector<int32_t> g_built;

struct Button : Control {
    using Control::Control;
    std::string_view class_name() const override { return {}; }
    void paint(painter::Painter&) override {}
};

std::unique_ptr<Control> create_button(const ControlDefinition& definition, Window& window) {
    g_built.push_back(definition.feq);
    return std::make_unique<Button>(window, definition);
}

TEST(ControlCreatorsTest, TypesWithoutACreatorBuildNothingAndTheNextRecordIsProcessed) {
    DefinitionLoader& loader = WindowDefinitionLoader();
    const uint32_t offset = loader.FindWindowDefinition("tavemon$taven002", "P1$WINDOW");
    const WindowDefinition w = loader.ReadWindow(offset, {});
    RegisterControlCreator(wdf::ButtonControl, create_button);
    Window window;
    std::size_t objects = 0;
    for (const ControlDefinition& c : loader.ReadControls(w, UnitMetrics{6, 13, 96}))
        if (auto control = CreateControl(c.offset, w.unit(), UnitMetrics{6, 13, 96}, window)) {
            ++objects;
            EXPECT_EQ(control->feq(), c.feq);
        }
    loader.ReleaseDefinitionBlock();
    RegisterControlCreator(wdf::ButtonControl, nullptr);
    EXPECT_EQ(g_built, (std::vector<int32_t>{2, 3, 4, 5, 9, 10, 11}));
    EXPECT_EQ(objects, 7u);

    ControlDefinition button;
    button.type = wdf::ButtonControl;
    EXPECT_EQ(CreateControl(button, window), nullptr) << "unregistered again";
}

} // namespace
} // namespace morvex
