#pragma once

#include <QWidget>

namespace pressmark {

// The main window.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
};

} // namespace pressmark
