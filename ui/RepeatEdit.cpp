#include "RepeatEdit.h"

#include "window/RepeatField.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QValidator>
#include <QWheelEvent>

#include <cstdlib>

namespace pressmark {

namespace {

// Takes a text when the window's rule accepts each of its characters.
class Accepted final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        for (const char32_t c : input.toUcs4()) {
            if (!repeatfield::accepts(c)) {
                return Invalid;
            }
        }
        return Acceptable;
    }
};

} // namespace

RepeatEdit::RepeatEdit(QWidget* parent)
    : QWidget(parent), m_edit(new QLineEdit(this)), m_up(new QToolButton(this)),
      m_down(new QToolButton(this)) {
    m_edit->setObjectName(QStringLiteral("reEdit"));
    m_up->setObjectName(QStringLiteral("reUp"));
    m_down->setObjectName(QStringLiteral("reDown"));
    m_edit->setValidator(new Accepted(m_edit));
    m_edit->installEventFilter(this);
    for (QToolButton* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    using repeatfield::Step;
    connect(m_up, &QToolButton::clicked, this,
            [this] { emit stepRequested(repeatfield::delta(Step::Up, false)); });
    connect(m_down, &QToolButton::clicked, this,
            [this] { emit stepRequested(repeatfield::delta(Step::Down, false)); });
    setFocusProxy(m_edit);
}

QString RepeatEdit::text() const {
    return m_edit->text();
}

bool RepeatEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_edit) {
        return QWidget::eventFilter(watched, event);
    }
    using repeatfield::Step;
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool control = (key->modifiers() & Qt::ControlModifier) != 0;
        const int step = key->key() == Qt::Key_Up       ? repeatfield::delta(Step::Up, control)
                         : key->key() == Qt::Key_Down   ? repeatfield::delta(Step::Down, control)
                         : key->key() == Qt::Key_PageUp ? repeatfield::delta(Step::PageUp, control)
                         : key->key() == Qt::Key_PageDown
                             ? repeatfield::delta(Step::PageDown, control)
                             : 0;
        if (step != 0) {
            emit stepRequested(step);
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
        const bool control = (wheel->modifiers() & Qt::ControlModifier) != 0;
        const Step way = notches > 0 ? Step::WheelUp : Step::WheelDown;
        for (int i = 0; i < std::abs(notches); ++i) {
            emit stepRequested(repeatfield::delta(way, control));
        }
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pressmark
