#include "window/control_creators.h"
#include "window/definition_loader.h"

#include <gtest/gtest.h>
#include <vector>

namespace morvex {
namespace {

struct Button : ControlObject {
    explicit Button(int32_t feq) : feq(feq) {}
    int32_t feq;
};

std::unique_ptr<ControlObject> create_button(const ControlDefinition& definition, void* window) {
    static_cast<std::vector<int32_t>*>(window)->push_back(definition.feq);
    return std::make_unique<Button>(definition.feq);
}

TEST(ControlCreatorsTest, TypesWithoutACreatorBuildNothingAndTheNextRecordIsProcessed) {
    DefinitionLoader& loader = WindowDefinitionLoader();
    const uint32_t offset = loader.FindWindowDefinition("tavemon$taven002", "P1$WINDOW");
    const WindowDefinition w = loader.ReadWindow(offset, {});
    RegisterControlCreator(wdf::ButtonControl, create_button);
    std::vector<int32_t> built;
    std::size_t objects = 0;
    for (const ControlDefinition& c : loader.ReadControls(w, UnitMetrics{6, 13, 96}))
        if (auto control = CreateControl(c.offset, w.unit(), UnitMetrics{6, 13, 96}, &built)) {
            ++objects;
            EXPECT_EQ(static_cast<Button&>(*control).feq, c.feq);
        }
    loader.ReleaseDefinitionBlock();
    RegisterControlCreator(wdf::ButtonControl, nullptr);
    EXPECT_EQ(built, (std::vector<int32_t>{2, 3, 4, 5, 9, 10, 11}));
    EXPECT_EQ(objects, 7u);

    ControlDefinition button;
    button.type = wdf::ButtonControl;
    EXPECT_EQ(CreateControl(button, &built), nullptr) << "unregistered again";
}

} // namespace
} // namespace morvex
