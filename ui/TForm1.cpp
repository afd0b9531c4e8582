#include "TForm1.h"

#include "RepeatEdit.h"
#include "Widgets.h"
#include "window/HelpTopics.h"
#include "window/Layout.h"
#include "window/RepeatField.h"
#include "platform/Platform.h"
#include "player/clickerPlay.h"
#include "base/IntConv.h"
#include "scenario/ScenarioFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHash>
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
#include <stdexcept>
#include <string>
#include <type_traits>
#include <system_error>

namespace pressmark {

namespace {

QString css(layout::Rgb c) {
    return QStringLiteral("rgb(%1, %2, %3)").arg(c.r).arg(c.g).arg(c.b);
}

QColor colour(layout::Rgb c) {
    return QColor(c.r, c.g, c.b);
}

QFont qfont(const layout::Font& f) {
    QFont font(QString::fromUtf8(f.family.data(), static_cast<qsizetype>(f.family.size())));
    font.setPointSize(f.points);
    font.setBold(f.bold);
    // The substitute fonts run wider than the design fonts; a slight
    // narrowing keeps every caption inside its control.
    font.setStretch(90);
    return font;
}

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QPushButton* makeButton(QWidget* parent, const layout::Control& c) {
    const QString caption = text(c.caption);
    auto* b = new QPushButton(buttonIcon(c.picture), caption, parent);
    b->setIconSize(QSize(16, 16));
    // The design font was narrower than the fonts found here: a caption too
    // long for its button is set a little smaller rather than run past the
    // edge (picture, gap, padding and border included).
    QFont font = qfont(layout::fontOf(c));
    const int room = c.place.width - 2 - 6 - b->iconSize().width() - 4;
    while (QFontMetrics(font).horizontalAdvance(caption) > room && font.pointSizeF() > 6) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    b->setFont(font);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

QString formStyle() {
    const layout::Theme& t = layout::theme();
    QString s =
        QStringLiteral("QPushButton { text-align: left; padding-left: 3px; border: 1px solid %1;"
                       " border-radius: 2px; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                       " stop:0 %2, stop:1 %3); }")
            .arg(css(t.buttonBorder), css(t.buttonFace), css(t.buttonFaceTo));
    s += QStringLiteral("QPushButton:hover { border-color: %1; background: qlineargradient(x1:0,"
                        " y1:0, x2:0, y2:1, stop:0 %2, stop:1 %3); }")
             .arg(css(t.hoverBorder), css(t.hoverFace), css(t.hoverFaceTo));
    s += QStringLiteral("QPushButton:pressed { background: %1; }").arg(css(t.pressedFace));
    s += QStringLiteral("QPushButton:disabled { color: %1; background: %2; border-color: %3; }")
             .arg(css(t.disabledText), css(t.disabledFace), css(t.disabledBorder));
    s += QStringLiteral("QTabWidget::pane { border: 0; background: black; }"
                        "QTabWidget::tab-bar { left: 0; }"
                        "QTabBar { background: black; }");
    s += QStringLiteral("QTabBar::tab { height: %1px; padding: 0 8px; margin-right: 2px;"
                        " color: %2; border: 1px solid black; border-bottom: 0; }"
                        "QTabBar::tab:selected { font-weight: bold; }")
             .arg(t.tabHeight)
             .arg(css(t.tabText));
    const char* tabs[] = {"first", "middle", "last"};
    int page = 0;
    for (const layout::Control& c : layout::controls()) {
        if (c.kind == layout::Kind::Page && page < 3) {
            s += QStringLiteral("QTabBar::tab:%1 { background: %2; }")
                     .arg(QLatin1String(tabs[page++]), css(c.tab));
        }
    }
    return s;
}

QString groupStyle() {
    const layout::Theme& t = layout::theme();
    const QString body = QStringLiteral("rgba(%1, %2, %3, %4)")
                             .arg(t.groupBody.r)
                             .arg(t.groupBody.g)
                             .arg(t.groupBody.b)
                             .arg(t.groupBodyAlpha);
    return QStringLiteral("QGroupBox { background: %1; border: 1px solid %2;"
                          " margin-top: %3px; color: black; font-weight: bold; }")
               .arg(body, css(t.groupFrame))
               .arg(t.groupTitleHeight + 2) +
           QStringLiteral("QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top"
                          " left; left: 0; width: 173px; height: %1px; padding-left: 6px;"
                          " color: %2; background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
                          " stop:0 %3, stop:1 %4); }"
                          "QLabel { background: transparent; }")
               .arg(t.groupTitleHeight)
               .arg(css(t.groupTitleText), css(t.groupTitle), css(t.groupTitleTo));
}

} // namespace

TForm1::TForm1(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      m_options(std::move(options)),
      m_logic(*this, MainWindow::Options{m_options.scenarioFolder,
                                         m_options.platformProblem.toStdString()}) {
    build();
    m_logic.formCreate();
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
    QHash<QString, QObject*> made;
    for (const layout::Control& c : layout::controls()) {
        QObject* parent = c.parent.empty() ? nullptr : made.value(text(c.parent));
        QObject* object = make(c, qobject_cast<QWidget*>(parent), parent);
        object->setObjectName(text(c.name));
        made.insert(text(c.name), object);
        if (auto* w = qobject_cast<QWidget*>(object);
            w && c.kind != layout::Kind::Form && c.kind != layout::Kind::Page) {
            place(*w, c);
        }
        connectEvents(c, object);
    }
    for (const layout::Control& c : layout::controls()) {
        if (c.kind == layout::Kind::PopupMenu) {
            m_menus.insert(text(c.name), qobject_cast<QMenu*>(made.value(text(c.name))));
        }
    }
    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(layout::theme().noteMs);
    const auto get = [&made](const char* name, auto*& into) {
        into = qobject_cast<std::remove_reference_t<decltype(into)>>(made.value(name));
        Q_ASSERT(into);
    };
    get("pc", pc);
    get("TabSheet1", TabSheet1);
    get("TabRec", TabRec);
    get("TabHelp", TabHelp);
    get("Label2", Label2);
    get("Flb1", Flb1);
    get("folderProblem", folderProblem);
    get("SStartBtn", SStartBtn);
    get("SStopBtn", SStopBtn);
    get("SDelBtn", SDelBtn);
    get("RzGroupBox1", RzGroupBox1);
    get("PopupMenu1", PopupMenu1);
    get("N1", N1);
    get("N2", N2);
    get("sd", sd);
    get("sc", sc);
    get("RzLabel1", RzLabel1);
    get("re", re);
    get("RzLabel2", RzLabel2);
    get("m2", m2);
    get("m2Note", m2Note);
    connect(m_noteTimer, &QTimer::timeout, m2Note, &QWidget::hide);
    get("RzGroupBar1", RzGroupBar1);
    get("RzGroup1", RzGroup1);
    get("RzGroup2", RzGroup2);
    get("RzGroup3", RzGroup3);
    get("rt", rt);
    get("RzLabel3", RzLabel3);
    get("acst", acst);
    get("S1", S1);
    get("RecBtn", RecBtn);
    get("StopRecBtn", StopRecBtn);
    get("RzBitBtn5", RzBitBtn5);
    get("RzBitBtn6", RzBitBtn6);
    get("RzBitBtn7", RzBitBtn7);
    get("RzBitBtn3", RzBitBtn3);
    get("RzBitBtn4", RzBitBtn4);
    get("lb2", lb2);
    get("m3", m3);
    get("T1", T1);
    get("tray", tray);

    pc->setCurrentWidget(TabSheet1);
    setIndicator(Indicator::Yellow);
    for (const HelpTopic& topic : helpTopics()) {
        auto* item = new QListWidgetItem(QString::fromStdString(topic.title), lb2);
        item->setSizeHint(QSize(0, 13));
    }
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) {
            restoreFromTray();
        }
    });
    tray->show();
}

void TForm1::place(QWidget& w, const layout::Control& c) {
    // The font first: a control as wide as its caption is measured in it.
    if (!c.font.family.empty() && c.kind != layout::Kind::Button) {
        w.setFont(qfont(c.font));
    }
    if (c.place.width == 0) {
        // As wide as the caption.
        w.move(c.place.x, c.place.y);
        w.adjustSize();
        w.resize(w.width(), c.place.height);
    } else {
        w.setGeometry(c.place.x, c.place.y, c.place.width, c.place.height);
    }
    w.setEnabled(c.enabled);
    if (!c.visible) {
        w.hide();
    }
}

QObject* TForm1::make(const layout::Control& c, QWidget* parent, QObject* owner) {
    using layout::Kind;
    const QString caption = text(c.caption);
    const QString textCss = css(layout::textColourOf(c));
    switch (c.kind) {
    case Kind::Form: {
        setWindowTitle(caption);
        setWindowIcon(applicationIcon());
        setFixedSize(c.place.width, c.place.height);
        move(c.place.x, c.place.y);
        setFont(qfont(c.font));
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, colour(c.back));
        pal.setColor(QPalette::WindowText, colour(layout::textColourOf(c)));
        setPalette(pal);
        setStyleSheet(formStyle());
        return this;
    }
    case Kind::PageControl: {
        auto* tabs = new QTabWidget(parent);
        tabs->setDocumentMode(true);
        tabs->tabBar()->setDrawBase(false);
        tabs->tabBar()->setExpanding(false);
        tabs->setAutoFillBackground(true);
        tabs->setPalette(palette());
        return tabs;
    }
    case Kind::Page: {
        auto* page = new GradientPage(colour(c.back), colour(c.backTo),
                                      c.fill == layout::Fill::Box ? GradientPage::Shape::Box
                                                                  : GradientPage::Shape::Vertical);
        if (!c.font.family.empty()) {
            page->setFont(qfont(c.font));
        }
        QPalette pal = page->palette();
        pal.setColor(QPalette::WindowText, colour(layout::textColourOf(c)));
        page->setPalette(pal);
        qobject_cast<QTabWidget*>(owner)->addTab(page, caption);
        return page;
    }
    case Kind::Label: {
        auto* label = new QLabel(caption, parent);
        label->setWordWrap(c.wrap);
        if (c.wrap) {
            label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        }
        label->setStyleSheet(QStringLiteral("color: %1; background: %2;")
                                 .arg(textCss, c.fill == layout::Fill::Solid
                                                   ? css(c.back)
                                                   : QStringLiteral("transparent")));
        return label;
    }
    case Kind::ListBox: {
        auto* list = new QListWidget(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        return list;
    }
    case Kind::Button: {
        QPushButton* b = makeButton(parent, c);
        if (layout::textColourOf(c) != layout::Rgb{}) {
            b->setStyleSheet(QStringLiteral("QPushButton { color: %1; }"
                                            "QPushButton:disabled { color: %2; }")
                                 .arg(textCss, css(layout::theme().disabledText)));
        }
        return b;
    }
    case Kind::GroupBox: {
        auto* box = new QGroupBox(caption, parent);
        box->setFlat(true);
        box->setStyleSheet(
            QStringLiteral("QGroupBox { background: transparent; color: %1; border: 1px solid %2;"
                           " margin-top: 6px; }"
                           "QGroupBox::title { subcontrol-origin: margin; left: 6px;"
                           " padding: 0 2px; }")
                .arg(textCss, css(c.frame.value_or(layout::textColourOf(c)))));
        return box;
    }
    case Kind::PopupMenu:
        return new QMenu(this);
    case Kind::MenuItem:
        return qobject_cast<QMenu*>(owner)->addAction(caption);
    case Kind::SevenSegment: {
        auto* digits = new QLCDNumber(static_cast<int>(std::to_string(c.maximum).size()), parent);
        digits->setSegmentStyle(QLCDNumber::Flat);
        digits->setFrameShape(QFrame::NoFrame);
        digits->setStyleSheet(
            QStringLiteral("color: %1; background: %2;").arg(textCss, css(c.back)));
        digits->display(0);
        return digits;
    }
    case Kind::TrackBar: {
        auto* bar = new TrackBar(Qt::Horizontal, parent);
        bar->setRange(c.minimum, c.maximum);
        bar->setTickInterval(c.step);
        bar->setTickPosition(QSlider::TicksBelow);
        bar->setValue(c.minimum);
        return bar;
    }
    case Kind::SpinEdit: {
        auto* edit = new RepeatEdit(parent);
        const int buttons = 11;
        edit->lineEdit()->setGeometry(0, 0, c.place.width - 2 * buttons, c.place.height);
        edit->lineEdit()->setFont(qfont(layout::fontOf(c)));
        edit->lineEdit()->setText(QString::fromStdString(repeatfield::shown(c.minimum)));
        edit->upButton()->setGeometry(c.place.width - 2 * buttons, 0, buttons, c.place.height);
        edit->downButton()->setGeometry(c.place.width - buttons, 0, buttons, c.place.height);
        return edit;
    }
    case Kind::Memo: {
        QPlainTextEdit* memo = nullptr;
        if (c.readOnly) {
            memo = new QPlainTextEdit(parent);
        } else {
            auto* typed = new Memo1251(parent);
            typed->setInputFilter(
                [this](const QString& in) { return m_logic.descriptionInput(in.toStdString()); });
            memo = typed;
        }
        memo->setReadOnly(c.readOnly);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        if (c.text) {
            QPalette pal = memo->palette();
            pal.setColor(QPalette::Text, colour(*c.text));
            memo->setPalette(pal);
        }
        return memo;
    }
    case Kind::GroupBar: {
        const QPalette system = QApplication::palette();
        return new GradientPage(system.color(QPalette::Button), system.color(QPalette::Dark),
                                GradientPage::Shape::Vertical, parent);
    }
    case Kind::Group: {
        auto* group = new QGroupBox(caption, parent);
        group->setStyleSheet(groupStyle());
        return group;
    }
    case Kind::CheckBox:
        return new WrappingCheckBox(caption, parent);
    case Kind::Shape: {
        auto* shape = new QFrame(parent);
        shape->setStyleSheet(QStringLiteral("background: %1; border: 1px solid %2;")
                                 .arg(css(c.back), css(c.frame.value_or(c.back))));
        return shape;
    }
    case Kind::Timer: {
        auto* timer = new QTimer(this);
        timer->setInterval(c.maximum);
        timer->setTimerType(Qt::PreciseTimer);
        return timer;
    }
    case Kind::TrayIcon:
        return new QSystemTrayIcon(applicationIcon(), this);
    }
    return new QObject(this);
}

void TForm1::connectEvents(const layout::Control& c, QObject* object) {
    using layout::Event;
    for (const layout::Handler& h : c.events) {
        if (!h.call) {
            continue;
        }
        const auto call = [this, handler = h.call] { (m_logic.*handler)(); };
        auto* list = qobject_cast<QListWidget*>(object);
        auto* bar = qobject_cast<TrackBar*>(object);
        auto* repeat = qobject_cast<RepeatEdit*>(object);
        bool wired = true;
        switch (h.event) {
        case Event::Click:
            if (auto* b = qobject_cast<QPushButton*>(object)) {
                connect(b, &QPushButton::clicked, this, call);
            } else if (auto* a = qobject_cast<QAction*>(object)) {
                connect(a, &QAction::triggered, this, call);
            } else if (list) {
                connect(list, &QListWidget::itemClicked, this, call);
            } else {
                wired = false;
            }
            break;
        case Event::Change:
            if (list) {
                connect(list, &QListWidget::itemSelectionChanged, this, call);
            } else if (bar) {
                connect(bar, &QSlider::valueChanged, this, call);
            } else {
                wired = false;
            }
            break;
        case Event::MouseUp:
            wired = bar != nullptr;
            if (bar) {
                connect(bar, &TrackBar::mouseReleased, this, call);
            }
            break;
        case Event::KeyUp:
            if (repeat) {
                connect(repeat, &RepeatEdit::keyReleased, this, call);
            } else if (auto* memo = qobject_cast<Memo1251*>(object)) {
                connect(memo, &Memo1251::keyReleased, this, call);
            } else {
                wired = false;
            }
            break;
        case Event::ButtonClick:
            wired = repeat != nullptr;
            if (repeat) {
                // The step first, by the window's rule, then the handler.
                connect(repeat, &RepeatEdit::stepRequested, this, [this, call](int delta) {
                    stepRepeat(delta);
                    call();
                });
            }
            break;
        case Event::Timer:
            if (auto* timer = qobject_cast<QTimer*>(object)) {
                connect(timer, &QTimer::timeout, this, call);
            } else {
                wired = false;
            }
            break;
        }
        // A table entry this front end cannot wire is a mistake in the table:
        // the window is not made, in any build.
        if (!wired) {
            throw std::logic_error("TForm1: no way to wire an event of " + std::string(c.name));
        }
    }
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

void TForm1::showDescriptionNote(const std::string& note) {
    m2Note->setText(QString::fromStdString(note));
    m2Note->setVisible(!note.empty());
    m2Note->raise();
    m_noteTimer->start();
}

std::string TForm1::repeatText() const {
    return re->text().toStdString();
}

void TForm1::showRepeatText(const std::string& text) {
    re->lineEdit()->setText(QString::fromStdString(text));
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
    // The innermost control of the table under the press, and the menu the
    // window's rule gives for that place.
    QWidget* at = childAt(event->pos());
    while (
        at && at != this &&
        std::none_of(layout::controls().begin(), layout::controls().end(),
                     [at](const layout::Control& c) { return text(c.name) == at->objectName(); })) {
        at = at->parentWidget();
    }
    if (!at) {
        at = this;
    }
    const QPoint local = at->mapFrom(this, event->pos());
    const QByteArray name = at->objectName().toUtf8();
    const std::string_view menuName =
        layout::popupAt(std::string_view(name.constData(), static_cast<std::size_t>(name.size())),
                        local.x(), local.y());
    QMenu* menu = m_menus.value(text(menuName));
    if (!menu) {
        event->ignore();
        return;
    }
    menu->popup(event->globalPos());
    event->accept();
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
    RecBtn->setEnabled(on);
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
    const layout::Theme& t = layout::theme();
    const layout::Control& c = layout::control("S1");
    S1->setStyleSheet(
        QStringLiteral("background: %1; border: 1px solid %2;")
            .arg(css(colour == Indicator::Red ? t.indicatorRecording : t.indicatorIdle),
                 css(c.frame.value_or(c.back))));
}

void TForm1::setSamplingTimer(bool on) {
    if (on) {
        T1->start();
    } else {
        T1->stop();
    }
}

void TForm1::setScenarios(const std::vector<ScenarioEntry>& entries) {
    const QSignalBlocker quiet(Flb1);
    Flb1->clear();
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
    sc->setValue(std::clamp(speed, sc->minimum(), sc->maximum()));
}

void TForm1::setDescription(std::string_view utf8) {
    m2->setPlainText(text(utf8));
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
