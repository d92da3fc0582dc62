// The window's core over a recording shell: the walk of the design, the clicks, the link's look,
// the closing steps, the tab order and the start-up steps, as both shells get them.
#include "app/shell_core.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "image/control/fake_host.h"
#include "platform/picture/resources.h"

namespace talvrin {
namespace {

namespace design = frm_main_design;

struct RecordingShell final : ShellWindow {
    std::size_t failAt = design::kControls.size();  // the entry whose making fails
    std::vector<std::pair<std::string_view, Rect>> made;
    std::vector<std::string> calls;  // everything else, in order
    std::vector<std::size_t> unloaded;
    testing::HostedControl logoControl{128, 128};

    bool makeControl(std::size_t index, const design::ControlDesign& c, const Rect& at) override {
        EXPECT_EQ(&c, &design::kControls[index]);
        if (index == failAt) return false;
        made.emplace_back(c.name, at);
        return true;
    }
    Vitrel& logo() override { return logoControl.control; }
    std::string logoProperties() override {
        calls.push_back("logoProperties");
        std::ifstream in(std::string(TALVRIN_SOURCE_DIR) + "/resources/logo.properties.json",
                         std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void enable(std::string_view name, bool on) override {
        calls.push_back(std::string(name) + (on ? " on" : " off"));
    }
    void clearList() override {}
    void addListLine(const std::string&) override {}
    int listCount() const override { return 0; }
    void selectListLine(int) override {}
    std::string text(std::string_view) const override { return "\""; }
    void showMessage(const std::string&, const std::string&) override {}
    void pumpMessages() override {}
    std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> themeControls() override {
        calls.push_back("themeControls");
        return {};
    }
    void requestClose() override { calls.push_back("requestClose"); }
    void openPage(const std::string& path) override { calls.push_back("open " + path); }
    void unloadControl(std::size_t index) override { unloaded.push_back(index); }
};

// Every entry is made in the design's order at its rectangle scaled to the screen, then the logo
// is restored from the shell's stored properties; a control that cannot be made stops the walk.
TEST(ShellCore, BuildWalksTheDesignAtTheScreensResolutionThenRestoresTheLogo) {
    struct Case {
        std::int32_t dpi;
        std::size_t failAt;
        std::string_view name;  // a control to look at, and its rectangle
        Rect at;
    };
    const Case cases[] = {
        {96, 10, "Command1", {462, 106, 553, 129}},
        {120, 10, "Command1", {578, 133, 692, 162}},  // 577.5, 132.5, 113.75 and 28.75 rounded
        {144, 10, "Vitrel1", {3, 3, 195, 195}},
        {96, 4, "List1", {134, 4, 553, 102}},  // Command2 fails: the walk stops there
        {96, 0, "", {}},
    };
    for (const Case& c : cases) {
        RecordingShell shell;
        shell.failAt = c.failAt;
        ShellCore core(shell);
        const bool complete = c.failAt == design::kControls.size();
        EXPECT_EQ(core.build(c.dpi), complete) << c.dpi << " " << c.failAt;
        ASSERT_EQ(shell.made.size(), c.failAt);
        for (std::size_t i = 0; i < shell.made.size(); ++i) {
            const design::ControlDesign& d = design::kControls[i];
            EXPECT_EQ(shell.made[i].first, d.name);
            const std::int32_t left = design::scaleToDpi(d.left, c.dpi);
            const std::int32_t top = design::scaleToDpi(d.top, c.dpi);
            EXPECT_EQ(shell.made[i].second,
                      (Rect{left, top, left + design::scaleToDpi(d.width, c.dpi),
                            top + design::scaleToDpi(d.height, c.dpi)}));
            if (d.name == c.name) {
                EXPECT_EQ(shell.made[i].second, c.at) << d.name;
            }
        }
        EXPECT_EQ(shell.calls, complete ? std::vector<std::string>{"logoProperties"}
                                        : std::vector<std::string>{});
        // The shipped bag holds the logo's picture: 128 pixels square once restored.
        EXPECT_EQ(shell.logoControl.control.surface().Width(), complete ? 128 : 0);
    }
}

// "Start" enables the timer, "Close" asks the window to close, the link picture and its label
// open the program's own page; the other controls' clicks do nothing.
TEST(ShellCore, ClicksFollowTheirControlsRules) {
    const std::string page = "open " + ShellCore::makerPagePath();
    EXPECT_TRUE(page.ends_with("talvrin.html")) << page;
    struct Case {
        std::string_view name;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"Command2", {"Timer1 on"}},
        {"Command1", {"requestClose"}},
        {"Image2", {page}},
        {"Label4", {page}},
        {"Label1", {}},
        {"List1", {}},
        {"Vitrel1", {}},
        {"Text2", {}},
        {"no such control", {}},
    };
    for (const Case& c : cases) {
        RecordingShell shell;
        ShellCore core(shell);
        core.onClick(c.name);
        EXPECT_EQ(shell.calls, c.calls) << c.name;
    }
}

// The link's look: the link picture and its label show the link cursor, and only the label
// shows its text in the highlight colour.
TEST(ShellCore, TheLinkPictureAndItsLabelLookLikeALink) {
    struct Case {
        std::string_view name;
        bool linkCursor, highlight;
    };
    const Case cases[] = {
        {"Text2", false, false},   {"Timer1", false, false},   {"Command1", false, false},
        {"List1", false, false},   {"Command2", false, false}, {"Image2", true, false},
        {"Label4", true, true},    {"Label2", false, false},   {"Label1", false, false},
        {"Vitrel1", false, false},
    };
    ASSERT_EQ(std::size(cases), design::kControls.size());
    for (const Case& c : cases) {
        const design::ControlDesign& control = design::control(c.name);
        ASSERT_EQ(control.name, c.name);
        EXPECT_EQ(ShellCore::showsLinkCursor(control), c.linkCursor) << c.name;
        EXPECT_EQ(ShellCore::inHighlightColour(control), c.highlight) << c.name;
    }
}

// Load fixes the theme of the shell's controls and makes the runner; closing stops the timer,
// releases the runner and unloads every control (the timer is none) once, in the design's order.
TEST(ShellCore, LoadMakesTheRunnerAndClosingUnloadsEveryControlOnceInDesignOrder) {
    RecordingShell shell;
    ShellCore core(shell);
    EXPECT_EQ(core.logic().objDOS(), nullptr);
    core.load();
    EXPECT_NE(core.logic().objDOS(), nullptr);
    EXPECT_EQ(shell.calls, std::vector<std::string>{"themeControls"});

    shell.calls.clear();
    EXPECT_TRUE(core.close());
    EXPECT_EQ(shell.calls, std::vector<std::string>{"Timer1 off"});
    EXPECT_EQ(shell.unloaded, (std::vector<std::size_t>{0, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(core.logic().objDOS(), nullptr);
    EXPECT_TRUE(core.logic().isClosing());
    EXPECT_FALSE(core.close());
    EXPECT_EQ(shell.unloaded.size(), 9u);
}

// Tab moves along Start, the list, Close and the text box among the stops that can take the
// focus, wrapping at both ends; from anything else it goes to the first stop.
TEST(ShellCore, TabMovesAlongTheDesignsOrderAmongTheStopsThatTakeTheFocus) {
    struct Case {
        std::string_view from;
        bool backwards;
        std::set<std::string_view> cannot;
        std::string_view to;
    };
    const Case cases[] = {
        {"Command2", false, {"Text2"}, "List1"},
        {"Command1", false, {"Text2"}, "Command2"},
        {"Command2", true, {"Text2"}, "Command1"},
        {"Command1", false, {}, "Text2"},
        {"Text2", false, {}, "Command2"},
        {"List1", false, {"Command1", "Text2"}, "Command2"},
        {"Label4", false, {"Text2"}, "Command2"},
        {"Command2", false, {"Command2", "Text2"}, "List1"},
        {"List1", true, {"Command2", "List1", "Command1", "Text2"}, ""},
    };
    for (const Case& c : cases) {
        const auto can = [&](std::string_view name) { return !c.cannot.count(name); };
        EXPECT_EQ(ShellCore::nextTabStop(c.from, c.backwards, can), c.to)
            << c.from << (c.backwards ? " back" : "");
    }
}

// The start-up steps in their order; the program's resources are in place before the shell
// installs its own services.
TEST(ShellCore, StartupStepsRunInOrder) {
    platform::setProgramResources(nullptr);
    std::vector<std::string> steps;
    const auto step = [&](const char* name) {
        return [&steps, name] {
            steps.push_back(std::string(name) + (platform::programResources() ? " +" : " -"));
        };
    };
    runStartupSteps(step("dep"), step("pump"), step("services"));
    EXPECT_EQ(steps, (std::vector<std::string>{"dep -", "pump -", "services +"}));
}

}  // namespace
}  // namespace talvrin
