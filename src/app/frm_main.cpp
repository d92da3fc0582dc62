#include "app/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <vector>

#include "app/focus_frame_style.h"
#include "app/project_page.h"
#include "app/theme_controls.h"
#include "image/control/property_bag.h"
#include "platform/os/program_folder.h"
#include "ui/qt/vitrel_widget.h"

// The shell is a static library: its compiled-in resources must be registered explicitly.
static void initShellResources() {
    Q_INIT_RESOURCE(resources);
}

namespace talvrin {

namespace {

constexpr int kClientWidth = 557;   // 8355 twips at 15 twips a pixel
constexpr int kClientHeight = 183;  // 2745 twips
constexpr int kTimerIntervalMs = 100;

constexpr const char* kCaption = "Talvrin - by Brennock";
constexpr const char* kAboutText =
    "This program will repair the Windows Firewall and WMI. When the Windows firewall won't start "
    "or you have errors from programs using WMI this tool should help fix those problems. A Broken "
    "Windows Firewall can also keep programs and ports from working correctly. This program will "
    "take a few minutes to complete. Once finished you will need to reboot to finish.";

// The link cursor's hot spot, as drawn in resources/link.cur.
constexpr int kLinkCursorHotX = 6;
constexpr int kLinkCursorHotY = 1;

// The logo control's stored properties, shipped inside the program.
PropertyBag logoProperties() {
    QFile file(QStringLiteral(":/talvrin/logo.properties.json"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray text = file.readAll();
    return PropertyBag::fromText(
        std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void pumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace

class FrmMain::ListAdapter final : public ProgressList {
  public:
    explicit ListAdapter(QListWidget* list) : list_(list) {}
    void clear() override { list_->clear(); }
    void addLine(const std::string& text) override { list_->addItem(QString::fromStdString(text)); }
    int count() const override { return list_->count(); }
    void setSelectedIndex(int index) override {
        list_->setCurrentRow(index);
        if (auto* item = list_->item(index)) list_->scrollToItem(item);
    }

  private:
    QListWidget* list_;
};

class FrmMain::EnableAdapter final : public Switchable {
  public:
    explicit EnableAdapter(std::function<void(bool)> set) : set_(std::move(set)) {}
    void setEnabled(bool enabled) override { set_(enabled); }

  private:
    std::function<void(bool)> set_;
};

class FrmMain::BoxAdapter final : public MessageBoxHost {
  public:
    explicit BoxAdapter(QWidget* owner) : owner_(owner) {}
    void showMessage(const std::string& text, const std::string& caption) override {
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                        QString::fromStdString(text), QMessageBox::Ok, owner_);
        box.exec();
    }

  private:
    QWidget* owner_;
};

FrmMain::FrmMain(QWidget* parent) : QWidget(parent), runListener_(pumpMessages) {
    initShellResources();
    createControls();
    formLoad();
}

FrmMain::~FrmMain() {
    runClosingSteps();
}

void FrmMain::createControls() {
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(QIcon(QStringLiteral(":/talvrin/window.ico")));
    setFixedSize(kClientWidth, kClientHeight);

    // One font for the window and every control: Verdana 6.75 pt bold.
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(6.75);
    font.setWeight(QFont::Bold);
    setFont(font);

    QCursor linkCursor(Qt::PointingHandCursor);
    const QPixmap cursorPixmap(QStringLiteral(":/talvrin/link.cur"));
    if (!cursorPixmap.isNull())
        linkCursor = QCursor(cursorPixmap, kLinkCursorHotX, kLinkCursorHotY);

    // Controls in the order of the window's design data; creation order is stacking order.
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(30, 2, 13, 14);
    Text2->setText(QStringLiteral("\""));
    Text2->setVisible(false);  // only read by the program; the logo covers its place

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerIntervalMs);
    connect(Timer1, &QTimer::timeout, this, &FrmMain::onTimerTick);

    Command1 = new QPushButton(QStringLiteral("Close"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(462, 106, 91, 23);
    connect(Command1, &QPushButton::clicked, this, [this] { close(); });

    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(134, 4, 419, 98);

    Command2 = new QPushButton(QStringLiteral("Start"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(368, 106, 91, 23);
    connect(Command2, &QPushButton::clicked, this, [this] { Timer1->start(); });

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(134, 116, 16, 16);
    Image2->setPixmap(QPixmap(QStringLiteral(":/talvrin/link.gif")));
    Image2->setCursor(linkCursor);
    Image2->installEventFilter(this);

    Label4 = new QLabel(QStringLiteral("Follow Brennock on Facebook"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(152, 118, 156, 12);
    QPalette linkPalette = Label4->palette();
    linkPalette.setColor(QPalette::WindowText, palette().color(QPalette::Highlight));
    Label4->setPalette(linkPalette);
    Label4->setCursor(linkCursor);
    Label4->installEventFilter(this);

    Label2 = new QLabel(QString::fromUtf8(kAboutText), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(4, 132, 549, 53);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label1 = new QLabel(QStringLiteral("For Windows Xp/2003/Vista/2008/7"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(134, 104, 185, 12);

    // The logo: an image control restored from its stored properties as the window is made.
    Vitrel1 = new platform::qt::VitrelWidget(this);
    Vitrel1->setObjectName(QStringLiteral("Vitrel1"));
    Vitrel1->setGeometry(2, 2, 128, 128);
    Vitrel1->control().ReadProperties(logoProperties());

    // Tab order: Start (0), the list (1), Close (2), then the text box (5).
    setTabOrder(Command2, List1);
    setTabOrder(List1, Command1);
    setTabOrder(Command1, Text2);
    Command2->setFocus();
    // The focused button shows its focus frame from the start, not only after the first Tab:
    // "Start" has the focus when the window opens, and Space presses it.
    auto* focusStyle = new FocusFrameStyle;
    focusStyle->setParent(this);
    Command1->setStyle(focusStyle);
    Command2->setStyle(focusStyle);

    // The sequence drives the controls through small adapters.
    list_ = std::make_unique<ListAdapter>(List1);
    closeButton_ = std::make_unique<EnableAdapter>([this](bool on) { Command1->setEnabled(on); });
    startButton_ = std::make_unique<EnableAdapter>([this](bool on) { Command2->setEnabled(on); });
    timer_ =
        std::make_unique<EnableAdapter>([this](bool on) { on ? Timer1->start() : Timer1->stop(); });
    box_ = std::make_unique<BoxAdapter>(this);
    runner_ = std::make_unique<DosCommandRunner>(&objDOS_);

    RepairHost host;
    host.list = list_.get();
    host.closeButton = closeButton_.get();
    host.startButton = startButton_.get();
    host.timer = timer_.get();
    host.messageBox = box_.get();
    host.runner = runner_.get();
    host.redirection = &redirection_;
    host.quoteText = [this] { return Text2->text().toStdString(); };
    host.programFolder = [] { return platform::programFolder(); };
    host.pumpMessages = pumpMessages;
    host.isClosing = [this] { return closing_; };
    sequence_ = std::make_unique<RepairSequence>(std::move(host));
}

void FrmMain::formLoad() {
    // The visual-style fix of the window's controls; its result is not needed.
    const auto controls = themeControlsOf(*this);
    std::vector<mdXpThemeSupport::ThemeControl*> list;
    for (const auto& control : controls)
        list.push_back(control.get());
    mdXpThemeSupport::FixThemeSupport(list);
    ownedDos_ = std::make_unique<DOSOutputs>();
    objDOS_ = ownedDos_.get();
    // Each chunk of output, and each idle wait while a command is silent, only keeps the window
    // responsive; the text is not shown.
    runListener_.listenTo(*objDOS_);
}

void FrmMain::onTimerTick() {
    sequence_->onTick();
    // A runner released while it was still reading is freed only now that the tick has unwound.
    if (!sequence_->isRunning()) retiredDos_.reset();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Image2 || watched == Label4) && event->type() == QEvent::MouseButtonRelease) {
        openMakerPage();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QUrl FrmMain::makerPageUrl() {
    return QUrl::fromLocalFile(
        QString::fromStdString(projectPagePath(platform::executableFolder())));
}

void FrmMain::openMakerPage() {
    QDesktopServices::openUrl(makerPageUrl());
}

void FrmMain::closeEvent(QCloseEvent* event) {
    runClosingSteps();
    event->accept();  // closing is never refused
}

void FrmMain::releaseRunner() {
    if (!ownedDos_) return;
    objDOS_ = nullptr;
    // A runner inside ExecuteCommand (this close came through its event's pumping) must outlive
    // the read on the stack; it is freed when the tick unwinds.
    if (ownedDos_->isRunning()) {
        retiredDos_ = std::move(ownedDos_);
    } else {
        ownedDos_.reset();
    }
}

void FrmMain::runClosingSteps() {
    if (closed_) return;
    closed_ = true;
    closing_ = true;
    // A command still running gets a last while for its output to end; the program ends when
    // the tick has unwound.
    runListener_.closeRequested();
    Timer1->stop();
    releaseRunner();
    // The controls are unloaded with the window itself; while a tick may still be on the stack
    // they are only hidden, so nothing the running tick touches is destroyed under it.
    for (QWidget* control : {static_cast<QWidget*>(Text2), static_cast<QWidget*>(Command1),
                             static_cast<QWidget*>(List1), static_cast<QWidget*>(Command2),
                             static_cast<QWidget*>(Image2), static_cast<QWidget*>(Label4),
                             static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label1),
                             static_cast<QWidget*>(Vitrel1)}) {
        control->hide();
    }
    hide();
}

}  // namespace talvrin
