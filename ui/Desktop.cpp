#include "ui/Desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

TDesktop realDesktop;
TDesktop* current = &realDesktop;

} // namespace

TDesktop& Desktop() { return *current; }

void SetDesktop(TDesktop* desktop) { current = desktop ? desktop : &realDesktop; }

void TDesktop::ShowError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Sondaro"), text);
}

void TDesktop::ShowFileInFileManager(const QString& path) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage) OpenFolder(QFileInfo(path).absolutePath());
}

void TDesktop::OpenFolder(const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }

void TDesktop::RunInTerminal(const QString& script) {
    const QStringList command{QStringLiteral("bash"), script};
    // Debian's chosen terminal first, then the common desktops' own ones.
    struct Terminal {
        const char* Program;
        QStringList Lead;   // the option that puts a command after it
    };
    const Terminal terminals[] = {
        {"x-terminal-emulator", {QStringLiteral("-e")}},
        {"gnome-terminal", {QStringLiteral("--")}},
        {"konsole", {QStringLiteral("-e")}},
        {"xfce4-terminal", {QStringLiteral("-x")}},
        {"mate-terminal", {QStringLiteral("-x")}},
        {"lxterminal", {QStringLiteral("-e")}},
        {"xterm", {QStringLiteral("-e")}},
    };
    for (const Terminal& terminal : terminals) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(terminal.Program));
        if (program.isEmpty()) continue;
        if (QProcess::startDetached(program, terminal.Lead + command)) return;
    }
}

QString TDesktop::DataHome() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); }
