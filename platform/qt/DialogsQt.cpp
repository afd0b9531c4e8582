#include "DialogsQt.h"

#include "base/Cp1251.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>
#include <QVBoxLayout>

namespace pressmark::platform::qt {
namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A message box as the system shows one: centred on the screen rather than
// on the window it belongs to, with plain buttons centred under the text.
// It therefore has no parent widget, whose style sheet would dress its
// buttons; it belongs to its owner only as the window manager sees it, so it
// stays above our main window (which stays on top of the others, and may be
// shown again while the box is open), and it blocks the whole program.
class PlainBox final : public QMessageBox {
public:
    PlainBox(Icon icon, const QString& title, const QString& text, const void* owner)
        : QMessageBox(icon, title, text) {
        setWindowFlag(Qt::WindowStaysOnTopHint);
        setWindowModality(Qt::ApplicationModal);
        QWidget* ownerWidget = owner ? QWidget::find(reinterpret_cast<WId>(owner)) : nullptr;
        if (ownerWidget && ownerWidget->windowHandle()) {
            winId();
            windowHandle()->setTransientParent(ownerWidget->windowHandle());
        }
    }

    bool run(QPushButton* yes = nullptr) {
        exec();
        return yes && clickedButton() == yes;
    }

protected:
    // The box takes its final size only here, after the dialog has placed
    // itself by an estimate, and the style restores the buttons' alignment;
    // both are put right before the window is mapped.
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (auto* buttons = findChild<QDialogButtonBox*>()) {
            buttons->setCenterButtons(true);
        }
        layout()->activate();
        const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen) {
            screen = QGuiApplication::primaryScreen();
        }
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
};

} // namespace

void DialogsQt::errorReport(const QString& text, const void* owner) {
    PlainBox box(QMessageBox::Critical, QStringLiteral("Pressmark"), text, owner);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.run();
}

void DialogsQt::warning(const QString& caption, const QString& text, const void* owner) {
    PlainBox box(QMessageBox::Warning, caption, text, owner);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.run();
}

bool DialogsQt::notice(std::string_view text, int kind, const void* owner) {
    // Ownerless notices belong to the main window too, so that they stay
    // above it.
    PlainBox box(QMessageBox::NoIcon, QString(), fromUtf8(text), owner ? owner : m_defaultOwner);
    switch (kind) {
    case 0:
        box.setIcon(QMessageBox::NoIcon);
        box.setWindowTitle(QApplication::applicationDisplayName());
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case 1:
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(QStringLiteral("Information"));
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case 2:
        box.setIcon(QMessageBox::Critical);
        box.setWindowTitle(QStringLiteral("Error"));
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case 3: {
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(QStringLiteral("Confirm"));
        QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        return box.run(yes);
    }
    default:
        return false;
    }
    return box.run();
}

std::optional<std::string> DialogsQt::askValue(std::string_view initial, std::string_view prompt,
                                               std::string_view caption) {
    // Above the main window, which stays on top of everything else.
    QDialog dlg(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                             Qt::WindowStaysOnTopHint);
    dlg.setObjectName(QStringLiteral("AskValue"));
    dlg.setWindowTitle(fromUtf8(caption));
    auto* layout = new QVBoxLayout(&dlg);
    auto* label = new QLabel(fromUtf8(prompt), &dlg);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(fromUtf8(initial), &dlg);
    edit->setObjectName(QStringLiteral("value"));
    edit->setMaxLength(255);
    edit->selectAll();
    label->setBuddy(edit);
    // An answer may be stored in a scenario file, in code page 1251: one
    // holding a character the code page cannot hold is refused, with the character named beside the
    // field to correct, and the dialog stays open.
    auto* refusal = new QLabel(&dlg);
    refusal->setObjectName(QStringLiteral("refusal"));
    refusal->setWordWrap(true);
    refusal->setStyleSheet(QStringLiteral("color: #b00000"));
    refusal->hide();
    auto* buttons = new QDialogButtonBox(&dlg);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    std::string answer;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, [&] {
        char32_t offending = 0;
        if (std::string text = edit->text().toStdString(); cp1251::holds(text, &offending)) {
            answer = std::move(text);
            dlg.accept();
            return;
        }
        QApplication::beep();
        refusal->setText(QString::fromStdString(cp1251::refusalUtf8(offending)));
        refusal->show();
        edit->setFocus();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(refusal);
    layout->addWidget(buttons);
    dlg.setMinimumWidth(320);
    edit->setFocus();
    if (dlg.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return answer;
}

} // namespace pressmark::platform::qt
