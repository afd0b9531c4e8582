#include "TForm1.h"

namespace pressmark {

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("Pressmark v 2.0   "));
    setFixedSize(427, 400);
    move(258, 97);
}

} // namespace pressmark
