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

#include "app/qt/theme_controls.h"
#include "app/qt/vitrel_widget.h"
#include "platform/qt/focus_frame_style.h"
#include "platform/qt/qt_geometry.h"

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

// The drawn link cursor of the link picture and its label.
QCursor linkCursor() {
    const QPixmap pixmap(QStringLiteral(":/talvrin/link.cur"));
    if (pixmap.isNull()) return QCursor(Qt::PointingHandCursor);
    return QCursor(pixmap, design::kLinkCursorHotSpot.x, design::kLinkCursorHotSpot.y);
}

}  // namespace

FrmMain::FrmMain(QWidget* parent) : QWidget(parent) {
    initShellResources();
    setWindowTitle(qtext(design::kCaption));
    setWindowIcon(QIcon(QStringLiteral(":/talvrin/window.ico")));
    setFixedSize(design::kClientWidth, design::kClientHeight);
    // One font for the window and every control: Verdana 6.75 pt bold.
    QFont font(qtext(design::kFontFamily));
    font.setPointSizeF(design::kFontPoints);
    font.setWeight(QFont::Bold);
    setFont(font);

    // Qt lays the window out in its own device-independent pixels: the design's.
    core_.build(design::kDesignDpi);
    const auto order = design::tabOrder();
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(widgetOf(order[i - 1]), widgetOf(order[i]));
    widgetOf(order.front())->setFocus();
    // The focused button shows its focus frame from the start, not only after the first Tab:
    // "Start" has the focus when the window opens, and Space presses it.
    auto* focusStyle = new platform::qt::FocusFrameStyle;
    focusStyle->setParent(this);
    Command1->setStyle(focusStyle);
    Command2->setStyle(focusStyle);
    core_.load();
}

FrmMain::~FrmMain() {
    runClosingSteps();
}

bool FrmMain::makeControl(std::size_t, const design::ControlDesign& c, const Rect& bounds) {
    const QString caption = qtext(c.caption);
    QWidget* widget = nullptr;
    switch (c.kind) {
        case design::ControlKind::Timer:
            Timer1 = new QTimer(this);
            Timer1->setObjectName(qtext(c.name));
            Timer1->setInterval(static_cast<int>(design::kTimerIntervalMs));
            connect(Timer1, &QTimer::timeout, this, [this] { core_.onTimerTick(); });
            return true;
        case design::ControlKind::TextBox:
            widget = Text2 = new QLineEdit(caption, this);
            Text2->setVisible(false);  // only read by the program; the logo covers its place
            break;
        case design::ControlKind::PushButton: {
            auto* button = new QPushButton(caption, this);
            (c.name == "Command1" ? Command1 : Command2) = button;
            connect(button, &QPushButton::clicked, this, [this, &c] { core_.onClick(c.name); });
            widget = button;
            break;
        }
        case design::ControlKind::ListBox:
            widget = List1 = new QListWidget(this);
            break;
        case design::ControlKind::Picture:
            widget = Image2 = new QLabel(this);
            Image2->setPixmap(QPixmap(QStringLiteral(":/talvrin/link.gif")));
            break;
        case design::ControlKind::Label: {
            auto* label = new QLabel(caption, this);
            (c.name == "Label4" ? Label4 : c.name == "Label2" ? Label2 : Label1) = label;
            if (ShellCore::inHighlightColour(c)) {
                QPalette linkPalette = label->palette();
                linkPalette.setColor(QPalette::WindowText, palette().color(QPalette::Highlight));
                label->setPalette(linkPalette);
            }
            if (c.caption == design::kAboutText) {  // wraps inside its box, from the top left
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            }
            widget = label;
            break;
        }
        case design::ControlKind::ImageControl:
            widget = Vitrel1 = new VitrelWidget(this);
            break;
    }
    widget->setObjectName(qtext(c.name));
    widget->setGeometry(platform::qt::qrectOf(bounds));
    if (ShellCore::showsLinkCursor(c)) widget->setCursor(linkCursor());
    if (c.opensMakerPage) widget->installEventFilter(this);  // its click opens the page
    return true;
}

Vitrel& FrmMain::logo() {
    return Vitrel1->control();
}

// The logo control's stored properties, shipped inside the program.
std::string FrmMain::logoProperties() {
    QFile file(QStringLiteral(":/talvrin/logo.properties.json"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

QWidget* FrmMain::widgetOf(std::string_view name) const {
    return findChild<QWidget*>(qtext(name), Qt::FindDirectChildrenOnly);
}

void FrmMain::enable(std::string_view name, bool enabled) {
    if (name == "Timer1") {
        enabled ? Timer1->start() : Timer1->stop();
    } else {
        widgetOf(name)->setEnabled(enabled);
    }
}

void FrmMain::clearList() {
    List1->clear();
}

void FrmMain::addListLine(const std::string& line) {
    List1->addItem(QString::fromStdString(line));
}

int FrmMain::listCount() const {
    return List1->count();
}

void FrmMain::selectListLine(int index) {
    List1->setCurrentRow(index);
    if (auto* item = List1->item(index)) List1->scrollToItem(item);
}

std::string FrmMain::text(std::string_view name) const {
    return qobject_cast<QLineEdit*>(widgetOf(name))->text().toStdString();
}

void FrmMain::showMessage(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    box.exec();
}

void FrmMain::pumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> FrmMain::themeControls() {
    return themeControlsOf(*this);
}

void FrmMain::requestClose() {
    close();
}

QUrl FrmMain::makerPageUrl() {
    return QUrl::fromLocalFile(QString::fromStdString(ShellCore::makerPagePath()));
}

void FrmMain::openPage(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

// Only the controls that open the maker's page are watched.
bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease) return QWidget::eventFilter(watched, event);
    core_.onClick(watched->objectName().toStdString());
    return true;
}

void FrmMain::closeEvent(QCloseEvent* event) {
    runClosingSteps();
    event->accept();  // closing is never refused
}

// While a tick may still be on the stack the controls are only hidden, so nothing the running
// tick touches is destroyed under it; they are unloaded with the window itself.
void FrmMain::unloadControl(std::size_t index) {
    widgetOf(design::kControls[index].name)->hide();
}

void FrmMain::runClosingSteps() {
    if (core_.close()) hide();
}

}  // namespace talvrin::app::qt
