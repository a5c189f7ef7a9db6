#include "ui/Desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#else
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace {

TDesktop realDesktop;
TDesktop* current = &realDesktop;

} // namespace

TDesktop& Desktop() { return *current; }

void SetDesktop(TDesktop* desktop) { current = desktop ? desktop : &realDesktop; }

void TDesktop::ShowError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Sondaro"), text);
}

#ifdef _WIN32

void TDesktop::ShowFileInFileManager(const QString& path) {
    // explorer.exe /select,<path> opens the folder with the file selected.
    const QStringList arguments{QStringLiteral("/select,"), QDir::toNativeSeparators(path)};
    if (!QProcess::startDetached(QStringLiteral("explorer.exe"), arguments)) OpenFolder(QFileInfo(path).absolutePath());
}

#else

void TDesktop::ShowFileInFileManager(const QString& path) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage) OpenFolder(QFileInfo(path).absolutePath());
}

#endif

void TDesktop::OpenFolder(const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }

#ifdef _WIN32

bool TDesktop::RunInTerminal(const QString& script) {
    // The shell's "open" of a batch file runs it in a new console window.
    const std::wstring file = QDir::toNativeSeparators(script).toStdWString();
    const auto result = ::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

#else

bool TDesktop::RunInTerminal(const QString& script) {
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
        if (QProcess::startDetached(program, terminal.Lead + command)) return true;
    }
    return false;
}

#endif

void TDesktop::ShowMessage(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::information(parent, title, text);
}

bool TDesktop::AskYesNo(QWidget* parent, const QString& title, const QString& text) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

QString TDesktop::AskSavePath(QWidget* parent, const QString& proposed, const QStringList& filters,
                              QString* selectedFilter) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Export"), proposed, filters.join(QStringLiteral(";;")),
                                        selectedFilter);
}

void TDesktop::OpenFile(const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

QString TDesktop::DataHome() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); }
