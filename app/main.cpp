#include "ui/TForm1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pressmark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pressmark"));
    pressmark::TForm1 form;
    form.show();
    return QApplication::exec();
}
