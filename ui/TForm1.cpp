#include "TForm1.h"

#include "RepeatEdit.h"
#include "Widgets.h"
#include "window/HelpTopics.h"
#include "platform/Platform.h"
#include "player/clickerPlay.h"
#include "base/Cp1251.h"
#include "base/IntConv.h"
#include "scenario/ScenarioFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <system_error>

namespace pressmark {

namespace {

constexpr int kMaxSpeed = 10000;

QString fromCp(std::string_view cp1251) {
    return QString::fromStdString(cp1251::toUtf8(cp1251));
}

QFont sansFont(bool bold = false) {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    f.setBold(bold);
    // The substitute fonts run wider than the design font; a slight
    // narrowing keeps every caption inside its control.
    f.setStretch(90);
    return f;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        ButtonPicture picture, QRect geometry, bool bold = false) {
    auto* b = new QPushButton(buttonIcon(picture), caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setIconSize(QSize(16, 16));
    // The design font was narrower than the fonts found here: a caption too
    // long for its button is set a little smaller rather than run past the
    // edge (picture, gap, padding and border included).
    QFont font = sansFont(bold);
    const int room = geometry.width() - 2 - 6 - b->iconSize().width() - 4;
    while (QFontMetrics(font).horizontalAdvance(caption) > room && font.pointSizeF() > 6) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    b->setFont(font);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

} // namespace

TForm1::TForm1(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      m_options(std::move(options)),
      m_logic(*this, MainWindow::Options{m_options.scenarioFolder,
                                         m_options.platformProblem.toStdString()}) {
    build();
    m_logic.formCreate(nativeHandle());
}

TForm1::~TForm1() = default;

void TForm1::setErrorReport(std::function<void(const QString&)> report) {
    m_report = std::move(report);
}

void TForm1::reportError(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (m_report) {
        m_report(shown);
    } else {
        qWarning("%s", qUtf8Printable(shown));
    }
}

void TForm1::build() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Pressmark v 2.0   "));
    setWindowIcon(applicationIcon());
    setFixedSize(427, 400);
    move(258, 97);
    setFont(sansFont());
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
    setStyleSheet(QStringLiteral(
        "QPushButton { text-align: left; padding-left: 3px; border: 1px solid #7a7a7a;"
        " border-radius: 2px; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 #fdfdfd, stop:1 #d8d8d8); }"
        "QPushButton:hover { border-color: #e08a00; background: qlineargradient(x1:0, y1:0,"
        " x2:0, y2:1, stop:0 #fff6d8, stop:1 #ffd77a); }"
        "QPushButton:pressed { background: #f0b848; }"
        "QPushButton:disabled { color: #8c8c8c; background: #c8c8c8; border-color: #a0a0a0; }"
        "QTabWidget::pane { border: 0; background: black; }"
        "QTabWidget::tab-bar { left: 0; }"
        "QTabBar { background: black; }"
        "QTabBar::tab { height: 19px; padding: 0 8px; margin-right: 2px; color: white;"
        " border: 1px solid black; border-bottom: 0; }"
        "QTabBar::tab:selected { font-weight: bold; }"
        "QTabBar::tab:first { background: rgb(31, 63, 171); }"
        "QTabBar::tab:middle { background: rgb(202, 100, 32); }"
        "QTabBar::tab:last { background: rgb(58, 169, 35); }"));

    pc = new QTabWidget(this);
    pc->setObjectName(QStringLiteral("pc"));
    pc->setGeometry(0, 0, 427, 400);
    pc->setDocumentMode(true);
    pc->tabBar()->setDrawBase(false);
    pc->tabBar()->setExpanding(false);
    pc->setAutoFillBackground(true);
    pc->setPalette(pal);

    buildScenariosPage();
    buildRecordingPage();
    buildHelpPage();
    pc->setCurrentWidget(TabSheet1);

    T1 = new QTimer(this);
    T1->setObjectName(QStringLiteral("T1"));
    T1->setInterval(10);
    T1->setTimerType(Qt::PreciseTimer);
    connect(T1, &QTimer::timeout, this, &TForm1::T1Timer);

    tray = new QSystemTrayIcon(applicationIcon(), this);
    tray->setObjectName(QStringLiteral("tray"));
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) {
            restoreFromTray();
        }
    });
    tray->show();
}

void TForm1::buildScenariosPage() {
    TabSheet1 = new GradientPage(QColor(0, 0, 129), Qt::black, GradientPage::Shape::Box);
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet1->setFont(sansFont(true));
    QPalette pal = TabSheet1->palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    TabSheet1->setPalette(pal);
    pc->addTab(TabSheet1, QStringLiteral("Сценарии"));

    Label2 = new QLabel(QStringLiteral("Доступные сценарии:"), TabSheet1);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont times(QStringLiteral("Times New Roman"));
    times.setPointSize(10);
    times.setBold(true);
    Label2->setFont(times);
    Label2->setStyleSheet(QStringLiteral("color: rgb(106, 106, 255); background: transparent;"));
    Label2->move(8, 8);
    Label2->adjustSize();
    Label2->resize(Label2->width(), 16);

    Flb1 = new QListWidget(TabSheet1);
    Flb1->setObjectName(QStringLiteral("Flb1"));
    Flb1->setGeometry(8, 24, 145, 345);
    Flb1->setSelectionMode(QAbstractItemView::SingleSelection);
    Flb1->setFont(sansFont());
    connect(Flb1, &QListWidget::itemSelectionChanged, this, &TForm1::Flb1Change);

    folderProblem = new QLabel(Flb1);
    folderProblem->setObjectName(QStringLiteral("folderProblem"));
    folderProblem->setGeometry(6, 6, 133, 200);
    folderProblem->setWordWrap(true);
    folderProblem->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    folderProblem->setStyleSheet(QStringLiteral("color: rgb(180, 0, 0); background: transparent;"));
    folderProblem->hide();

    SStartBtn = makeButton(TabSheet1, "SStartBtn", QStringLiteral("Выполнить сценарий"),
                           ButtonPicture::Play, QRect(160, 24, 161, 25));
    SStopBtn = makeButton(TabSheet1, "SStopBtn", QStringLiteral("Стоп"), ButtonPicture::Stop,
                          QRect(328, 24, 81, 25));
    SDelBtn = makeButton(TabSheet1, "SDelBtn", QStringLiteral("Удалить"), ButtonPicture::Delete,
                         QRect(160, 56, 113, 25));
    for (QPushButton* b : {SStartBtn, SStopBtn, SDelBtn}) {
        b->setFont(sansFont(true));
        b->setStyleSheet(QStringLiteral("QPushButton { color: blue; }"
                                        "QPushButton:disabled { color: #8c8c8c; }"));
    }
    connect(SStartBtn, &QPushButton::clicked, this, &TForm1::SStartBtnClick);
    connect(SStopBtn, &QPushButton::clicked, this, &TForm1::SStopBtnClick);
    connect(SDelBtn, &QPushButton::clicked, this, &TForm1::SDelBtnClick);

    RzGroupBox1 = new QGroupBox(QStringLiteral("Скорость"), TabSheet1);
    RzGroupBox1->setObjectName(QStringLiteral("RzGroupBox1"));
    RzGroupBox1->setGeometry(288, 56, 129, 89);
    RzGroupBox1->setFlat(true);
    RzGroupBox1->setStyleSheet(QStringLiteral(
        "QGroupBox { background: transparent; color: blue; border: 1px solid rgb(80, 80, 200);"
        " margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
    RzGroupBox1->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("Настроить скорость"));
    N1->setObjectName(QStringLiteral("N1"));
    N2 = PopupMenu1->addAction(QStringLiteral("Настроить задержку"));
    N2->setObjectName(QStringLiteral("N2"));
    connect(N1, &QAction::triggered, this, &TForm1::N1Click);
    connect(N2, &QAction::triggered, this, &TForm1::N2Click);
    connect(RzGroupBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(RzGroupBox1->mapToGlobal(at)); });

    sd = new QLCDNumber(5, RzGroupBox1);
    sd->setObjectName(QStringLiteral("sd"));
    sd->setGeometry(8, 24, 113, 25);
    sd->setSegmentStyle(QLCDNumber::Flat);
    sd->setFrameShape(QFrame::NoFrame);
    sd->setStyleSheet(QStringLiteral("color: rgb(0, 255, 0); background: black;"));
    sd->display(0);

    sc = new TrackBar(Qt::Horizontal, RzGroupBox1);
    sc->setObjectName(QStringLiteral("sc"));
    sc->setGeometry(0, 48, 129, 33);
    sc->setRange(0, kMaxSpeed);
    sc->setTickInterval(20);
    sc->setTickPosition(QSlider::TicksBelow);
    sc->setValue(0);
    connect(sc, &QSlider::valueChanged, this, &TForm1::scChange);
    connect(sc, &TrackBar::mouseReleased, this, &TForm1::scMouseUp);

    RzLabel1 = new QLabel(QStringLiteral("Повторов сценария:"), TabSheet1);
    RzLabel1->setObjectName(QStringLiteral("RzLabel1"));
    RzLabel1->setGeometry(168, 88, 62, 26);
    RzLabel1->setWordWrap(true);
    RzLabel1->setStyleSheet(QStringLiteral("color: blue; background: transparent;"));

    re = new RepeatEdit(TabSheet1);
    re->setObjectName(QStringLiteral("re"));
    re->setGeometry(216, 120, 49, 21);
    re->lineEdit()->setGeometry(0, 0, 27, 21);
    re->lineEdit()->setFont(sansFont());
    re->upButton()->setGeometry(27, 0, 11, 21);
    re->downButton()->setGeometry(38, 0, 11, 21);
    connect(re, &RepeatEdit::keyReleased, this, &TForm1::reKeyUp);
    connect(re, &RepeatEdit::stepped, this, &TForm1::reButtonClick);

    RzLabel2 = new QLabel(QStringLiteral("Описание:"), TabSheet1);
    RzLabel2->setObjectName(QStringLiteral("RzLabel2"));
    RzLabel2->move(160, 152);
    RzLabel2->adjustSize();
    RzLabel2->setStyleSheet(QStringLiteral("color: blue; background: transparent;"));

    m2 = new Memo1251(TabSheet1);
    m2->setObjectName(QStringLiteral("m2"));
    m2->setGeometry(160, 168, 257, 201);
    m2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m2->setFont(sansFont());
    connect(m2, &Memo1251::keyReleased, this, &TForm1::m2KeyUp);
}

void TForm1::buildRecordingPage() {
    TabRec = new GradientPage(Qt::black, QColor(0, 0, 255), GradientPage::Shape::Vertical);
    TabRec->setObjectName(QStringLiteral("TabRec"));
    TabRec->setFont(sansFont());
    QPalette pal = TabRec->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    TabRec->setPalette(pal);
    pc->addTab(TabRec, QStringLiteral("Запись сценария"));

    const QPalette system = QApplication::palette();
    RzGroupBar1 = new GradientPage(system.color(QPalette::Button), system.color(QPalette::Dark),
                                   GradientPage::Shape::Vertical, TabRec);
    RzGroupBar1->setObjectName(QStringLiteral("RzGroupBar1"));
    RzGroupBar1->setGeometry(0, 0, 193, 377);
    const QString groupStyle = QStringLiteral(
        "QGroupBox { background: rgba(255, 255, 255, 150); border: 1px solid #6a6a6a;"
        " margin-top: 20px; color: black; font-weight: bold; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 0; width: 173px; height: 18px; padding-left: 6px; color: white;"
        " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #2c4fa8, stop:1 #7f9fe0); }"
        "QLabel { background: transparent; }");

    RzGroup1 = new QGroupBox(QStringLiteral("Настройки записи"), RzGroupBar1);
    RzGroup1->setObjectName(QStringLiteral("RzGroup1"));
    RzGroup1->setGeometry(8, 4, 177, 62);
    RzGroup1->setStyleSheet(groupStyle);
    rt = new WrappingCheckBox(QStringLiteral("Сворачивать при начале записи"), RzGroup1);
    rt->setObjectName(QStringLiteral("rt"));
    rt->setGeometry(6, 24, 168, 34);

    RzGroup2 = new QGroupBox(QStringLiteral("Горячие клавиши"), RzGroupBar1);
    RzGroup2->setObjectName(QStringLiteral("RzGroup2"));
    RzGroup2->setGeometry(8, 74, 177, 128);
    RzGroup2->setStyleSheet(groupStyle);
    RzLabel3 = new QLabel(RzGroup2);
    RzLabel3->setObjectName(QStringLiteral("RzLabel3"));
    RzLabel3->setGeometry(8, 26, 165, 98);
    RzLabel3->setWordWrap(true);
    RzLabel3->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    RzGroup3 = new QGroupBox(QStringLiteral("Настойки сценария"), RzGroupBar1);
    RzGroup3->setObjectName(QStringLiteral("RzGroup3"));
    RzGroup3->setGeometry(8, 210, 177, 62);
    RzGroup3->setStyleSheet(groupStyle);
    acst = new WrappingCheckBox(QStringLiteral("Сворачивать при запуске сценария"), RzGroup3);
    acst->setObjectName(QStringLiteral("acst"));
    acst->setGeometry(6, 24, 168, 34);
    for (QWidget* w : std::initializer_list<QWidget*>{rt, RzLabel3, acst}) {
        w->setFont(sansFont());
    }

    S1 = new QFrame(TabRec);
    S1->setObjectName(QStringLiteral("S1"));
    S1->setGeometry(392, 8, 25, 17);
    setIndicator(Indicator::Yellow);

    RecBtn = makeButton(TabRec, "RecBtn", QStringLiteral("Запись"), ButtonPicture::Record,
                        QRect(208, 40, 97, 25), true);
    StopRecBtn = makeButton(TabRec, "StopRecBtn", QStringLiteral("Стоп"), ButtonPicture::Stop,
                            QRect(312, 40, 97, 25), true);
    StopRecBtn->setEnabled(false);
    RzBitBtn5 = makeButton(TabRec, "RzBitBtn5", QStringLiteral("Послать текст"),
                           ButtonPicture::Text, QRect(224, 88, 161, 25));
    RzBitBtn6 = makeButton(TabRec, "RzBitBtn6", QStringLiteral("Вставить задержку"),
                           ButtonPicture::Delay, QRect(224, 120, 161, 25));
    RzBitBtn7 = makeButton(TabRec, "RzBitBtn7", QStringLiteral("Виртуальная клавиатура"),
                           ButtonPicture::Keyboard, QRect(224, 152, 161, 25));
    RzBitBtn3 = makeButton(TabRec, "RzBitBtn3", QStringLiteral("Сменить прокси"),
                           ButtonPicture::Proxy, QRect(224, 184, 161, 25));
    RzBitBtn4 = makeButton(TabRec, "RzBitBtn4", QStringLiteral("Удалить cookies"),
                           ButtonPicture::Cookies, QRect(224, 216, 161, 25));
    connect(RecBtn, &QPushButton::clicked, this, &TForm1::RecBtnClick);
    connect(StopRecBtn, &QPushButton::clicked, this, &TForm1::StopRecBtnClick);
    connect(RzBitBtn5, &QPushButton::clicked, this, &TForm1::RzBitBtn5Click);
    connect(RzBitBtn6, &QPushButton::clicked, this, &TForm1::RzBitBtn6Click);
    connect(RzBitBtn7, &QPushButton::clicked, this, &TForm1::RzBitBtn7Click);
    connect(RzBitBtn3, &QPushButton::clicked, this, &TForm1::RzBitBtn3Click);
    connect(RzBitBtn4, &QPushButton::clicked, this, &TForm1::RzBitBtn4Click);
}

void TForm1::buildHelpPage() {
    TabHelp = new GradientPage(Qt::black, QColor(0, 128, 0), GradientPage::Shape::Vertical);
    TabHelp->setObjectName(QStringLiteral("TabHelp"));
    pc->addTab(TabHelp, QStringLiteral("Справка"));

    lb2 = new QListWidget(TabHelp);
    lb2->setObjectName(QStringLiteral("lb2"));
    lb2->setGeometry(8, 16, 145, 345);
    lb2->setSelectionMode(QAbstractItemView::SingleSelection);
    lb2->setFont(sansFont());
    for (const HelpTopic& topic : helpTopics()) {
        auto* item = new QListWidgetItem(QString::fromStdString(topic.title), lb2);
        item->setSizeHint(QSize(0, 13));
    }
    // A choice is a selection (a click, or the arrow keys): the list's
    // current row alone moves when the page takes the focus, and shows
    // nothing.
    connect(lb2, &QListWidget::itemSelectionChanged, this, &TForm1::lb2Click);
    connect(lb2, &QListWidget::itemClicked, this, &TForm1::lb2Click);

    m3 = new QPlainTextEdit(TabHelp);
    m3->setObjectName(QStringLiteral("m3"));
    m3->setGeometry(160, 16, 257, 345);
    m3->setReadOnly(true);
    m3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m3->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m3->setFont(sansFont());
    QPalette pal = m3->palette();
    pal.setColor(QPalette::Text, Qt::black);
    m3->setPalette(pal);
}

// ---------------------------------------------------------------- events

void TForm1::onHotKey(int systemId) {
    m_logic.onHotKey(systemId);
}
void TForm1::Flb1Change() {
    m_logic.Flb1Change();
}
void TForm1::SStartBtnClick() {
    m_logic.SStartBtnClick();
}
void TForm1::SStopBtnClick() {
    m_logic.SStopBtnClick();
}
void TForm1::SDelBtnClick() {
    m_logic.SDelBtnClick();
}
void TForm1::RecBtnClick() {
    m_logic.RecBtnClick();
}
void TForm1::StopRecBtnClick() {
    m_logic.StopRecBtnClick();
}
void TForm1::RzBitBtn5Click() {
    m_logic.RzBitBtn5Click();
}
void TForm1::RzBitBtn6Click() {
    m_logic.RzBitBtn6Click();
}
void TForm1::RzBitBtn3Click() {
    m_logic.RzBitBtn3Click();
}
void TForm1::RzBitBtn4Click() {
    m_logic.RzBitBtn4Click();
}
void TForm1::RzBitBtn7Click() {
    m_logic.RzBitBtn7Click();
}
void TForm1::T1Timer() {
    m_logic.T1Timer();
}
void TForm1::scChange() {
    m_logic.scChange();
}
void TForm1::scMouseUp() {
    m_logic.scMouseUp();
}
void TForm1::N1Click() {
    m_logic.N1Click();
}
void TForm1::N2Click() {
    m_logic.N2Click();
}
void TForm1::reKeyUp() {
    m_logic.reKeyUp();
}
void TForm1::reButtonClick() {
    m_logic.reButtonClick();
}
void TForm1::m2KeyUp() {
    m_logic.m2KeyUp();
}
void TForm1::lb2Click() {
    m_logic.lb2Click();
}

// ---------------------------------------------------------------- the view

int TForm1::speedPosition() const {
    return sc->value();
}

void TForm1::showSpeedDigits(int value) {
    sd->display(value);
}

bool TForm1::minimizeOnRecord() const {
    return rt->isChecked();
}

bool TForm1::minimizeOnRun() const {
    return acst->isChecked();
}

std::string TForm1::descriptionText() const {
    return m2->toPlainText().toStdString();
}

void TForm1::focusDescription() {
    m2->setFocus(Qt::OtherFocusReason);
}

void TForm1::setHotKeyText(const std::string& text) {
    RzLabel3->setText(QString::fromStdString(text));
}

void TForm1::disableRecordAndRun(const std::string& why) {
    const QString text = QString::fromStdString(why);
    RecBtn->setEnabled(false);
    SStartBtn->setEnabled(false);
    RecBtn->setToolTip(text);
    SStartBtn->setToolTip(text);
}

void TForm1::showFolderProblem(const std::string& problem) {
    folderProblem->setText(QString::fromStdString(problem));
    folderProblem->setVisible(!problem.empty());
}

int TForm1::chosenHelpTopic() const {
    const int index = lb2->currentRow();
    if (index < 0 || !lb2->item(index) || !lb2->item(index)->isSelected()) {
        return -1;
    }
    return index;
}

void TForm1::showHelp(const std::vector<std::string>& lines) {
    m3->clear();
    for (const std::string& line : lines) {
        m3->appendPlainText(QString::fromStdString(line));
    }
}

void TForm1::saveFocus() {
    m_savedFocus = focusWidget();
}

void TForm1::restoreFocus() {
    if (m_savedFocus && m_savedFocus->isEnabled()) {
        m_savedFocus->setFocus(Qt::OtherFocusReason);
    }
}

bool TForm1::modifiersHeld() const {
    constexpr auto held =
        Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier;
    return (QGuiApplication::queryKeyboardModifiers() & held) != 0;
}

void TForm1::closeLater() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

std::string TForm1::findProgram(const std::string& name) const {
    return QStandardPaths::findExecutable(QString::fromStdString(name)).toStdString();
}

// ---------------------------------------------------------------- window controls

void TForm1::setRecordEnabled(bool on) {
    RecBtn->setEnabled(on && m_options.platformProblem.isEmpty());
}

void TForm1::setStopRecordEnabled(bool on) {
    StopRecBtn->setEnabled(on);
}

void TForm1::setScenariosPageEnabled(bool on) {
    TabSheet1->setEnabled(on);
}

void TForm1::setPagesEnabled(bool on) {
    pc->setEnabled(on);
}

void TForm1::setIndicator(Indicator colour) {
    m_indicator = colour;
    S1->setStyleSheet(
        colour == Indicator::Red
            ? QStringLiteral("background: rgb(255, 0, 0); border: 1px solid black;")
            : QStringLiteral("background: rgb(255, 255, 0); border: 1px solid black;"));
}

void TForm1::setSamplingTimer(bool on) {
    if (on) {
        T1->start();
    } else {
        T1->stop();
    }
}

void TForm1::refreshScenarioList() {
    m_logic.refreshScenarioList();
}

void TForm1::setScenarios(const std::vector<ScenarioEntry>& given) {
    const QSignalBlocker quiet(Flb1);
    Flb1->clear();
    std::vector<ScenarioEntry> entries = given;
    std::sort(entries.begin(), entries.end(), [](const ScenarioEntry& a, const ScenarioEntry& b) {
        const QString x = QString::fromStdString(a.fileNameUtf8);
        const QString y = QString::fromStdString(b.fileNameUtf8);
        const int c = x.compare(y, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : x < y;
    });
    for (const ScenarioEntry& e : entries) {
        // The name is shown decoded; the path keeps the file's own bytes, so
        // that a name that is not UTF-8 still opens its file.
        auto* item = new QListWidgetItem(QString::fromStdString(e.fileNameUtf8), Flb1);
        item->setData(Qt::UserRole, QByteArray::fromStdString(pathToUtf8(e.file)));
    }
    Flb1->setCurrentRow(-1, QItemSelectionModel::Clear);
}

std::filesystem::path TForm1::selectedScenarioPath() const {
    const auto items = Flb1->selectedItems();
    if (items.isEmpty()) {
        return {};
    }
    return pathFromUtf8(items.front()->data(Qt::UserRole).toByteArray().toStdString());
}

void TForm1::removeSelectedScenario() {
    const QSignalBlocker quiet(Flb1);
    const auto items = Flb1->selectedItems();
    for (QListWidgetItem* item : items) {
        delete Flb1->takeItem(Flb1->row(item));
    }
    Flb1->setCurrentRow(-1, QItemSelectionModel::Clear);
    Flb1->clearSelection();
}

void TForm1::setSpeed(int speed) {
    sc->setValue(std::clamp(speed, 0, kMaxSpeed));
}

void TForm1::setRepeat(int repeat) {
    re->setValue(repeat);
}

int TForm1::repeat() {
    return re->value();
}

void TForm1::setDescription(std::string_view cp1251) {
    m2->setPlainText(fromCp(cp1251));
}

void TForm1::hideWindow() {
    hide();
}

void TForm1::showWindow() {
    show();
}

const void* TForm1::nativeHandle() const {
    // The dialogs take their owner as the native window id.
    return reinterpret_cast<const void*>(const_cast<TForm1*>(this)->winId());
}

// ---------------------------------------------------------------- tray, close

void TForm1::minimizeToTray() {
    if (QSystemTrayIcon::isSystemTrayAvailable() && tray->isVisible()) {
        hide();
    } else {
        showMinimized();
    }
}

void TForm1::restoreFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() &&
        QSystemTrayIcon::isSystemTrayAvailable() && tray->isVisible()) {
        // Every minimise goes to the tray: no taskbar entry, only the icon.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                hide();
            }
        });
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!m_logic.closeRequested()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

} // namespace pressmark
