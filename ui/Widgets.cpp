#include "Widgets.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace pressmark {

void TrackBar::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    emit mouseReleased();
}

Memo1251::Memo1251(QWidget* parent) : QPlainTextEdit(parent) {}

void Memo1251::setInputFilter(std::function<bool(const QString&)> accept) {
    m_accept = std::move(accept);
}

bool Memo1251::refuse(const QString& text) {
    if (text.isEmpty() || !m_accept || m_accept(text)) {
        return false;
    }
    QApplication::beep();
    return true;
}

void Memo1251::keyPressEvent(QKeyEvent* event) {
    if (refuse(event->text())) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void Memo1251::keyReleaseEvent(QKeyEvent* event) {
    QPlainTextEdit::keyReleaseEvent(event);
    if (!event->isAutoRepeat()) {
        emit keyReleased();
    }
}

void Memo1251::inputMethodEvent(QInputMethodEvent* event) {
    if (refuse(event->commitString())) {
        QInputMethodEvent empty;
        QPlainTextEdit::inputMethodEvent(&empty);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void Memo1251::insertFromMimeData(const QMimeData* source) {
    if (source->hasText() && refuse(source->text())) {
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

void WrappingCheckBox::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    p.drawControl(QStyle::CE_CheckBox, opt);
    QRect textRect = style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, this);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, caption);
}

bool WrappingCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

GradientPage::GradientPage(QColor from, QColor to, Shape shape, QWidget* parent)
    : QWidget(parent), m_from(from), m_to(to), m_shape(shape) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientPage::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    if (m_shape == Shape::Vertical) {
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, m_from);
        g.setColorAt(1, m_to);
        p.fillRect(rect(), g);
        return;
    }
    // Nested rectangles from the edge colour inwards to the middle colour.
    constexpr int bands = 64;
    const QRectF r = rect();
    for (int i = 0; i < bands; ++i) {
        const double t = static_cast<double>(i) / (bands - 1);
        const QColor c = QColor::fromRgbF(m_from.redF() + (m_to.redF() - m_from.redF()) * t,
                                          m_from.greenF() + (m_to.greenF() - m_from.greenF()) * t,
                                          m_from.blueF() + (m_to.blueF() - m_from.blueF()) * t);
        const double dx = r.width() / 2 * i / bands;
        const double dy = r.height() / 2 * i / bands;
        p.fillRect(r.adjusted(dx, dy, -dx, -dy), c);
    }
}

namespace {

void drawPicture(QPainter& p, layout::Picture picture, const QColor& c) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(c.darker(160), 1));
    p.setBrush(c);
    switch (picture) {
    case layout::Picture::None:
        break;
    case layout::Picture::Play: {
        QPainterPath path;
        path.moveTo(4, 2);
        path.lineTo(13, 8);
        path.lineTo(4, 14);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    case layout::Picture::Stop:
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
        break;
    case layout::Picture::Delete:
        p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case layout::Picture::Record:
        p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        break;
    case layout::Picture::Text:
        p.setPen(QPen(c, 2));
        p.drawLine(QPointF(3, 3), QPointF(13, 3));
        p.drawLine(QPointF(8, 3), QPointF(8, 14));
        break;
    case layout::Picture::Delay:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(c, 1.5));
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.drawLine(QPointF(8, 8), QPointF(8, 4));
        p.drawLine(QPointF(8, 8), QPointF(11, 9));
        break;
    case layout::Picture::Keyboard:
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(1.5, 4.5, 13, 8), 1.5, 1.5);
        for (int x = 3; x <= 11; x += 3) {
            p.drawPoint(x, 7);
            p.drawPoint(x, 10);
        }
        break;
    case layout::Picture::Proxy:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(c, 1.5));
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.drawLine(QPointF(2, 8), QPointF(14, 8));
        p.drawEllipse(QRectF(5.5, 2, 5, 12));
        break;
    case layout::Picture::Cookies:
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.setBrush(c.darker(220));
        p.drawEllipse(QRectF(5, 5, 2, 2));
        p.drawEllipse(QRectF(9, 8, 2, 2));
        p.drawEllipse(QRectF(6, 10, 2, 2));
        break;
    }
}

} // namespace

QIcon buttonIcon(layout::Picture picture) {
    QIcon icon;
    for (const bool enabled : {true, false}) {
        const layout::Rgb c = layout::pictureColour(picture, enabled);
        const QColor colour(c.r, c.g, c.b);
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        drawPicture(p, picture, colour);
        p.end();
        icon.addPixmap(pm, enabled ? QIcon::Normal : QIcon::Disabled);
    }
    return icon;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(31, 63, 171));
        p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
        // A pointer arrow over a press mark.
        p.setBrush(QColor(202, 100, 32));
        p.drawEllipse(QRectF(14, 14, 14, 14));
        QPainterPath arrow;
        arrow.moveTo(6, 4);
        arrow.lineTo(6, 24);
        arrow.lineTo(11, 19);
        arrow.lineTo(15, 27);
        arrow.lineTo(18, 25);
        arrow.lineTo(14, 18);
        arrow.lineTo(21, 18);
        arrow.closeSubpath();
        p.setBrush(Qt::white);
        p.setPen(QPen(Qt::black, 1));
        p.drawPath(arrow);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace pressmark
