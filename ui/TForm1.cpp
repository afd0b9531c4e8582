#include "TForm1.h"

#include "RepeatEdit.h"
#include "TForm1Parts.h"
#include "Widgets.h"
#include "window/HelpTopics.h"
#include "window/Layout.h"
#include "window/RepeatField.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHash>
#include <QLCDNumber>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <string>
#include <type_traits>

namespace pressmark {

namespace {

using formparts::css;
using formparts::text;

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

} // namespace pressmark
