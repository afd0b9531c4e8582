#include "platform/fake/FakePlatform.h"
#include "base/Cp1251.h"
#include "ui/CheckedDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace pressmark;

namespace {

QDialog* openDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("AskValue") && w->isVisible()) {
            return qobject_cast<QDialog*>(w);
        }
    }
    return nullptr;
}

// Runs the steps one after another while the dialog is open.
void whileOpen(std::vector<std::function<void(QDialog&)>> steps) {
    auto shared = std::make_shared<decltype(steps)>(std::move(steps));
    auto next = std::make_shared<std::function<void()>>();
    *next = [shared, next] {
        QDialog* dlg = openDialog();
        if (!dlg) {
            QTimer::singleShot(5, *next);
            return;
        }
        auto step = shared->front();
        shared->erase(shared->begin());
        step(*dlg);
        if (!shared->empty()) {
            QTimer::singleShot(5, *next);
        }
    };
    QTimer::singleShot(0, *next);
}

void setText(QDialog& dlg, const QString& text) {
    dlg.findChild<QLineEdit*>(QStringLiteral("value"))->setText(text);
}
void press(QDialog& dlg, const QString& caption) {
    for (QPushButton* b : dlg.findChildren<QPushButton*>()) {
        if (b->text() == caption) {
            b->click();
            return;
        }
    }
    QFAIL(qPrintable("no button " + caption));
}

} // namespace

class CheckedDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void answerIsCp1251() {
        platform::FakePlatform fake;
        CheckedDialogs dialogs(fake);
        whileOpen({[](QDialog& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Настройки действия"));
            QCOMPARE(d.findChild<QLineEdit*>(QStringLiteral("value"))->text(), QStringLiteral("0"));
            setText(d, QStringLiteral("Привет, мир €"));
            press(d, QStringLiteral("OK"));
        }});
        const auto answer = dialogs.askValue("0", ru("Текст"), ru("Настройки действия"));
        QVERIFY(answer);
        QCOMPARE(*answer, cp1251::fromUtf8Lossy("Привет, мир €"));
        QVERIFY(fake.shown().empty());
    }

    void cancelGivesNothing() {
        platform::FakePlatform fake;
        CheckedDialogs dialogs(fake);
        whileOpen({[](QDialog& d) {
            setText(d, QStringLiteral("typed"));
            press(d, QStringLiteral("Cancel"));
        }});
        QVERIFY(!dialogs.askValue("init", "p", "c"));
    }

    void unstorableCharacterIsRefusedAndNamed() {
        platform::FakePlatform fake;
        CheckedDialogs dialogs(fake);
        whileOpen({[](QDialog& d) {
                       setText(d, QStringLiteral("a→b"));
                       press(d, QStringLiteral("OK"));
                   },
                   [](QDialog& d) {
                       // Still open after the refusal, naming the character
                       // itself too: the user corrects it.
                       QVERIFY(d.isVisible());
                       QCOMPARE(
                           d.findChild<QLabel*>(QStringLiteral("refusal"))->text(),
                           QStringLiteral("Символ \"→\" (U+2192) нельзя сохранить в сценарии"));
                       setText(d, QStringLiteral("a-b"));
                       press(d, QStringLiteral("OK"));
                   }});
        const auto answer = dialogs.askValue("", "p", "c");
        QCOMPARE(answer, std::optional<std::string>("a-b"));
        QCOMPARE(fake.shown().size(), std::size_t{1});
        QCOMPARE(fake.shown().front().kind, 2);
        QCOMPARE(QString::fromStdString(cp1251::toUtf8(fake.shown().front().text)),
                 QStringLiteral("Символ U+2192 нельзя сохранить в сценарии: в кодировке 1251 "
                                "его нет. Замените или удалите его."));
    }

    void ownerlessNoticesGetTheMainWindow() {
        struct Spy final : platform::Dialogs {
            std::vector<const void*> owners;
            bool notice(std::string_view, int kind, const void* owner) override {
                owners.push_back(owner);
                return kind == 3;
            }
            std::optional<std::string> askValue(std::string_view, std::string_view,
                                                std::string_view) override {
                return std::nullopt;
            }
        } spy;
        CheckedDialogs dialogs(spy);
        int mainWindow = 0;
        int other = 0;
        dialogs.setDefaultOwner(&mainWindow);
        QVERIFY(dialogs.notice(ru("Вопрос?"), 3, nullptr));
        QVERIFY(!dialogs.notice(ru("Ошибка"), 2, &other));
        QCOMPARE(spy.owners, (std::vector<const void*>{&mainWindow, &other}));
    }
};

QTEST_MAIN(CheckedDialogsTest)
#include "CheckedDialogsTest.moc"
