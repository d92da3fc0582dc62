// FrmMain: the program's one window. A progress list, "Start" and "Close", three labels, the
// link picture, the logo's place, the timer that starts the repair sequence and the text box
// holding the quote character. The window's core (app/shell_core.h) walks its design and drives
// it; this class makes the Qt widgets and forwards their events.
#pragma once

#include <QWidget>

#include "app/shell_core.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QUrl;

namespace talvrin::app::qt {

class VitrelWidget;

class FrmMain : public QWidget, private ShellWindow {
    Q_OBJECT

  public:
    explicit FrmMain(QWidget* parent = nullptr);
    ~FrmMain() override;

    // The maker's page, opened by the link picture and its label: the program's own page,
    // shipped with it (project_page.h).
    static QUrl makerPageUrl();

    // Controls, named as the window's design names them (read by tests).
    QLineEdit* Text2 = nullptr;
    QTimer* Timer1 = nullptr;
    QPushButton* Command1 = nullptr;  // "Close"
    QListWidget* List1 = nullptr;
    QPushButton* Command2 = nullptr;  // "Start"
    QLabel* Image2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    VitrelWidget* Vitrel1 = nullptr;  // the logo

    [[nodiscard]] DOSOutputs* objDOS() const { return core_.logic().objDOS(); }
    [[nodiscard]] bool isClosing() const { return core_.logic().isClosing(); }
    [[nodiscard]] bool isRepairRunning() const { return core_.logic().isRepairRunning(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The window as the core sees it.
    bool makeControl(std::size_t index, const frm_main_design::ControlDesign& control,
                     const Rect& bounds) override;
    Vitrel& logo() override;
    std::string logoProperties() override;
    void enable(std::string_view name, bool enabled) override;
    void clearList() override;
    void addListLine(const std::string& line) override;
    int listCount() const override;
    void selectListLine(int index) override;
    std::string text(std::string_view name) const override;
    void showMessage(const std::string& text, const std::string& caption) override;
    void pumpMessages() override;
    std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> themeControls() override;
    void requestClose() override;
    void openPage(const std::string& path) override;
    void unloadControl(std::size_t index) override;

    // The closing steps; they run on the close request and again on unload, once in effect.
    void runClosingSteps();

    QWidget* widgetOf(std::string_view name) const;

    ShellCore core_{*this};
};

}  // namespace talvrin::app::qt
