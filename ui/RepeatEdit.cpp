#include "RepeatEdit.h"

#include "base/IntConv.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace pressmark {

RepeatEdit::RepeatEdit(QWidget* parent)
    : QWidget(parent), m_edit(new QLineEdit(this)), m_up(new QToolButton(this)),
      m_down(new QToolButton(this)) {
    m_edit->setObjectName(QStringLiteral("reEdit"));
    m_up->setObjectName(QStringLiteral("reUp"));
    m_down->setObjectName(QStringLiteral("reDown"));
    m_edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9+-]*")), m_edit));
    m_edit->setText(QStringLiteral("1"));
    m_edit->installEventFilter(this);
    for (QToolButton* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
    setFocusProxy(m_edit);
}

int RepeatEdit::value() {
    if (m_edit->text().isEmpty()) {
        m_edit->setText(QStringLiteral("1"));
        return 1;
    }
    return parseInt32(m_edit->text().toStdString()).value_or(1);
}

void RepeatEdit::setValue(int v) {
    m_edit->setText(QString::number(std::clamp(v, minimum, maximum)));
}

QString RepeatEdit::text() const {
    return m_edit->text();
}

void RepeatEdit::stepBy(int delta) {
    const long long next = static_cast<long long>(value()) + delta;
    setValue(static_cast<int>(std::clamp<long long>(next, minimum, maximum)));
    emit stepped();
}

bool RepeatEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_edit) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const int step = key->key() == Qt::Key_Up         ? 1
                         : key->key() == Qt::Key_Down     ? -1
                         : key->key() == Qt::Key_PageUp   ? 10
                         : key->key() == Qt::Key_PageDown ? -10
                                                          : 0;
        if (step != 0) {
            stepBy(step);
            return true;
        }
        break;
    }
    case QEvent::KeyRelease:
        if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
            // The press has already changed the text: the release saves it.
            emit keyReleased();
        }
        break;
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const int notches = wheel->angleDelta().y() / 120;
        const int size = (wheel->modifiers() & Qt::ControlModifier) ? 10 : 1;
        for (int i = 0; i < std::abs(notches); ++i) {
            stepBy(notches > 0 ? size : -size);
        }
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pressmark
