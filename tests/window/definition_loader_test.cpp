// The loader against the test windows of tests/window/data, compiled at build
// time into this binary (module "tavemon", and module "second" for
// module_b.wnd), plus resources registered here to pin down the module order.
#include "platform/resources.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/definition_loader.h"

#include <deque>
#include <gtest/gtest.h>

namespace morvex {
namespace {

using ::testing::ExitedWithCode;
using Kind = ImageReference::Kind;

// Compiles `text` and registers each procedure in `module`; the bytes live
// as long as the process, as linked resources do.
void register_text(std::string_view module, std::string_view text) {
    static std::deque<std::vector<uint8_t>> keep;
    const wdf::CompileResult result = wdf::ParseWindowDefinitions(text, "inline");
    ASSERT_TRUE(result.ok()) << result.error;
    for (const wdf::ProcedureSource& p : result.procedures) {
        keep.push_back(wdf::EncodeProcedure(p));
        platform::register_resource(module, "DABDUMP", wdf::ResourceNameOf(p.name), keep.back());
    }
}

// Dialog units at 6 x 13 pixels per character.
constexpr UnitMetrics Metrics{6, 13, 96};

DefinitionServices services(bool option_bit4 = false) {
    DefinitionServices s;
    s.metrics = [](const FontDefinition*) { return Metrics; };
    s.global_option_bit4 = [option_bit4] { return option_bit4; };
    return s;
}

TEST(DefinitionLoaderTest, FindsTheWindowByProcedureAndLabelWhateverTheCase) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("TAVEMON$Taven002", "p1$window");
    ASSERT_NE(offset, 0u);
    EXPECT_TRUE(loader.HasBlock());
    EXPECT_EQ(loader.FoundModule(), "tavemon");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    EXPECT_EQ(w.label, "P1$WINDOW");
    EXPECT_EQ(w.caption, "Calendar");
    EXPECT_EQ(w.x, 10);
    EXPECT_EQ(w.height, 130);
    EXPECT_TRUE(w.modal());
    EXPECT_TRUE(w.posts_sized());
    ASSERT_TRUE(w.font.has_value());
    EXPECT_EQ(w.font->typeface, "MS Sans Serif");
    EXPECT_EQ(w.font->point_size, 8);
    ASSERT_TRUE(w.colours.has_value());
    EXPECT_EQ(w.colours->selected_background, 0x00800000u);
    loader.ReleaseDefinitionBlock();
    EXPECT_FALSE(loader.HasBlock());
}

TEST(DefinitionLoaderTest, AProcedureNameWithoutDollarIsTheWholeResourceName) {
    DefinitionLoader loader;
    EXPECT_NE(loader.TryFindWindowDefinition("fwPOPUP", "$POPUP"), 0u);
    EXPECT_EQ(loader.TryFindWindowDefinition("x$fwPOPUP", "$POPUP"), 0u) << "the stored name must match too";
    EXPECT_FALSE(loader.HasBlock());
}

TEST(DefinitionLoaderTest, TwoWindowsOfOneResourceAreFoundByLabel) {
    DefinitionLoader loader;
    const uint32_t text = loader.TryFindWindowDefinition("fwEIP", "$TXTWINDOW");
    const uint32_t multi = loader.TryFindWindowDefinition("fwEIP", "$MULTIWINDOW");
    ASSERT_NE(text, 0u);
    ASSERT_NE(multi, 0u);
    EXPECT_NE(text, multi);
    EXPECT_EQ(loader.WindowOffsets().size(), 2u);
    const WindowDefinition w = loader.ReadWindow(text, services());
    EXPECT_EQ(w.label, "$TXTWINDOW");
    const std::vector<ControlDefinition> controls = loader.ReadControls(w, loader.MetricsOf(w, services()));
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].type, wdf::TextControl);
    ASSERT_TRUE(controls[0].variable.has_value());
    EXPECT_EQ(controls[0].variable->data_size, 1000);
}

TEST(DefinitionLoaderTest, LooksInTheOtherModulesAndRemembersWhereItFound) {
    DefinitionLoader loader;
    const uint32_t other = loader.TryFindWindowDefinition("tavemon$taven002", "P2$OTHER");
    ASSERT_NE(other, 0u);
    EXPECT_EQ(loader.FoundModule(), "second");
    const WindowDefinition w = loader.ReadWindow(other, services());
    EXPECT_EQ(w.icon.kind, Kind::Linked);
    EXPECT_EQ(w.icon.module, "second") << "linked images come from the module of the definition";
    EXPECT_NE(loader.TryFindWindowDefinition("tavemon$taven002", "P1$WINDOW"), 0u);
    EXPECT_EQ(loader.FoundModule(), "tavemon");
}

TEST(DefinitionLoaderTest, TheModuleOfThePreviousLookupIsTriedFirst) {
    register_text("order_a", "procedure \"ord$one\"\nwindow \"W\"\ncaption \"a\"\nend\n");
    register_text("order_b", "procedure \"ord$one\"\nwindow \"W\"\ncaption \"b\"\nend\n"
                             "procedure \"ord$two\"\nwindow \"ONLY\"\nend\n");
    // A resource of the right name whose stored procedure name differs is passed over.
    register_text("order_c", "procedure \"else$one\"\nwindow \"W\"\ncaption \"c\"\nend\n");
    DefinitionLoader loader;
    uint32_t offset = loader.TryFindWindowDefinition("ord$one", "W");
    EXPECT_EQ(loader.ReadWindow(offset, services()).caption, "a") << "module list order";
    ASSERT_NE(loader.TryFindWindowDefinition("ord$two", "ONLY"), 0u);
    EXPECT_EQ(loader.FoundModule(), "order_b");
    offset = loader.TryFindWindowDefinition("ord$one", "W");
    EXPECT_EQ(loader.ReadWindow(offset, services()).caption, "b") << "previous module first";
    offset = loader.TryFindWindowDefinition("else$one", "W");
    EXPECT_EQ(loader.ReadWindow(offset, services()).caption, "c");
    offset = loader.TryFindWindowDefinition("ord$one", "W");
    EXPECT_EQ(loader.ReadWindow(offset, services()).caption, "a") << "order_c holds another procedure";
}

TEST(DefinitionLoaderDeathTest, NothingFoundHaltsWithError502FromWSLDIAL) {
    EXPECT_EXIT(WindowDefinitionLoader().FindWindowDefinition("tavemon$taven002", "P9$NOWHERE"),
                ExitedWithCode(2), "Internal error 02 : WSLDIAL");
}

TEST(DefinitionLoaderTest, DefaultMarkersAndAbsentItems) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("fwPOPUP", "$POPUP");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    EXPECT_EQ(w.x, DefaultPosition);
    EXPECT_EQ(w.y, DefaultPosition);
    EXPECT_EQ(w.width, DefaultPosition);
    EXPECT_EQ(w.height, DefaultPosition);
    EXPECT_FALSE(w.caption.has_value());
    EXPECT_FALSE(w.font.has_value());
    EXPECT_FALSE(w.colours.has_value());
    EXPECT_FALSE(w.menu.has_value());
    EXPECT_FALSE(w.wallpaper.has_value());
    EXPECT_FALSE(w.text1.has_value());
    EXPECT_EQ(w.icon.kind, Kind::None);
    EXPECT_EQ(w.toolbar, 0u);
    EXPECT_FALSE(loader.ReadToolbar(w, Metrics).has_value());
    const std::vector<ControlDefinition> controls = loader.ReadControls(w, Metrics);
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].x, 0);
    EXPECT_EQ(controls[0].height, 0);
    EXPECT_EQ(controls[0].defaulted, 0xF);
    EXPECT_EQ(controls[0].cursor.kind, Kind::None);
}

TEST(DefinitionLoaderTest, ReadsEveryOptionalWindowItem) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$taven007", "P1$WINDOW");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    EXPECT_EQ(w.unit(), PositionUnit::Points);
    EXPECT_EQ(w.caption, "") << "an empty caption is there, unlike offset 0";
    EXPECT_EQ(w.open_attributes, 0x20u);
    EXPECT_EQ(w.text2, "second \"kept\" text\twith\\escapes\xE9");
    EXPECT_EQ(w.extra_items, (std::vector<uint32_t>{7, 8, 9}));
    EXPECT_EQ(w.further_items, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(w.palette_size, 16u);
    EXPECT_EQ(w.wallpaper, "WIZBCK02.GIF");
    EXPECT_TRUE(w.dockable());
    EXPECT_EQ(w.dock[1], 2);
    EXPECT_EQ(w.font->weight, 700);
    EXPECT_EQ(w.font->colour, 0xFFu);
}

TEST(DefinitionLoaderTest, TheGlobalOptionForcesBit1OfAttributeWord2) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$taven002", "P1$WINDOW");
    EXPECT_EQ(loader.ReadWindow(offset, services(false)).attributes2, 0x3008u);
    EXPECT_EQ(loader.ReadWindow(offset, services(true)).attributes2, 0x300Au);
}

TEST(DefinitionLoaderTest, CalendarControlsConvertToPixelsAndKeepTheirFields) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$taven002", "P1$WINDOW");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    const std::vector<ControlDefinition> c = loader.ReadControls(w, loader.MetricsOf(w, services()));
    ASSERT_EQ(c.size(), 11u);
    for (std::size_t i = 0; i < c.size(); ++i)
        EXPECT_EQ(c[i].feq, static_cast<int32_t>(i + 1));

    // Dialog units: x * (2 * 6) / 8, y * 13 / 8, rounded.
    const ControlDefinition& list = c[0];
    EXPECT_EQ(list.type, wdf::ListControl);
    EXPECT_EQ(list.x, 6);
    EXPECT_EQ(list.y, 33);
    EXPECT_EQ(list.width, 228);
    EXPECT_EQ(list.height, 130);
    EXPECT_EQ(list.defaulted, 0);
    ASSERT_TRUE(list.list_format.has_value());
    EXPECT_EQ(list.list_format->substr(0, 11), "20C~M~@s2@2");
    ASSERT_TRUE(list.data_source.has_value());
    EXPECT_EQ(list.data_source->data_type, wdf::QueueDataType);
    EXPECT_EQ(list.number(wdf::Field::Mark), -1) << "mark not given";

    const ControlDefinition& day = c[5];
    EXPECT_EQ(day.type, wdf::SpinControl);
    EXPECT_EQ(day.picture, "n-14");
    EXPECT_EQ(day.range_low, 1.0);
    EXPECT_EQ(day.range_high, 31.0);
    EXPECT_EQ(day.step, 1.0);
    EXPECT_FALSE(day.unbounded);
    EXPECT_EQ(day.delay_ms, 200u) << "0 gives the spin box's default";
    EXPECT_EQ(day.repeat_ms, 50u);
    EXPECT_EQ(day.variable->data_type, wdf::LongDataType);

    const ControlDefinition& month = c[6];
    ASSERT_EQ(month.choices.size(), 12u);
    EXPECT_EQ(month.choices.front(), "January");
    EXPECT_EQ(month.choices.back(), "December");
    EXPECT_TRUE(month.unbounded);
    EXPECT_EQ(month.step, 1.0) << "a step of 0 becomes 1";

    const ControlDefinition& year = c[7];
    EXPECT_EQ(year.delay_ms, 300u);
    EXPECT_EQ(year.repeat_ms, 70u);

    const ControlDefinition& today = c[8];
    EXPECT_EQ(today.text, "Today");
    EXPECT_EQ(today.delay_ms, 250u);
    EXPECT_EQ(today.repeat_ms, 50u);
    EXPECT_EQ(c[9].delay_ms, 0u) << "a button has no default times";
}

struct ImageCase {
    const char* label;
    std::size_t control; // index in the calendar's chain
    bool cursor;
    ImageReference expected;
};

class CalendarImageTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(CalendarImageTest, DecodesTheReference) {
    const ImageCase& param = GetParam();
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$taven002", "P1$WINDOW");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    const std::vector<ControlDefinition> c = loader.ReadControls(w, Metrics);
    EXPECT_EQ(param.cursor ? c[param.control].cursor : c[param.control].icon, param.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, CalendarImageTest,
    ::testing::Values(
        ImageCase{"SystemIcon", 8, false, {Kind::System, "", 0, 32515, ""}},
        ImageCase{"ProgramResourceByNumber", 9, false, {Kind::Resource, "", 0, 32531, "tavemon"}},
        ImageCase{"ObsoleteCursor32640Becomes32646", 9, true, {Kind::System, "", 0, 32646, ""}},
        ImageCase{"ObsoleteCursor32641BecomesTheArrow", 10, true, {Kind::System, "", 0, 32512, ""}},
        ImageCase{"IconFileWithIndex", 10, false, {Kind::File, "check1.ico", 2, 0, ""}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DefinitionLoaderTest, ToolbarControlsComeOnlyThroughTheToolbarRecord) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$taven001", "P1$APPFRAME");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    EXPECT_TRUE(loader.ReadControls(w, Metrics).empty());
    EXPECT_EQ(w.icon, (ImageReference{Kind::System, "", 0, ApplicationIconId, ""}))
        << "stored 32513 is the application icon";
    const std::optional<ToolbarDefinition> toolbar = loader.ReadToolbar(w, Metrics);
    ASSERT_TRUE(toolbar.has_value());
    ASSERT_EQ(toolbar->controls.size(), 3u);
    const int32_t xs[] = {6, 117, 243};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(toolbar->controls[i].feq, -static_cast<int32_t>(i + 1));
        EXPECT_EQ(toolbar->controls[i].x, xs[i]);
        EXPECT_EQ(toolbar->controls[i].y, 3);
    }
    EXPECT_EQ(toolbar->controls[0].text, "Date Lookup");
    EXPECT_EQ(toolbar->controls[0].tip, "Start the demonstration page");
    EXPECT_EQ(toolbar->controls[0].icon, (ImageReference{Kind::Linked, "WIZOK_ICO", 0, 0, "tavemon"}));
    EXPECT_EQ(toolbar->controls[2].cursor, (ImageReference{Kind::Linked, "HAND_CUR", 0, 0, "tavemon"}));
    EXPECT_EQ(toolbar->width, 243 + 105);
    EXPECT_EQ(toolbar->height, 3 + 26 + ToolbarMargin);
}

TEST(DefinitionLoaderTest, ReadsTheMenuBar) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$taven001", "P1$APPFRAME");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    ASSERT_TRUE(w.menu.has_value());
    ASSERT_EQ(w.menu->items.size(), 2u);
    const MenuItemDefinition& file = w.menu->items[0];
    EXPECT_EQ(file.kind, MenuItemDefinition::Kind::Submenu);
    ASSERT_EQ(file.children.size(), 3u);
    EXPECT_EQ(file.children[1].kind, MenuItemDefinition::Kind::Separator);
    EXPECT_EQ(file.children[2].text, "E&xit");
    EXPECT_EQ(file.children[2].shortcut, "Alt+F4");
    EXPECT_EQ(file.children[2].use, 3);
    EXPECT_EQ(w.menu->items[1].children[1].attributes, wdf::MenuItemChecked | wdf::MenuItemCheckable);
    EXPECT_EQ(w.timer, 50u);
}

TEST(DefinitionLoaderTest, PointsConvertThroughThePixelsPerInch) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$taven007", "P1$WINDOW");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    const std::vector<ControlDefinition> c = loader.ReadControls(w, UnitMetrics{6, 13, 96});
    const ControlDefinition& image = c[1];
    EXPECT_EQ(image.image_name, "WIZSPLSH.BMP");
    EXPECT_EQ(image.x, 13); // 10 * 96 / 72
    EXPECT_EQ(image.width, 85);
    const std::vector<ControlDefinition> declined = loader.ReadControls(w, UnitMetrics{6, 13, 0});
    EXPECT_EQ(declined[1].width, 64) << "a device that declines converts points 1:1";
    EXPECT_EQ(c[3].feq, 20);
    EXPECT_EQ(c[4].feq, 21) << "numbering goes on after an explicit number";
    EXPECT_EQ(c[3].justification, 1);
    EXPECT_EQ(c[3].indent, 2);
    ASSERT_TRUE(c[4].font.has_value());
    EXPECT_EQ(c[4].font->typeface, "Tempus Sans ITC");
    EXPECT_EQ(c.back().range_low, -2.5);
    EXPECT_EQ(c.back().range_high, 1e10);
}

TEST(DefinitionLoaderTest, OptionGroupsRadiosAndChoicesKeepTheirFields) {
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$taven007", "P1$WINDOW");
    const WindowDefinition w = loader.ReadWindow(offset, services());
    const std::vector<ControlDefinition> c = loader.ReadControls(w, UnitMetrics{6, 13, 96});
    const auto of_type = [&](uint8_t type) {
        std::vector<const ControlDefinition*> found;
        for (const ControlDefinition& control : c)
            if (control.type == type)
                found.push_back(&control);
        return found;
    };
    const auto options = of_type(wdf::OptionControl);
    ASSERT_EQ(options.size(), 1u);
    EXPECT_EQ(options[0]->text, "&Pick");
    EXPECT_EQ(options[0]->number(wdf::Field::GroupStyle), 1);
    ASSERT_TRUE(options[0]->variable.has_value());
    EXPECT_EQ(options[0]->variable->data_type, wdf::LongDataType);
    EXPECT_EQ(options[0]->x, 267) << "the position block follows the variable";
    const auto radios = of_type(wdf::RadioControl);
    ASSERT_EQ(radios.size(), 2u);
    EXPECT_EQ(radios[0]->value_text, "1");
    EXPECT_EQ(radios[1]->value_text, "");
    EXPECT_EQ(radios[1]->text, "Two");
    EXPECT_EQ(radios[1]->x, 333);
    const auto drops = of_type(wdf::DropControl);
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0]->choices, (std::vector<std::string>{"North", "South"}));
    EXPECT_EQ(drops[0]->number(wdf::Field::DropWidth), 120);
    EXPECT_FALSE(drops[0]->list_format->empty());
    const auto combos = of_type(wdf::Combo2Control);
    ASSERT_EQ(combos.size(), 1u);
    EXPECT_EQ(combos[0]->choices, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(of_type(wdf::ComboControl)[0]->choices.empty());
}

TEST(DefinitionLoaderTest, ACircularControlChainEnds) {
    const wdf::CompileResult source = wdf::ParseWindowDefinitions(
        "procedure \"loop$circle\"\nwindow \"W\"\n prompt at 1 1 1 1\n prompt at 2 2 2 2\nend\n", "inline");
    ASSERT_TRUE(source.ok()) << source.error;
    static std::vector<uint8_t> bytes = wdf::EncodeProcedure(source.procedures[0]);
    platform::register_resource("loops", "DABDUMP", "CIRCLE_RSC", bytes);
    DefinitionLoader loader;
    const uint32_t offset = loader.TryFindWindowDefinition("loop$circle", "W");
    ASSERT_NE(offset, 0u);
    std::vector<ControlDefinition> controls =
        loader.ReadControls(loader.ReadWindow(offset, services()), Metrics);
    ASSERT_EQ(controls.size(), 2u);
    // Point the second prompt's next offset back at the first; block offset k is byte k + n - 1.
    const std::size_t name_length = std::string_view("loop$circle").size();
    const std::size_t next = controls[1].offset + wdf::ctl::Next + name_length - 1;
    bytes[next] = static_cast<uint8_t>(controls[0].offset);
    bytes[next + 1] = static_cast<uint8_t>(controls[0].offset >> 8);
    ASSERT_NE(loader.TryFindWindowDefinition("loop$circle", "W"), 0u);
    controls = loader.ReadControls(loader.ReadWindow(offset, services()), Metrics);
    EXPECT_GT(controls.size(), 2u);
    EXPECT_LE(controls.size(), loader.Block().size() / wdf::MinControlSize + 1);
}

} // namespace
} // namespace morvex
