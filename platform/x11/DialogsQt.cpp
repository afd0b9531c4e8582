#include "DialogsQt.h"

#include "scenario/Cp1251.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

namespace pressmark::platform::x11 {
namespace {

QString fromCp1251(std::string_view bytes) {
    return QString::fromStdString(cp1251::toUtf8(bytes));
}

// Refuses, as it is typed or pasted, any character that code page 1251
// cannot hold: the answer is stored as 1251 and must not be mangled.
class Cp1251Validator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return cp1251::fromUtf8(input.toStdString()) ? Acceptable : Invalid;
    }
};

} // namespace

bool DialogsQt::notice(std::string_view text, int kind, const void* owner) {
    QWidget* parent = owner ? QWidget::find(reinterpret_cast<WId>(owner)) : nullptr;
    QMessageBox box(parent);
    box.setText(fromCp1251(text));
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
        box.exec();
        return box.clickedButton() == yes;
    }
    default:
        return false;
    }
    box.exec();
    return false;
}

std::optional<std::string> DialogsQt::askValue(std::string_view initial, std::string_view prompt,
                                               std::string_view caption) {
    QDialog dlg;
    dlg.setWindowTitle(fromCp1251(caption));
    auto* layout = new QVBoxLayout(&dlg);
    auto* label = new QLabel(fromCp1251(prompt), &dlg);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(&dlg);
    edit->setObjectName(QStringLiteral("value"));
    edit->setMaxLength(255);
    edit->setValidator(new Cp1251Validator(edit));
    edit->setText(fromCp1251(initial));
    edit->selectAll();
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(&dlg);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    edit->setFocus();
    if (dlg.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    auto bytes = cp1251::fromUtf8(edit->text().toStdString());
    return bytes ? *bytes : cp1251::fromUtf8Lossy(edit->text().toStdString());
}

} // namespace pressmark::platform::x11
