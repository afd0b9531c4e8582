#include "TForm1.h"

#include "RepeatEdit.h"
#include "TForm1Parts.h"
#include "Widgets.h"
#include "window/Layout.h"
#include "scenario/ScenarioFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QLCDNumber>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace pressmark {

namespace {

using formparts::css;
using formparts::text;

} // namespace

// ---------------------------------------------------------------- the view

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

} // namespace pressmark
