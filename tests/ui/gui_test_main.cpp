// One QApplication for all window tests, on the offscreen platform.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Offscreen, on a screen of a common desktop size (the default one is
    // 800 x 600, smaller than the windows laid out beside each other).
    const QString config =
        QDir::temp().filePath(QStringLiteral("lumavist-test-screen-%1.json").arg(QCoreApplication::applicationPid()));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(R"({"screens":[{"name":"desk","x":0,"y":0,"width":1920,"height":1080,)"
                   R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    // A run under a real X server and window manager asks for it by name.
    if (qEnvironmentVariableIsSet("LUMAVIST_TEST_QPA")) qputenv("QT_QPA_PLATFORM", qgetenv("LUMAVIST_TEST_QPA"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
