// FrmMain: the program's one window. A progress list, "Start" and "Close", three labels, the
// link picture, the logo's place, the timer that starts the repair sequence and the text box
// holding the quote character. It owns the command runner objDOS.
#pragma once

#include <QWidget>
#include <memory>

#include "app/frm_main_logic.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QUrl;

namespace talvrin::app::qt {

class VitrelWidget;

class FrmMain : public QWidget {
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

    [[nodiscard]] DOSOutputs* objDOS() const { return logic_ ? logic_->objDOS() : nullptr; }
    [[nodiscard]] bool isClosing() const { return logic_ && logic_->isClosing(); }
    [[nodiscard]] bool isRepairRunning() const { return logic_ && logic_->isRepairRunning(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void formLoad();
    void openMakerPage();
    // The closing steps; they run on the close request and again on unload, once in effect.
    void runClosingSteps();

    // Adapters from the sequence's interfaces onto the controls.
    class ListAdapter;
    class EnableAdapter;
    class BoxAdapter;
    std::unique_ptr<ListAdapter> list_;
    std::unique_ptr<EnableAdapter> closeButton_, startButton_, timer_;
    std::unique_ptr<BoxAdapter> box_;
    std::unique_ptr<FrmMainLogic> logic_;
};

}  // namespace talvrin::app::qt
