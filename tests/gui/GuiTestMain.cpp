// The GUI tests run on the offscreen platform unless told otherwise, in one QApplication.
#include <QApplication>
#include <gtest/gtest.h>

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform warns about window hints it cannot honour; that says nothing about a test.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QLatin1String("does not support propagateSizeHints"))) return;
    standardHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The addresses come from the build or the environment; the tests set them where they need them.
    qunsetenv("QUARVELL_WEBPAGE_URL");
    standardHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
