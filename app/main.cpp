// The desktop application: builds the main window, nothing else.
#include <QApplication>
#include <QDir>

#include "app/session.h"
#include "ui/main_window.h"
#include "ui/platform/qt_platform.h"
#include "ui/platform/qt_support.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    lv::Session session;
    lv::QtPlatform platform;
    lv::MainWindow window(session, platform);
    platform.setParentWindow(&window);
    // The one optional argument is a FITS file to open; quotes around it are
    // the shell's business and arrive already removed.
    const QStringList args = QApplication::arguments();
    window.startUp(args.size() > 1 ? lv::toLocal(QDir::toNativeSeparators(args.at(1))) : std::string());
    window.show();
    return QApplication::exec();
}
