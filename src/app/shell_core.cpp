#include "app/shell_core.h"

#include <algorithm>

#include "app/project_page.h"
#include "image/codecs/ico_parser.h"
#include "image/control/property_bag.h"
#include "platform/os/program_folder.h"
#include "platform/picture/resources.h"
#include "resources/builtin_resources.h"

namespace talvrin {

namespace design = frm_main_design;

// The controls as the repair sequence sees them, over the shell's toolkit.
class ShellCore::List final : public ProgressList {
  public:
    explicit List(ShellWindow& window) : window_(window) {}
    void clear() override { window_.clearList(); }
    void addLine(const std::string& line) override { window_.addListLine(line); }
    int count() const override { return window_.listCount(); }
    void setSelectedIndex(int index) override { window_.selectListLine(index); }

  private:
    ShellWindow& window_;
};

class ShellCore::Switch final : public Switchable {
  public:
    Switch(ShellWindow& window, std::string_view name) : window_(window), name_(name) {}
    void setEnabled(bool enabled) override { window_.enable(name_, enabled); }

  private:
    ShellWindow& window_;
    std::string_view name_;
};

class ShellCore::Box final : public MessageBoxHost {
  public:
    explicit Box(ShellWindow& window) : window_(window) {}
    void showMessage(const std::string& text, const std::string& caption) override {
        window_.showMessage(text, caption);
    }

  private:
    ShellWindow& window_;
};

namespace {

FrmMainControls controlsOf(ShellWindow& window, ProgressList* list, Switchable* closeButton,
                           Switchable* startButton, Switchable* timer, MessageBoxHost* box) {
    FrmMainControls controls;
    controls.list = list;
    controls.closeButton = closeButton;
    controls.startButton = startButton;
    controls.timer = timer;
    controls.messageBox = box;
    controls.quoteText = [&window] { return window.text("Text2"); };
    controls.pumpMessages = [&window] { window.pumpMessages(); };
    return controls;
}

}  // namespace

void runStartupSteps(const std::function<void()>& disableDataExecutionPrevention,
                     const std::function<void()>& pumpMessages,
                     const std::function<void()>& installShellServices) {
    disableDataExecutionPrevention();
    pumpMessages();
    mdXpThemeSupport::InitVisualStyles();
    platform::setProgramResources(builtInResources());
    installIconPictureRoute();
    installShellServices();
}

ShellCore::ShellCore(ShellWindow& window)
    : window_(window),
      list_(std::make_unique<List>(window)),
      closeButton_(std::make_unique<Switch>(window, "Command1")),
      startButton_(std::make_unique<Switch>(window, "Command2")),
      timer_(std::make_unique<Switch>(window, "Timer1")),
      box_(std::make_unique<Box>(window)),
      logic_(controlsOf(window, list_.get(), closeButton_.get(), startButton_.get(), timer_.get(),
                        box_.get())) {}

ShellCore::~ShellCore() = default;

bool ShellCore::build(std::int32_t dpi) {
    for (std::size_t i = 0; i < design::kControls.size(); ++i) {
        const design::ControlDesign& c = design::kControls[i];
        const std::int32_t left = design::scaleToDpi(c.left, dpi);
        const std::int32_t top = design::scaleToDpi(c.top, dpi);
        const Rect bounds{left, top, left + design::scaleToDpi(c.width, dpi),
                          top + design::scaleToDpi(c.height, dpi)};
        if (!window_.makeControl(i, c, bounds)) return false;
    }
    // The logo: an image control restored from its stored properties as the window is made.
    window_.logo().ReadProperties(PropertyBag::fromText(window_.logoProperties()));
    return true;
}

void ShellCore::load() {
    const auto themed = window_.themeControls();
    std::vector<mdXpThemeSupport::ThemeControl*> controls;
    for (const auto& control : themed)
        controls.push_back(control.get());
    logic_.formLoad(controls);
}

void ShellCore::onClick(std::string_view name) {
    if (name == "Command2") {
        logic_.onStartClick();
    } else if (name == "Command1") {
        window_.requestClose();
    } else if (const design::ControlDesign& c = design::control(name);
               c.name == name && c.opensMakerPage) {
        window_.openPage(makerPagePath());
    }
}

bool ShellCore::close() {
    if (!logic_.runClosingSteps()) return false;
    // The controls are unloaded with the window; a tick still on the stack finds the window
    // closing and touches nothing more.
    for (std::size_t i = 0; i < design::kControls.size(); ++i)
        if (design::kControls[i].kind != design::ControlKind::Timer) window_.unloadControl(i);
    return true;
}

bool ShellCore::showsLinkCursor(const design::ControlDesign& control) noexcept {
    return control.opensMakerPage;
}

bool ShellCore::inHighlightColour(const design::ControlDesign& control) noexcept {
    return control.opensMakerPage && control.kind == design::ControlKind::Label;
}

std::string ShellCore::makerPagePath() {
    return projectPagePath(platform::executableFolder());
}

std::string_view ShellCore::nextTabStop(std::string_view current, bool backwards,
                                        const std::function<bool(std::string_view)>& canTakeFocus) {
    std::vector<std::string_view> stops = design::tabOrder();
    std::erase_if(stops, [&](std::string_view name) { return !canTakeFocus(name); });
    if (stops.empty()) return {};
    const auto at = std::find(stops.begin(), stops.end(), current);
    if (at == stops.end()) return stops.front();
    const std::size_t here = static_cast<std::size_t>(at - stops.begin());
    return stops[backwards ? (here + stops.size() - 1) % stops.size() : (here + 1) % stops.size()];
}

}  // namespace talvrin
