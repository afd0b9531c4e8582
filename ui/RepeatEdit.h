#pragma once

#include <QLineEdit>
#include <QWidget>

class QToolButton;

namespace pressmark {

// The repeat field: an edit with its two spin buttons side by side. It
// keeps its text and forwards: what may be typed, what the text reads as and
// where a step lands are the window's rules (window/RepeatField.h).
class RepeatEdit : public QWidget {
    Q_OBJECT
public:
    explicit RepeatEdit(QWidget* parent = nullptr);

    QString text() const;
    QLineEdit* lineEdit() const { return m_edit; }
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

signals:
    // A spin button, an arrow or page key, or a wheel notch asks for a step.
    void stepRequested(int delta);
    void keyReleased();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace pressmark
