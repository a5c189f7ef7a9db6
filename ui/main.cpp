// sondaro: the desktop program. Its first command-line argument is a folder,
// a file (its folder is used) or a playlist (.m3u, .pls, .fpl).
#include "ui/Main.h"
#include "ui/Settings.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondaro"));
    QApplication::setOrganizationName(QStringLiteral("Sondaro"));

    TMainOptions options;
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) options.Argument = arguments[1];
    // The core's paths use the system's separator ("\" on Windows).
    options.ExecutablePath = QDir::toNativeSeparators(QApplication::applicationFilePath());

    TfrmMain frmMain(options);
    // The settings dialog object made at start: setting its check boxes from
    // the stored switches turns the fade on and rewrites the folder command.
    { TfrmSettings frmSettings(&frmMain); }
    if (frmMain.Settings().Position.Maximized) frmMain.showMaximized();
    else frmMain.show();
    return QApplication::exec();
}
