// FrmMain: the program's one window. A progress list, "Start" and "Close", three labels, the
// link picture, the logo's place, the timer that starts the repair sequence and the text box
// holding the quote character. It owns the command runner objDOS.
#pragma once

#include <QWidget>
#include <memory>

#include "app/dos_command_runner.h"
#include "app/repair_sequence.h"
#include "app/runner/dos_outputs.h"
#include "app/system_redirection.h"
#include "app/window_run_listener.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QUrl;

namespace talvrin {

namespace platform::qt {
class VitrelWidget;
}

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
    platform::qt::VitrelWidget* Vitrel1 = nullptr;  // the logo

    [[nodiscard]] DOSOutputs* objDOS() const { return objDOS_; }
    [[nodiscard]] bool isClosing() const { return closing_; }
    [[nodiscard]] bool isRepairRunning() const { return sequence_ && sequence_->isRunning(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void formLoad();
    void onTimerTick();
    void openMakerPage();
    // The closing steps; they run on the close request and again on unload, once in effect.
    void runClosingSteps();
    void releaseRunner();

    DOSOutputs* objDOS_ = nullptr;          // the runner the sequence uses; nullptr once released
    std::unique_ptr<DOSOutputs> ownedDos_;  // owns objDOS_ until released
    std::unique_ptr<DOSOutputs>
        retiredDos_;  // a released runner still reading: freed after the tick
    // Pumps the messages while a command runs, and ends the reading 10 s after a close request.
    WindowRunListener runListener_;
    bool closing_ = false;
    bool closed_ = false;

    // Adapters from the sequence's interfaces onto the controls.
    class ListAdapter;
    class EnableAdapter;
    class BoxAdapter;
    std::unique_ptr<ListAdapter> list_;
    std::unique_ptr<EnableAdapter> closeButton_, startButton_, timer_;
    std::unique_ptr<BoxAdapter> box_;
    std::unique_ptr<DosCommandRunner> runner_;
    SystemRedirection redirection_;
    std::unique_ptr<RepairSequence> sequence_;
};

}  // namespace talvrin
