// Notice and AskValue as the user sees them: captions, icons, buttons, the
// default and Escape answers, the edit box's limit and selection.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/qt/DialogsQt.h"
#include "platform/x11/X11Backend.h"

#include <cstdlib>
#include <functional>

namespace pressmark::x11test {
namespace {

// Runs act on the modal dialog as soon as it is open.
void whenOpen(std::function<void(QWidget*)> act) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, poll] {
        if (QWidget* w = QApplication::activeModalWidget(); w && w->isVisible()) {
            act(w);
        } else {
            QTimer::singleShot(10, *poll);
        }
    };
    QTimer::singleShot(10, *poll);
}

class DialogsQtTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_backend = platform::x11::makeBackend();
        m_backend->install();
    }
    std::unique_ptr<platform::x11::X11Backend> m_backend;
};

TEST_F(DialogsQtTest, NoticeKindsHaveTheirCaptionsIconsAndAnswers) {
    const struct {
        int kind;
        int key;
        const char* title;
        QMessageBox::Icon icon;
        QStringList buttons;
        bool result;
    } cases[] = {
        {0, Qt::Key_Return, "Pressmark", QMessageBox::NoIcon, {"OK"}, false},
        {1, Qt::Key_Return, "Information", QMessageBox::Information, {"OK"}, false},
        {2, Qt::Key_Escape, "Error", QMessageBox::Critical, {"OK"}, false},
        {3, Qt::Key_Return, "Confirm", QMessageBox::Question, {"&Yes", "&No"}, true},
        {3, Qt::Key_Escape, "Confirm", QMessageBox::Question, {"&Yes", "&No"}, false},
        {3, 0, "Confirm", QMessageBox::Question, {"&Yes", "&No"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        QString title;
        QString text;
        QStringList buttons;
        QString defaultButton;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenOpen([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons()) {
                buttons << b->text();
            }
            if (box->defaultButton()) {
                defaultButton = box->defaultButton()->text();
            }
            if (c.key == 0) {
                for (QAbstractButton* b : box->buttons()) {
                    if (b->text() == QStringLiteral("&No")) {
                        b->click();
                    }
                }
            } else {
                QTest::keyClick(box, static_cast<Qt::Key>(c.key));
            }
        });
        const bool result = Notice("Удалить сценарий?", c.kind);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(title, QString::fromLatin1(c.title));
        EXPECT_EQ(text, QStringLiteral("Удалить сценарий?"));
        EXPECT_EQ(icon, c.icon);
        buttons.sort();
        QStringList want = c.buttons;
        want.sort();
        EXPECT_EQ(buttons, want);
        if (c.kind == 3) {
            EXPECT_EQ(defaultButton, QStringLiteral("&Yes"));
        }
    }
    EXPECT_FALSE(Notice("nothing shown", 7)) << "no dialog opens for another kind";
}

TEST_F(DialogsQtTest, MessageBoxesStandInTheScreensMiddleWithPlainCentredButtons) {
    // An owner in a corner, whose style sheet must not dress the box's buttons.
    QWidget owner;
    owner.setStyleSheet(QStringLiteral("QPushButton { background: rgb(255, 0, 0); }"));
    owner.setGeometry(0, 0, 200, 100);
    owner.show();
    const QPoint screenMiddle = QGuiApplication::primaryScreen()->availableGeometry().center();
    const auto inspect = [&](QWidget* box) {
        EXPECT_LE((box->frameGeometry().center() - screenMiddle).manhattanLength(), 4);
        int left = box->width();
        int right = 0;
        for (auto* b : box->findChildren<QPushButton*>()) {
            const QRect r(b->mapTo(box, QPoint(0, 0)), b->size());
            left = std::min(left, r.left());
            right = std::max(right, r.right());
            const QColor c = b->grab().toImage().pixelColor(b->width() / 2, 3);
            EXPECT_FALSE(c.red() > 200 && c.green() < 60) << "dressed like the window";
        }
        EXPECT_LE(std::abs((left + right) / 2 - box->width() / 2), 3);
        QTest::keyClick(box, Qt::Key_Escape);
    };
    for (int kind : {0, 2, 3}) {
        SCOPED_TRACE(kind);
        whenOpen(inspect);
        Notice("Сценарий не найден!", kind, reinterpret_cast<const void*>(owner.winId()));
    }
    // The generic error report is such a box too.
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    whenOpen([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        title = box->windowTitle();
        icon = box->icon();
        for (QAbstractButton* b : box->buttons()) {
            buttons << b->text();
        }
        inspect(w);
    });
    platform::qt::DialogsQt::errorReport(QStringLiteral("Unable to write to a.ini."));
    EXPECT_EQ(title, QStringLiteral("Pressmark"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});
}

TEST_F(DialogsQtTest, AskValueSelectsTheInitialValueAndLimitsTheAnswer) {
    struct Seen {
        QString title, selected;
        int maxLength = 0;
    } seen;
    const auto inspect = [&](QWidget* w) -> QLineEdit* {
        seen.title = w->windowTitle();
        auto* edit = w->findChild<QLineEdit*>();
        if (!edit) {
            ADD_FAILURE() << "no edit box in the dialog";
            std::abort(); // the dialog would wait for an answer forever
        }
        seen.selected = edit->selectedText();
        seen.maxLength = edit->maxLength();
        return edit;
    };

    whenOpen([&](QWidget* w) {
        QLineEdit* edit = inspect(w);
        edit->insert(QStringLiteral("Ёлка")); // replaces the selection, as typing does
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(AskValue("старое", "Имя сценария:", "Запись"), "Ёлка");
    EXPECT_EQ(seen.title, QStringLiteral("Запись"));
    EXPECT_EQ(seen.selected, QStringLiteral("старое"));
    EXPECT_EQ(seen.maxLength, 255);

    whenOpen([&](QWidget* w) { QTest::keyClick(inspect(w), Qt::Key_Escape); });
    EXPECT_EQ(AskValue("300", "Delay", "Speed"), "300") << "Cancel gives the initial value";
    whenOpen([&](QWidget* w) { QTest::keyClick(inspect(w), Qt::Key_Escape); });
    EXPECT_EQ(AskValueOrCancel("300", "Delay", "Speed"), std::nullopt);

    // An answer 1251 cannot hold is refused, naming the character, and the
    // dialog stays open for the user to correct it.
    QString refusal;
    bool stillOpen = false;
    whenOpen([&](QWidget* w) {
        QLineEdit* edit = inspect(w);
        edit->setText(QStringLiteral("a€中b"));
        QTest::keyClick(edit, Qt::Key_Return);
        stillOpen = w->isVisible();
        refusal = w->findChild<QLabel*>(QStringLiteral("refusal"))->text();
        edit->setText(QStringLiteral("a€b"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(AskValue("300", "Delay", "Speed"), "a€b");
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(refusal, QStringLiteral("Символ \"中\" (U+4E2D) нельзя сохранить: в кодировке "
                                      "1251 его нет"));
}

} // namespace
} // namespace pressmark::x11test
