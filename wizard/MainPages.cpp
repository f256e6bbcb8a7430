// TFormMain: the window, its two pages, the buttons and the navigation
// between the pages, the step indicators and the pointer.
#include "Main.h"

#include "Aplist.h"
#include "Application.h"
#include "BitBtn.h"
#include "Controls.h"
#include "FileDialog.h"
#include "LangIni.h"
#include "MainPictures.h"
#include "MessageBox.h"
#include "SettingsKey.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStringList>

namespace {

using namespace tidewell;
namespace ui = kavo::ui;

constexpr int kClientWidth = 510;
constexpr int kClientHeight = 331;
constexpr int kTickLeft = 200;
constexpr int kRowLabelLeft = 223;
constexpr int kMarkerLeft = 202;
constexpr int kTickTops[5] = {43, 71, 99, 126, 154};
constexpr int kLabelTops[5] = {45, 73, 101, 128, 156};

QFont formFont()
{
    // MS Sans Serif 8 points, or the nearest sans serif face there is.
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                   QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                   QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    f.setPointSize(8);
    return f;
}

QFont headingFont(const QFont& base)
{
    QFont f = base;
    f.setPointSize(10);
    f.setBold(true);
    return f;
}

template <typename W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top,
              int wrapWidth = 0, int height = 0)
{
    auto* l = named(new QLabel(parent), name);
    // Texts are shown as they are, never as rich text.
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    l->move(left, top);
    if (wrapWidth > 0) {
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->resize(wrapWidth, height);
    } else {
        l->adjustSize();
    }
    return l;
}

// Keeps a window's frame centred on the screen's work area until the frame
// is known: the window system tells it only once the window is shown, so
// until then the frame is taken to be the client area, and the window is
// centred again as soon as its frame is known.
class FrameCentring : public QObject {
public:
    explicit FrameCentring(QWidget* window) : QObject(window)
    {
        window->installEventFilter(this);
        centre(window);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = static_cast<QWidget*>(watched);
        if ((event->type() == QEvent::Show || event->type() == QEvent::Move) && window->isVisible() &&
            window->frameGeometry().size() != window->size()) {
            centre(window);
            window->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    static void centre(QWidget* window)
    {
        QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect area = screen->availableGeometry();
        const QSize frame = window->frameGeometry().size();
        window->move(area.left() + (area.width() - frame.width()) / 2,
                     area.top() + (area.height() - frame.height()) / 2);
    }
};

QLabel* picture(QWidget* parent, const char* name, const QPixmap& pm, int left, int top)
{
    auto* l = named(new TImage(parent), name);
    l->setPixmap(pm);
    l->setGeometry(left, top, pm.width(), pm.height());
    return l;
}

}  // namespace

QString tidewell::QtFileFilter(const QString& filter)
{
    // "Description|pattern;pattern|..." as the original dialogs took it.
    QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            patterns << p.trimmed();
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(u' '));
    }
    return out.join(QStringLiteral(";;"));
}

void TFormMain::BuildForm()
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QString::fromLatin1(kMainCaption));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(formFont());

    // The page control: its sheets have no tabs, only the program switches.
    PageControl1 = named(new QStackedWidget(this), "PageControl1");
    PageControl1->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    PageControl1->setGeometry(0, 0, kClientWidth, 274);
    TabSheet1 = named(new TTabSheet(QStringLiteral("TabSheet1")), "TabSheet1");
    TabSheet2 = named(new TTabSheet(QStringLiteral("TabSheet2")), "TabSheet2");
    PageControl1->addWidget(TabSheet1);
    PageControl1->addWidget(TabSheet2);
    BuildPage1();
    BuildPage2();

    Panel2 = named(new TPanel(this), "Panel2");
    Panel2->setGeometry(12, 278, 161, 46);
    Panel1 = named(new TPanel(this), "Panel1");
    Panel1->setGeometry(16, 283, 160, 32);
    Image1 = picture(Panel1, "Image1", pictures::logo(), 0, 0);

    BitBtn1 = named(new QPushButton(QStringLiteral("< &Back"), this), "BitBtn1");
    BitBtn1->setGeometry(242, 289, 75, 25);
    BitBtn1->setEnabled(false);
    BitBtn2 = named(new TBitBtn(QStringLiteral("&Next >"), this), "BitBtn2");
    BitBtn2->setGlyph(pictures::nextGlyph(), TBitBtn::GlyphRight);
    BitBtn2->setGeometry(330, 289, 75, 25);
    BitBtn4 = named(new TBitBtn(QStringLiteral("&Finish"), this), "BitBtn4");
    BitBtn4->setGlyph(pictures::finishGlyph(), TBitBtn::GlyphLeft);
    BitBtn4->setGeometry(BitBtn2->geometry());
    BitBtn4->setDefault(true);
    BitBtn4->hide();
    BitBtn3 = named(new QPushButton(QStringLiteral("&Cancel"), this), "BitBtn3");
    BitBtn3->setGeometry(418, 289, 75, 25);
    BitBtn3->setMouseTracking(true);
    BitBtn3->installEventFilter(this);

    SaveDialog1 = named(new TSaveDialog(this), "SaveDialog1");
    OpenDialog1 = named(new TOpenDialog(this), "OpenDialog1");
    LngINISupp1 = named(new TLngINISupp(this), "LngINISupp1");
    MsgINISupp1 = named(new TMsgINISupp(this), "MsgINISupp1");

    connect(BitBtn1, &QPushButton::clicked, this, [this] { Guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { Guarded([this] { BitBtn2Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { Guarded([this] { BitBtn3Click(); }); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { Guarded([this] { BitBtn3Click(); }); });
    setTabOrder(cbMethod, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn4);
    setTabOrder(BitBtn4, BitBtn3);

    // The frame centred on the screen.
    new FrameCentring(this);
}

void TFormMain::BuildPage1()
{
    QWidget* page = TabSheet1;
    Image3 = picture(page, "Image3", pictures::banner(), 12, 16);
    Label1 = label(page, "Label1", QStringLiteral("Select the Update Method"), 200, 16);
    Label1->setFont(headingFont(font()));
    Label1->adjustSize();
    Label5 = label(page, "Label5",
                   QStringLiteral("1. Update Firmware from the Internet - Update the firmware from the "
                                  "Internet. The updating will be done automatically."),
                   200, 46, 290, 48);
    Label6 = label(page, "Label6",
                   QStringLiteral("2. Update Firmware from the Disk - Specify the update firmware from "
                                  "the disk. The updating will be done automatically."),
                   200, 96, 290, 48);
    Label7 = label(page, "Label7",
                   QStringLiteral("3. Download Firmware from the Internet - Download the firmware to a "
                                  "folder in your computer."),
                   200, 150, 290, 48);

    cbMethod = named(new QComboBox(page), "cbMethod");
    cbMethod->setEditable(false);
    for (const char* item : kMethodItems)
        cbMethod->addItem(QString::fromLatin1(item));
    cbMethod->setGeometry(200, 204, 281, 22);

    btnProxy = named(new QPushButton(QStringLiteral("&Proxy Setup"), page), "btnProxy");
    btnProxy->setGeometry(200, 236, 89, 25);
    btnProxy->hide();
    connect(btnProxy, &QPushButton::clicked, this, [this] { Guarded([this] { btnProxyClick(); }); });
    btnDownload = named(new QPushButton(QStringLiteral("btnDownload"), page), "btnDownload");
    btnDownload->setGeometry(300, 236, 89, 25);
    btnDownload->hide();
    connect(btnDownload, &QPushButton::clicked, this, [this] { Guarded([this] { btnDownloadClick(); }); });
}

void TFormMain::BuildPage2()
{
    QWidget* page = TabSheet2;
    page->setMouseTracking(true);
    page->installEventFilter(this);
    Image2 = picture(page, "Image2", pictures::banner(), 12, 16);
    Label2 = label(page, "Label2", QStringLiteral("Update Procedure"), 200, 16);
    Label2->setFont(headingFont(font()));
    Label2->adjustSize();

    const QPixmap tick = pictures::tick();
    QLabel** ticks[5] = {&imgT1, &imgT2, &imgT3, &imgT4, &imgT5};
    const char* tickNames[5] = {"imgT1", "imgT2", "imgT3", "imgT4", "imgT5"};
    for (int i = 0; i < 5; ++i) {
        *ticks[i] = picture(page, tickNames[i], tick, kTickLeft, kTickTops[i]);
        (*ticks[i])->hide();
    }

    const QString connecting = QStringLiteral("Connecting to the ftp server");
    const QString retrieving = QStringLiteral("Retrieving available update information");
    const QString installing = QStringLiteral("Installing files");
    labT1_1 = label(page, "labT1_1", connecting, kRowLabelLeft, kLabelTops[0]);
    labT1_2 = label(page, "labT1_2", retrieving, kRowLabelLeft, kLabelTops[0]);
    labT2_1 = label(page, "labT2_1", retrieving, kRowLabelLeft, kLabelTops[1]);
    labT2_2 = label(page, "labT2_2", installing, kRowLabelLeft, kLabelTops[1]);
    labT3 = label(page, "labT3", QStringLiteral("Downloading files"), kRowLabelLeft, kLabelTops[2]);
    labT4 = label(page, "labT4", QStringLiteral("Disconnecting from the ftp server"), kRowLabelLeft,
                  kLabelTops[3]);
    labT5_1 = label(page, "labT5_1", installing, kRowLabelLeft, kLabelTops[4]);
    labT5_2 = label(page, "labT5_2", QStringLiteral("Saving files to disk"), kRowLabelLeft, kLabelTops[4]);
    labT1_2->hide();
    labT2_2->hide();
    labT5_2->hide();

    imgErr = picture(page, "imgErr", pictures::cross(), kTickLeft, kTickTops[0]);
    imgErr->hide();
    imgDot = named(new TAnimatedImage(page), "imgDot");
    imgDot->setFrames(pictures::markerFrames(), pictures::kMarkerFrameMs);
    imgDot->setGeometry(kMarkerLeft, kTickTops[0], 14, 14);

    GroupBox1 = named(new QGroupBox(QStringLiteral("Download Progress"), page), "GroupBox1");
    GroupBox1->setGeometry(201, 184, 284, 73);
    Label3 = label(GroupBox1, "Label3", QStringLiteral("0%"), 10, 21);
    Label4 = label(GroupBox1, "Label4", QStringLiteral("100%"), 0, 21);
    Label4->move(198 - Label4->width(), 21);
    ProgressBar1 = named(new QProgressBar(GroupBox1), "ProgressBar1");
    ProgressBar1->setGeometry(10, 36, 188, 14);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    labProgress = label(GroupBox1, "labProgress", QString(), 10, 53, 264, 15);
    labProgress->setWordWrap(false);
    bbtnStop = named(new QPushButton(QStringLiteral("&Stop"), GroupBox1), "bbtnStop");
    bbtnStop->setGeometry(206, 30, 68, 24);
    bbtnStop->setEnabled(false);
    connect(bbtnStop, &QPushButton::clicked, this, [this] { Guarded([this] { bbtnStopClick(); }); });

    ListViewRemote = named(new QListWidget(page), "ListViewRemote");
    ListViewRemote->setGeometry(200, 184, 100, 40);
    ListViewRemote->hide();
}

int TFormMain::Method() const { return cbMethod->currentIndex(); }

// ---- Navigation ----

// Qt hands the focus of a control that is hidden or disabled on to the
// next one in the tab order, which on these pages ends on Cancel: Enter
// would then cancel the wizard. As the window itself keeps the focus when
// its focused control goes away, the form takes it before a page switch
// (Cancel keeps it when the user put it there).
void TFormMain::KeepFocusOffChangingControls()
{
    QWidget* focused = focusWidget();
    if (focused && focused != this && focused != BitBtn3)
        setFocus(Qt::OtherFocusReason);
}

void TFormMain::ShowMethodPage()
{
    KeepFocusOffChangingControls();
    PageControl1->setCurrentWidget(TabSheet1);
    BitBtn1->setEnabled(false);
    BitBtn2->setEnabled(true);
    BitBtn2->show();
    BitBtn4->hide();
    Downloaded = false;
}

void TFormMain::BitBtn1Click()
{
    if (PageControl1->currentWidget() == TabSheet2)
        ShowMethodPage();
}

void TFormMain::BitBtn2Click()
{
    CurApVersion.assign(1, '0');  // "0" (this form keeps GCC 12 from a false -Wrestrict)
    if (PageControl1->currentWidget() != TabSheet1)
        return;
    if (Method() == MethodDownload) {
        StartProcedure();
        return;
    }
    if (kavo::platform::topLevelWindowExists(kMarlinTitle)) {
        ui::MessageBox::show(this, QString::fromLatin1(kCloseMarlinText), QString(), ui::Icon::Error);
        return;
    }
    kavo::settings::deleteRunValues();
    SearchAccessPoints();
}

void TFormMain::SearchAccessPoints()
{
    if (RunApSearch())
        StartProcedure();
}

bool TFormMain::RunApSearch()
{
    Q_ASSERT(FormAPList);
    return FormAPList && tidewell::SearchAccessPoints(this, *FormAPList, AppDir, CurApVersion);
}

void TFormMain::StartProcedure()
{
    KeepFocusOffChangingControls();
    PageControl1->setCurrentWidget(TabSheet2);
    BitBtn1->setEnabled(false);
    BitBtn2->setEnabled(false);
    BitBtn2->show();
    BitBtn4->hide();

    for (int row = 1; row <= 5; ++row)
        TickImage(row)->hide();
    imgDot->move(kMarkerLeft, imgT1->y());
    imgDot->show();
    imgErr->hide();
    labProgress->clear();
    ProgressBar1->setValue(0);
    ListViewRemote->clear();

    const int method = Method();
    if (method != MethodDisk) {
        labT1_1->show();
        labT2_1->show();
        labT3->show();
        labT4->show();
        labT1_2->hide();
        labT2_2->hide();
        labT5_1->setVisible(method == MethodInternet);
        labT5_2->setVisible(method != MethodInternet);
        MarkerToRow(1);
        GroupBox1->show();
        ConnectToUpdateServer();
        return;
    }

    // Update from the disk.
    for (QLabel* l : {labT1_1, labT2_1, labT3, labT4, labT5_1, labT5_2})
        l->hide();
    labT1_2->show();
    labT2_2->show();
    GroupBox1->hide();

    OpenDialog1->Title = QString::fromLatin1(kOpenDialogTitle);
    QString chosen = ui::FileDialog::getOpenFileName(this, OpenDialog1->Title, QString(),
                                                     QtFileFilter(QString::fromLatin1(kZipFilter)));
    if (chosen.isEmpty()) {
        ShowMethodPage();
        return;
    }
    // The path as the rest of the wizard takes paths: native separators,
    // the local 8-bit encoding.
    const std::string path = QDir::toNativeSeparators(chosen).toLocal8Bit().toStdString();
    const std::string name = FileNamePart(path);
    if (name.find('a') == std::string::npos) {
        CrossAtRow(1);
        BitBtn1->setEnabled(true);
        ui::MessageBox::show(this, QString::fromLatin1(kInvalidUpdateFileText), QString(), ui::Icon::Error);
        return;
    }
    TickRow(1);
    MarkerToRow(2);
    NewVersion = VersionText(name);
    if (CompareVersionText(NewVersion, CurApVersion) > 0) {
        InstallPackage(path);
        return;
    }
    if (ui::MessageBox::question(this, QString::fromLatin1(kContinueUpdateText),
                                 QString::fromLatin1(kInformationCaption), ui::Icon::Information,
                                 ui::Buttons::YesNo) == ui::Answer::Yes) {
        InstallPackage(path);
        return;
    }
    imgDot->hide();
    TickRow(2);
    DisconnectFromServer();
    ShowFinished();
}

void TFormMain::ShowFinished()
{
    BitBtn1->setEnabled(true);
    BitBtn2->hide();
    BitBtn4->show();
    BitBtn4->setFocus();
}

void TFormMain::BitBtn3Click()
{
    if (bbtnStop->isEnabled()) {
        // A transfer is running: stop it, then close. The call that was
        // transferring returns into an ended run and goes no further.
        bbtnStopClick();
        close();
        return;
    }
    ShowMethodPage();
    close();
    QCoreApplication::quit();
}

// ---- Step indicators ----

QLabel* TFormMain::TickImage(int row) const
{
    QLabel* ticks[5] = {imgT1, imgT2, imgT3, imgT4, imgT5};
    Q_ASSERT(row >= 1 && row <= 5);
    return ticks[std::clamp(row, 1, 5) - 1];
}

int TFormMain::RowLabelTop(int row) { return kLabelTops[std::clamp(row, 1, 5) - 1]; }
int TFormMain::RowTickTop(int row) { return kTickTops[std::clamp(row, 1, 5) - 1]; }

void TFormMain::MarkerToRow(int row) { imgDot->move(kMarkerLeft, RowLabelTop(row)); }

void TFormMain::TickRow(int row) { TickImage(row)->show(); }

void TFormMain::CrossAtRow(int row)
{
    imgErr->move(kTickLeft, RowTickTop(row));
    imgErr->show();
    imgDot->hide();
}

void TFormMain::CrossAtMarker()
{
    imgErr->move(kTickLeft, imgDot->y());
    imgErr->show();
    imgDot->hide();
}

// ---- Keys and pointer ----

void TFormMain::keyPressEvent(QKeyEvent* event)
{
    auto usable = [](QPushButton* b) { return b && b->isVisible() && b->isEnabled(); };
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A focused button takes Enter; otherwise the default button, Finish.
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); usable(focused)) {
            focused->click();
            return;
        }
        if (usable(BitBtn4)) {
            BitBtn4->click();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (usable(BitBtn3)) {
            BitBtn3->click();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == BitBtn3)
            BitBtn3MouseMove();
        else if (watched == TabSheet2)
            TabSheet2MouseMove();
    }
    return QWidget::eventFilter(watched, event);
}

void TFormMain::SetPointer(Pointer pointer)
{
    if (pointer == Pointer::Default) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        return;
    }
    Qt::CursorShape shape = pointer == Pointer::Arrow ? Qt::ArrowCursor : Qt::WaitCursor;
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(shape);
    else
        QGuiApplication::setOverrideCursor(shape);
}

void TFormMain::BitBtn3MouseMove() { SetPointer(Pointer::Arrow); }

void TFormMain::TabSheet2MouseMove()
{
    if (Busy)
        SetPointer(Pointer::HourGlass);
}
