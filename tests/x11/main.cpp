#include <QApplication>

#include <gtest/gtest.h>

// The tests need a real QApplication on the xcb platform: the backend takes
// its X connection from it and delivers hot keys through its event filter.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Pressmark"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
