#pragma once

#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QTimer>
#include <QIcon>
#include <QPlainTextEdit>
#include <QSlider>
#include <QWidget>

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

// A memo whose text is stored as code page 1251: characters that 1251 cannot
// hold are refused as they are typed or pasted, with a note naming the first.
class Memo1251 : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit Memo1251(QWidget* parent = nullptr);
    // The first character of text that 1251 cannot hold, or 0.
    static char32_t firstUnstorable(const QString& text);
signals:
    void keyReleased();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool refuse(const QString& text);
    void placeSign();

    // The note along the memo's foot that names a refused character; it
    // stays a few seconds, through the key strokes that follow.
    QLabel* m_sign;
    QTimer* m_signTimer;
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

// A small picture for a push button, with its own greyed disabled state.
enum class ButtonPicture { Play, Stop, Delete, Record, Text, Delay, Keyboard, Proxy, Cookies };
QIcon buttonIcon(ButtonPicture picture);
// The program's own icon (window and tray).
QIcon applicationIcon();

} // namespace pressmark
