#pragma once

#include <QLineEdit>
#include <QWidget>

class QToolButton;

namespace pressmark {

// The repeat field: an integer edit with its two spin buttons side by side.
// Unlike a spin box it keeps whatever number is typed (only digits and signs
// are accepted); values set by the program and steps by button, key or wheel
// are limited to minimum..maximum.
class RepeatEdit : public QWidget {
    Q_OBJECT
public:
    explicit RepeatEdit(QWidget* parent = nullptr);

    static constexpr int minimum = 1;
    static constexpr int maximum = 100;

    // The text as a number. An empty field is first filled with "1"; a text
    // that is not a number reads as 1.
    int value();
    // Limited to minimum..maximum.
    void setValue(int v);
    QString text() const;
    QLineEdit* lineEdit() const { return m_edit; }
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

    // One step by spin button, arrow or page key, or wheel: the new value,
    // limited, then stepped() also at the limit.
    void stepBy(int delta);

signals:
    void stepped();
    void keyReleased();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace pressmark
