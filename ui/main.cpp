// sondaro: the desktop program. Its first command-line argument is a folder,
// a file (its folder is used) or a playlist (.m3u, .pls, .fpl).
#include "ui/Main.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondaro"));
    QApplication::setOrganizationName(QStringLiteral("Sondaro"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/sondaro.svg")));

    TMainOptions options;
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) options.argument = arguments[1];
    // The core's paths use the system's separator ("\" on Windows).
    options.executablePath = QDir::toNativeSeparators(QApplication::applicationFilePath());

    TfrmMain frmMain(options);
    if (frmMain.settings().Position.Maximized) frmMain.showMaximized();
    else frmMain.show();
    return QApplication::exec();
}
