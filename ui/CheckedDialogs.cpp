#include "CheckedDialogs.h"

#include "base/Cp1251.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pressmark {

namespace {

QString fromCp(std::string_view cp1251) {
    return QString::fromStdString(cp1251::toUtf8(cp1251));
}

} // namespace

bool CheckedDialogs::notice(std::string_view text, int kind, const void* owner) {
    // Ownerless notices belong to the main window too, so that they are not
    // hidden behind it: it stays on top of every other window.
    return m_inner.notice(text, kind, owner ? owner : m_defaultOwner);
}

std::string CheckedDialogs::refusalText(char32_t character) {
    const QString hex =
        QString::number(static_cast<uint>(character), 16).toUpper().rightJustified(4, u'0');
    // The character itself cannot be written in 1251: it is named by its code.
    return ru("Символ U+") + hex.toStdString() +
           ru(" нельзя сохранить в сценарии: в кодировке 1251 его нет. Замените или удалите его.");
}

std::optional<std::string> CheckedDialogs::askValue(std::string_view initial,
                                                    std::string_view prompt,
                                                    std::string_view caption) {
    // Above the main window, which stays on top of everything else.
    QDialog dlg(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                             Qt::WindowStaysOnTopHint);
    dlg.setObjectName(QStringLiteral("AskValue"));
    dlg.setWindowTitle(fromCp(caption));
    auto* layout = new QVBoxLayout(&dlg);
    auto* label = new QLabel(fromCp(prompt), &dlg);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(fromCp(initial), &dlg);
    edit->setObjectName(QStringLiteral("value"));
    edit->setMaxLength(255);
    edit->selectAll();
    label->setBuddy(edit);
    // The notice can only name a character 1251 lacks by its code; the
    // dialog itself shows the character too, beside the field to correct.
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
        if (auto bytes = cp1251::fromUtf8(edit->text().toStdString(), &offending)) {
            answer = std::move(*bytes);
            dlg.accept();
            return;
        }
        refusal->setText(QStringLiteral("Символ \"%1\" (U+%2) нельзя сохранить в сценарии")
                             .arg(QString::fromUcs4(&offending, 1))
                             .arg(QString::number(static_cast<uint>(offending), 16)
                                      .toUpper()
                                      .rightJustified(4, u'0')));
        refusal->show();
        m_inner.notice(refusalText(offending), 2, reinterpret_cast<const void*>(dlg.winId()));
        edit->setFocus();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(refusal);
    layout->addWidget(buttons);
    dlg.setMinimumWidth(320);
    edit->setFocus();
    const bool accepted = dlg.exec() == QDialog::Accepted;
    if (!accepted) {
        return std::nullopt;
    }
    return answer;
}

} // namespace pressmark
