#include "app/qt/frm_main.h"

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

#include "app/frm_main_design.h"
#include "app/project_page.h"
#include "app/qt/focus_frame_style.h"
#include "app/qt/theme_controls.h"
#include "app/qt/vitrel_widget.h"
#include "image/control/property_bag.h"
#include "platform/os/program_folder.h"

// The shell is a static library: its compiled-in resources must be registered explicitly.
static void initShellResources() {
    Q_INIT_RESOURCE(resources);
}

namespace talvrin::app::qt {

namespace {

namespace design = frm_main_design;

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect geometryOf(std::string_view name) {
    const design::ControlDesign& c = design::control(name);
    return QRect(c.left, c.top, c.width, c.height);
}

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

FrmMain::FrmMain(QWidget* parent) : QWidget(parent) {
    initShellResources();
    createControls();
    formLoad();
}

FrmMain::~FrmMain() {
    runClosingSteps();
}

void FrmMain::createControls() {
    setWindowTitle(qtext(design::kCaption));
    setWindowIcon(QIcon(QStringLiteral(":/talvrin/window.ico")));
    setFixedSize(design::kClientWidth, design::kClientHeight);

    // One font for the window and every control: Verdana 6.75 pt bold.
    QFont font(qtext(design::kFontFamily));
    font.setPointSizeF(design::kFontPoints);
    font.setWeight(QFont::Bold);
    setFont(font);

    QCursor linkCursor(Qt::PointingHandCursor);
    const QPixmap cursorPixmap(QStringLiteral(":/talvrin/link.cur"));
    if (!cursorPixmap.isNull())
        linkCursor =
            QCursor(cursorPixmap, design::kLinkCursorHotSpot.x, design::kLinkCursorHotSpot.y);

    // Controls in the order of the window's design data; creation order is stacking order.
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(geometryOf("Text2"));
    Text2->setText(qtext(design::control("Text2").caption));
    Text2->setVisible(false);  // only read by the program; the logo covers its place

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(static_cast<int>(design::kTimerIntervalMs));
    connect(Timer1, &QTimer::timeout, this, [this] { logic_->onTimerTick(); });

    Command1 = new QPushButton(qtext(design::control("Command1").caption), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(geometryOf("Command1"));
    connect(Command1, &QPushButton::clicked, this, [this] { close(); });

    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(geometryOf("List1"));

    Command2 = new QPushButton(qtext(design::control("Command2").caption), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(geometryOf("Command2"));
    connect(Command2, &QPushButton::clicked, this, [this] { logic_->onStartClick(); });

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(geometryOf("Image2"));
    Image2->setPixmap(QPixmap(QStringLiteral(":/talvrin/link.gif")));
    Image2->setCursor(linkCursor);
    Image2->installEventFilter(this);

    Label4 = new QLabel(qtext(design::control("Label4").caption), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(geometryOf("Label4"));
    QPalette linkPalette = Label4->palette();
    linkPalette.setColor(QPalette::WindowText, palette().color(QPalette::Highlight));
    Label4->setPalette(linkPalette);
    Label4->setCursor(linkCursor);
    Label4->installEventFilter(this);

    Label2 = new QLabel(qtext(design::control("Label2").caption), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(geometryOf("Label2"));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label1 = new QLabel(qtext(design::control("Label1").caption), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(geometryOf("Label1"));

    // The logo: an image control restored from its stored properties as the window is made.
    Vitrel1 = new VitrelWidget(this);
    Vitrel1->setObjectName(QStringLiteral("Vitrel1"));
    Vitrel1->setGeometry(geometryOf("Vitrel1"));
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

    // The window's behaviour drives the controls through small adapters.
    list_ = std::make_unique<ListAdapter>(List1);
    closeButton_ = std::make_unique<EnableAdapter>([this](bool on) { Command1->setEnabled(on); });
    startButton_ = std::make_unique<EnableAdapter>([this](bool on) { Command2->setEnabled(on); });
    timer_ =
        std::make_unique<EnableAdapter>([this](bool on) { on ? Timer1->start() : Timer1->stop(); });
    box_ = std::make_unique<BoxAdapter>(this);

    FrmMainControls controls;
    controls.list = list_.get();
    controls.closeButton = closeButton_.get();
    controls.startButton = startButton_.get();
    controls.timer = timer_.get();
    controls.messageBox = box_.get();
    controls.quoteText = [this] { return Text2->text().toStdString(); };
    controls.pumpMessages = pumpMessages;
    logic_ = std::make_unique<FrmMainLogic>(std::move(controls));
}

void FrmMain::formLoad() {
    const auto controls = themeControlsOf(*this);
    std::vector<mdXpThemeSupport::ThemeControl*> list;
    for (const auto& control : controls)
        list.push_back(control.get());
    logic_->formLoad(list);
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

void FrmMain::runClosingSteps() {
    if (!logic_ || !logic_->runClosingSteps()) return;
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

}  // namespace talvrin::app::qt
