#include "platform/Platform.h"
#include "platform/fake/FakePlatform.h"
#include "player/clickerPlay.h"
#include "base/Cp1251.h"
#include "scenario/ProfileStore.h"
#include "scenario/ScenarioFolder.h"
#include "ui/RepeatEdit.h"
#include "ui/TForm1.h"
#include "ui/Widgets.h"
#include "window/ErrorReport.h"
#include "window/HelpTopics.h"
#include "window/Layout.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <utility>

using namespace pressmark;
using platform::FakePlatform;

namespace {

QString u8(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QStringList memoLines(const QPlainTextEdit* memo) {
    QStringList lines = memo->toPlainText().split(u'\n');
    if (memo->toPlainText().isEmpty()) {
        lines.clear();
    }
    return lines;
}

} // namespace

class TForm1Test : public QObject {
    Q_OBJECT

private:
    static QString text(std::string_view utf8) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }

    // How each row's event is fired on the widget, and what the toolkit does
    // on its own before the handler runs (the reference does the same).
    enum class Start { Scenario, Recording };
    enum class Fire { Nothing, Toolkit, Handler };
    struct WiringCase {
        std::string_view control;
        layout::Event event;
        Start start;
        std::function<void(TForm1&)> fire;
        std::function<void(TForm1&)> before = [](TForm1&) {};
    };
    static const std::vector<WiringCase>& wiringCases() {
        using E = layout::Event;
        const auto click = [](std::string_view name) {
            return [name](TForm1& f) { f.findChild<QPushButton*>(text(name))->click(); };
        };
        const auto quietly = [](QObject* o, const std::function<void()>& change) {
            const QSignalBlocker quiet(o);
            change();
        };
        static const std::vector<WiringCase> cases{
            {"Flb1", E::Change, Start::Scenario, [](TForm1& f) { f.Flb1->setCurrentRow(1); },
             [quietly](TForm1& f) { quietly(f.Flb1, [&f] { f.Flb1->setCurrentRow(1); }); }},
            {"SStartBtn", E::Click, Start::Scenario, click("SStartBtn")},
            {"SStopBtn", E::Click, Start::Scenario, click("SStopBtn")},
            {"SDelBtn", E::Click, Start::Scenario, click("SDelBtn")},
            {"N1", E::Click, Start::Scenario, [](TForm1& f) { f.N1->trigger(); }},
            {"N2", E::Click, Start::Scenario, [](TForm1& f) { f.N2->trigger(); }},
            {"sc", E::Change, Start::Scenario, [](TForm1& f) { f.sc->setValue(1234); },
             [quietly](TForm1& f) { quietly(f.sc, [&f] { f.sc->setValue(1234); }); }},
            {"sc", E::MouseUp, Start::Scenario,
             [](TForm1& f) {
                 QTest::mouseRelease(f.sc, Qt::LeftButton, {}, {5, 5});
             }},
            {"re", E::KeyUp, Start::Scenario,
             [](TForm1& f) { QTest::keyRelease(f.re->lineEdit(), Qt::Key_Shift); }},
            {"re", E::ButtonClick, Start::Scenario, [](TForm1& f) { f.re->upButton()->click(); },
             [](TForm1& f) { f.stepRepeat(1); }},
            {"m2", E::KeyUp, Start::Scenario,
             [](TForm1& f) { QTest::keyRelease(f.m2, Qt::Key_Shift); }},
            {"RecBtn", E::Click, Start::Scenario, click("RecBtn")},
            {"StopRecBtn", E::Click, Start::Recording, click("StopRecBtn")},
            {"RzBitBtn5", E::Click, Start::Recording, click("RzBitBtn5")},
            {"RzBitBtn6", E::Click, Start::Recording, click("RzBitBtn6")},
            {"RzBitBtn7", E::Click, Start::Scenario, click("RzBitBtn7")},
            {"RzBitBtn3", E::Click, Start::Recording, click("RzBitBtn3")},
            {"RzBitBtn4", E::Click, Start::Recording, click("RzBitBtn4")},
            {"lb2", E::Change, Start::Scenario, [](TForm1& f) { f.lb2->setCurrentRow(3); },
             [quietly](TForm1& f) { quietly(f.lb2, [&f] { f.lb2->setCurrentRow(3); }); }},
            {"lb2", E::Click, Start::Scenario,
             [](TForm1& f) {
                 f.pc->setCurrentWidget(f.TabHelp);
                 QTest::mouseClick(f.lb2->viewport(), Qt::LeftButton, {},
                                   f.lb2->visualItemRect(f.lb2->item(3)).center());
             },
             [quietly](TForm1& f) {
                 f.pc->setCurrentWidget(f.TabHelp);
                 quietly(f.lb2, [&f] { f.lb2->setCurrentRow(3); });
             }},
            // A press waits to be sampled; the running timer's tick takes it.
            {"T1", E::Timer, Start::Recording, [](TForm1&) { QTest::qWait(40); }, [](TForm1&) {}},
        };
        return cases;
    }

    // One fresh window from the case's start, the event fired one way, and
    // what can be seen afterwards.
    QString wiringRun(const WiringCase& w, Fire how, const layout::Control& c) {
        init();
        TForm1& f = *m_form;
        f.show();
        select("A.ini");
        f.logic().SStartBtnClick(); // clears the stop flag of an earlier case
        {
            const QSignalBlocker quiet(f.sc);
            f.sc->setValue(4321);
        }
        f.re->lineEdit()->setText("77");
        f.m2->setPlainText("typed");
        const auto appDir = folder() / "app";
        std::filesystem::create_directories(appDir);
        std::ofstream(appDir / "osk") << "#!/bin/sh\n";
        m_fake->setExecutablePath(pathToUtf8(appDir / "pressmark"));
        if (w.start == Start::Recording) {
            m_fake->answerAsk(std::string("rec"));
            f.logic().RecBtnClick();
            m_fake->press(platform::MouseButton::Left, {100, 200});
            f.logic().T1Timer();
        }
        for (int i = 0; i < 3; ++i) {
            m_fake->answerAsk(std::string("250"));
        }
        m_fake->press(platform::MouseButton::Left, {300, 400});
        m_fake->clearTranscript();
        m_errors.clear();
        if (how == Fire::Toolkit) {
            w.fire(f);
        } else if (how == Fire::Handler) {
            w.before(f);
            for (const layout::Handler& h : c.events) {
                if (h.call && h.event == w.event) {
                    (f.logic().*h.call)();
                }
            }
        }
        QStringList seen;
        for (const std::string& line : m_fake->transcript()) {
            seen << u8(line);
        }
        seen << QStringLiteral("sd=%1 sc=%2 re=%3 m2=%4 m3=%5 Flb1=%6 lb2=%7")
                    .arg(f.sd->intValue())
                    .arg(f.sc->value())
                    .arg(f.re->text(), f.m2->toPlainText(), f.m3->toPlainText())
                    .arg(f.Flb1->currentRow())
                    .arg(f.lb2->currentRow());
        seen << QStringLiteral("rec=%1 stop=%2 S1=%3 T1=%4 page=%5 stopFlag=%6")
                    .arg(f.RecBtn->isEnabled())
                    .arg(f.StopRecBtn->isEnabled())
                    .arg(static_cast<int>(f.indicator()))
                    .arg(f.T1->isActive())
                    .arg(f.TabSheet1->isEnabled())
                    .arg(stopRequested());
        seen << m_errors;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder())) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        const QString where = u8(pathToUtf8(folder()));
        for (const auto& path : files) {
            std::ifstream in(path, std::ios::binary);
            seen << u8(pathToUtf8(path.filename())) + QStringLiteral(": ") +
                        QString::fromLatin1(QByteArray::fromStdString(
                            std::string(std::istreambuf_iterator<char>(in), {})));
        }
        cleanup();
        // Each run has its own folder.
        return seen.join(u'\n').replace(where, QStringLiteral("<folder>"));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakePlatform> m_fake;
    std::unique_ptr<TForm1> m_form;
    QStringList m_errors;

    std::filesystem::path folder() const { return m_dir->path().toStdString(); }
    std::filesystem::path file(const char* name) const { return folder() / name; }

    void writeScenario(const char* name, const std::string& body) {
        std::ofstream(file(name), std::ios::binary) << body;
    }
    std::string read(const char* name, const char* section, const char* key) const {
        return ProfileStore(file(name)).readString(section, key, "<none>");
    }
    void makeForm() {
        m_form = std::make_unique<TForm1>(TForm1::Options{folder(), {}});
        m_form->setErrorReport([this](const QString& text) { m_errors << text; });
    }
    void select(const QString& name) {
        const auto items = m_form->Flb1->findItems(name, Qt::MatchExactly);
        QVERIFY2(items.size() == 1, qPrintable(name));
        m_form->Flb1->setCurrentItem(items.front());
    }
    // Selects another scenario, so that selecting one again loads it again.
    void reload() {
        select("b.ini");
        m_fake->clearTranscript();
    }
    void type(QWidget* w, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
            QApplication::sendEvent(w, &release);
        }
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_fake = std::make_unique<FakePlatform>();
        m_fake->install();
        m_errors.clear();
        writeScenario("A.ini", "[sett]\nsleep=300\nrepeat=2\nComments=first\n[1]\nx=10\ny=20\n"
                               "key=1\n");
        writeScenario("b.ini", "[sett]\nsleep=1000\nrepeat=7\nComments=second\n");
        writeScenario("notes.txt", "not a scenario");
        makeForm();
        m_fake->clearTranscript();
    }
    void cleanup() {
        m_form.reset();
        m_fake.reset();
        m_dir.reset();
    }

    void startState() {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Pressmark v 2.0   "));
        QCOMPARE(m_form->size(), QSize(427, 400));
        QCOMPARE(m_form->pos(), QPoint(258, 97));
        QVERIFY(m_form->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(m_form->pc->currentWidget(), m_form->TabSheet1);
        const QStringList tabs{m_form->pc->tabText(0), m_form->pc->tabText(1),
                               m_form->pc->tabText(2)};
        QCOMPARE(tabs, (QStringList{QStringLiteral("Сценарии"), QStringLiteral("Запись сценария"),
                                    QStringLiteral("Справка")}));
        QCOMPARE(m_form->Flb1->count(), 2);
        QCOMPARE(m_form->Flb1->item(0)->text(), QStringLiteral("A.ini"));
        QCOMPARE(m_form->Flb1->item(1)->text(), QStringLiteral("b.ini"));
        QVERIFY(m_form->Flb1->selectedItems().isEmpty());
        QCOMPARE(m_form->sd->intValue(), 0);
        QCOMPARE(m_form->sc->value(), 0);
        QCOMPARE(m_form->re->text(), QStringLiteral("1"));
        QVERIFY(m_form->m2->toPlainText().isEmpty());
        QVERIFY(m_form->RecBtn->isEnabled());
        QVERIFY(!m_form->StopRecBtn->isEnabled());
        QVERIFY(!m_form->T1->isActive());
        QCOMPARE(m_form->T1->interval(), 10);
        QCOMPARE(m_form->indicator(), MainView::Indicator::Yellow);
        QVERIFY(!m_form->rt->isChecked());
        QVERIFY(!m_form->acst->isChecked());
        QCOMPARE(m_form->sc->maximum(), 10000);
        QCOMPARE(m_form->sc->tickInterval(), 20);
    }

    void controlsByName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        using layout::Kind;
        for (const layout::Control& c : layout::controls()) {
            if (c.place.width == 0 || c.kind == Kind::Form) {
                continue;
            }
            const QString name = QString::fromUtf8(c.name.data(), c.name.size());
            QTest::newRow(qPrintable(name))
                << name << QRect(c.place.x, c.place.y, c.place.width, c.place.height)
                << QString::fromUtf8(c.caption.data(), c.caption.size());
        }
    }
    void controlsByName() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        auto* w = m_form->findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), geometry);
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            QCOMPARE(b->text(), caption);
            QVERIFY(!b->icon().isNull());
            // Left-aligned after its picture, the caption must end inside the
            // border (3 px of padding on each side of the content).
            const int content =
                b->iconSize().width() + 4 + b->fontMetrics().horizontalAdvance(b->text());
            QVERIFY2(3 + content + 3 <= b->width() - 2,
                     qPrintable(QStringLiteral("%1 px of %2").arg(content).arg(b->width())));
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            QCOMPARE(g->title(), caption);
        } else if (auto* l = qobject_cast<QLabel*>(w); l && !caption.isEmpty()) {
            QCOMPARE(l->text(), caption);
        }
    }

    void trackbarSavesOnMouseRelease() {
        select("A.ini");
        m_form->sc->setValue(0);
        QTest::mouseRelease(m_form->sc, Qt::LeftButton);
        QCOMPARE(u8(read("A.ini", "sett", "sleep")), QStringLiteral("10000"));
        reload();
        select("A.ini");
        QCOMPARE(m_form->sc->value(), 9700);
        m_form->sc->setValue(10000);
        QCOMPARE(u8(read("A.ini", "sett", "sleep")), QStringLiteral("10000")); // not yet
        QTest::mouseRelease(m_form->sc, Qt::RightButton);
        QCOMPARE(u8(read("A.ini", "sett", "sleep")), QStringLiteral("0"));
    }

    void repeatField() {
        select("A.ini");
        QLineEdit* edit = m_form->re->lineEdit();
        // Emptied with Backspace: shows 1 again at once and saves 1.
        edit->setCursorPosition(edit->text().size());
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("1"));
        QCOMPARE(u8(read("A.ini", "sett", "repeat")), QStringLiteral("1"));
        // A typed 500 is saved as 500; loaded again it shows 100.
        edit->selectAll();
        QTest::keyClicks(edit, "500");
        QCOMPARE(edit->text(), QStringLiteral("500"));
        QCOMPARE(u8(read("A.ini", "sett", "repeat")), QStringLiteral("500"));
        // Only digits and signs are taken.
        QTest::keyClicks(edit, ".x");
        QCOMPARE(edit->text(), QStringLiteral("500"));
        reload();
        select("A.ini");
        QCOMPARE(edit->text(), QStringLiteral("100"));
        // The raising button at 100 saves 100 again.
        writeScenario("A.ini", "[sett]\nrepeat=55\n");
        m_form->re->upButton()->click();
        QCOMPARE(edit->text(), QStringLiteral("100"));
        QCOMPARE(u8(read("A.ini", "sett", "repeat")), QStringLiteral("100"));
        // Keys step by 1 and by 10, limited to 1..100.
        QTest::keyClick(edit, Qt::Key_PageDown);
        QCOMPARE(u8(read("A.ini", "sett", "repeat")), QStringLiteral("90"));
        QTest::keyClick(edit, Qt::Key_Down);
        QCOMPARE(u8(read("A.ini", "sett", "repeat")), QStringLiteral("89"));
        edit->setText("3");
        QTest::keyClick(edit, Qt::Key_PageDown);
        QCOMPARE(edit->text(), QStringLiteral("1"));
        m_form->re->downButton()->click();
        QCOMPARE(u8(read("A.ini", "sett", "repeat")), QStringLiteral("1"));
    }

    void descriptionIsStoredOnOneLine() {
        select("A.ini");
        m_form->m2->clear();
        QTest::keyClicks(m_form->m2, "ab");
        QTest::keyClick(m_form->m2, Qt::Key_Return);
        QTest::keyClicks(m_form->m2, "cd");
        QCOMPARE(m_form->m2->toPlainText(), QStringLiteral("ab\ncd"));
        QCOMPARE(u8(read("A.ini", "sett", "Comments")), QStringLiteral("abcd"));
        reload();
        select("A.ini");
        QCOMPARE(m_form->m2->toPlainText(), QStringLiteral("abcd"));
    }

    void descriptionRefusesWhat1251CannotHold() {
        select("A.ini");
        m_form->m2->clear();
        type(m_form->m2, QStringLiteral("Ёж中€"));
        QCOMPARE(m_form->m2->toPlainText(), QStringLiteral("Ёж€"));
        QCOMPARE(read("A.ini", "sett", "Comments"), cp1251::fromUtf8Lossy("Ёж€"));
        // The refusal is shown over the memo, and stays through the key
        // strokes after it.
        QVERIFY(m_form->m2Note->isVisibleTo(m_form.get()));
        QCOMPARE(m_form->m2Note->text(), QString::fromStdString(cp1251::refusalUtf8(U'中')));
        QVERIFY(m_errors.isEmpty() && m_fake->transcript().empty());
    }

    void helpShowsNoTopicUntilOneIsChosen() {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        m_form->activateWindow();
        m_form->m2->setFocus();
        m_form->pc->setCurrentWidget(m_form->TabHelp);
        QApplication::processEvents();
        QVERIFY(m_form->lb2->selectedItems().isEmpty());
        QVERIFY(m_form->m3->toPlainText().isEmpty());
        QCOMPARE(m_form->lb2->count(), static_cast<int>(pressmark::helpTopics().size()));
        QCOMPARE(m_form->lb2->item(8)->text(),
                 QString::fromStdString(pressmark::helpTopics()[8].title));
        QTest::keyClick(m_form->lb2, Qt::Key_Down);
        QCOMPARE(memoLines(m_form->m3).size(),
                 static_cast<qsizetype>(
                     pressmark::helpTopics()[m_form->lb2->currentRow()].lines.size()));
    }

    void everyScenarioFileIsListedAndOpensItsOwnFile() {
        m_form.reset();
        // Unpacked from a Windows archive: "Привет" in code page 1251 bytes.
        writeScenario("\xCF\xF0\xE8\xE2\xE5\xF2.ini", "[sett]\nComments=cp1251 name\n");
        writeScenario("UPPER.INI", "[sett]\nComments=upper\n");
        makeForm();
        QCOMPARE(m_form->Flb1->count(), 4);
        select(QStringLiteral("Привет.ini"));
        QCOMPARE(m_form->m2->toPlainText(), QStringLiteral("cp1251 name"));
        select(QStringLiteral("UPPER.INI"));
        QCOMPARE(m_form->m2->toPlainText(), QStringLiteral("upper"));
    }

    void unreadableFolderIsExplained() {
        m_form.reset();
        QVERIFY(::chmod(m_dir->path().toLocal8Bit().constData(), 0) == 0);
        // Root reads every folder: look as a plain user would.
        const bool root = ::geteuid() == 0;
        if (root) {
            ::setfsuid(65534);
        }
        makeForm();
        if (root) {
            ::setfsuid(0);
        }
        ::chmod(m_dir->path().toLocal8Bit().constData(), 0700);
        QCOMPARE(m_form->Flb1->count(), 0);
        const auto* problem = m_form->findChild<QLabel*>("folderProblem");
        QVERIFY(!problem->isHidden());
        QVERIFY2(problem->text().startsWith(QStringLiteral("Папку сценариев не удалось прочитать")),
                 qPrintable(problem->text()));
    }

    // Every row of the table with events: the toolkit's own event on the
    // built widget leaves the same transcript, view and files as calling the
    // handler the table names, from the same start.
    void everyRowOfTheTableReachesItsHandler_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("event");
        int row = 0;
        for (const layout::Control& c : layout::controls()) {
            for (const layout::Handler& h : c.events) {
                if (h.call) {
                    QTest::newRow(qPrintable(
                        QStringLiteral("%1/%2").arg(text(c.name)).arg(static_cast<int>(h.event))))
                        << row << static_cast<int>(h.event);
                }
            }
            ++row;
        }
    }
    void everyRowOfTheTableReachesItsHandler() {
        QFETCH(int, row);
        QFETCH(int, event);
        const layout::Control& c = layout::controls()[static_cast<std::size_t>(row)];
        const auto e = static_cast<layout::Event>(event);
        const WiringCase* found = nullptr;
        for (const WiringCase& w : wiringCases()) {
            found = w.control == c.name && w.event == e ? &w : found;
        }
        QVERIFY2(found, "a row without a case here");
        cleanup();
        const QString idle = wiringRun(*found, Fire::Nothing, c);
        const QString toolkit = wiringRun(*found, Fire::Toolkit, c);
        const QString handler = wiringRun(*found, Fire::Handler, c);
        QVERIFY2(handler != idle, "the handler shows nothing from this start");
        QCOMPARE(toolkit, handler);
        init();
    }

    void aRightPressWithinTheSpeedGroupOpensItsMenu() {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        const struct {
            QWidget* at;
            QPoint pos;
        } presses[] = {{m_form->RzGroupBox1, {30, 3}},
                       {m_form->RzGroupBox1, {2, 80}},
                       {m_form->sd, {5, 5}},
                       {m_form->sc, {120, 30}}};
        for (const auto& p : presses) {
            QContextMenuEvent press(QContextMenuEvent::Mouse, p.pos, p.at->mapToGlobal(p.pos));
            QApplication::sendEvent(p.at, &press);
            QVERIFY2(m_form->PopupMenu1->isVisible(), qPrintable(p.at->objectName()));
            m_form->PopupMenu1->hide();
        }
        QContextMenuEvent elsewhere(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    m_form->Label2->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(m_form->Label2, &elsewhere);
        QVERIFY(!m_form->PopupMenu1->isVisible());
    }

    void focusStaysWhereTheUserTypes() {
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        m_form->Flb1->setFocus();
        select("A.ini");
        QCOMPARE(m_form->focusWidget(), m_form->Flb1);
        m_form->re->lineEdit()->setFocus();
        QTest::keyClicks(m_form->re->lineEdit(), "4");
        QCOMPARE(m_form->focusWidget(), m_form->re->lineEdit());
        m_form->m2->setFocus();
        QTest::keyClicks(m_form->m2, "z");
        QCOMPARE(m_form->focusWidget(), m_form->m2);
        m_form->sc->setFocus();
        QTest::mouseRelease(m_form->sc, Qt::LeftButton);
        QCOMPARE(m_form->focusWidget(), m_form->sc);
    }
};

QTEST_MAIN(TForm1Test)
#include "TForm1Test.moc"
