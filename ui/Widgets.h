#pragma once

#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QTimer>
#include <QIcon>
#include <QPlainTextEdit>
#include <QSlider>
#include <QWidget>

#include "window/Layout.h"

#include <functional>

namespace pressmark {

// The speed trackbar; tells when a mouse button is released over it.
class TrackBar : public QSlider {
    Q_OBJECT
public:
    using QSlider::QSlider;
signals:
    void mouseReleased();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A memo that asks before typed, composed or pasted text goes in: the
// filter says whether it may (and shows why not).
class Memo1251 : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit Memo1251(QWidget* parent = nullptr);
    void setInputFilter(std::function<bool(const QString&)> accept);
signals:
    void keyReleased();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    bool refuse(const QString& text);

    std::function<bool(const QString&)> m_accept;
};

// A check box whose caption wraps onto a second line when it is too long
// for the box (the design font was narrower than the fonts found here).
class WrappingCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

// A page background: a gradient between two colours, either top to bottom
// or from the edges to the middle (box).
class GradientPage : public QWidget {
    Q_OBJECT
public:
    enum class Shape { Vertical, Box };
    GradientPage(QColor from, QColor to, Shape shape, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_from;
    QColor m_to;
    Shape m_shape;
};

// A small picture for a push button, in the table's colours, with its own
// greyed disabled state.
QIcon buttonIcon(layout::Picture picture);
// The program's own icon (window and tray).
QIcon applicationIcon();

} // namespace pressmark
