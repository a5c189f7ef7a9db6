// TDesktop: what the program asks of the desktop around it — the error box,
// showing a file in the file manager, opening a folder, running a script in
// a terminal window, and where the user's data folder is. The tests put a
// recording stand-in in its place so that nothing is started on their machine.
#pragma once

#include <QString>

class QWidget;

class TDesktop {
public:
    virtual ~TDesktop() = default;
    // The application's general error display: a message box with the text.
    virtual void ShowError(QWidget* parent, const QString& text);
    // Asks the file manager to show path selected (org.freedesktop.FileManager1
    // ShowItems over D-Bus; on Windows "explorer.exe /select,"); falls back to
    // opening its folder.
    virtual void ShowFileInFileManager(const QString& path);
    virtual void OpenFolder(const QString& folder);
    // Starts the desktop's terminal emulator running "bash script"; on
    // Windows opens the batch file script, which runs in a console window.
    virtual void RunInTerminal(const QString& script);
    // The user's XDG data folder ($XDG_DATA_HOME, ~/.local/share).
    virtual QString DataHome();
};

TDesktop& Desktop();
// Replaces the desktop (nullptr restores the real one); the caller keeps ownership.
void SetDesktop(TDesktop* desktop);
