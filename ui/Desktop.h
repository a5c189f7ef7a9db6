// TDesktop: what the program asks of the desktop around it — the error and
// message boxes, the save dialog, showing a file in the file manager,
// opening a folder or a file, running a script in a terminal window, and
// where the user's data folder is. The tests put a
// recording stand-in in its place so that nothing is started on their machine.
#pragma once

#include <QString>
#include <QStringList>

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
    // False when no terminal program could be started.
    virtual bool RunInTerminal(const QString& script);
    // An information box with a title and a text.
    virtual void ShowMessage(QWidget* parent, const QString& title, const QString& text);
    // A question with Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& title, const QString& text);
    // Asks where to save: proposed is the suggested path, filters the file
    // types offered; selectedFilter receives the chosen one. Empty: cancelled.
    virtual QString AskSavePath(QWidget* parent, const QString& proposed, const QStringList& filters,
                                QString* selectedFilter);
    // Opens a file with the desktop's program for it.
    virtual void OpenFile(const QString& path);
    // The user's XDG data folder ($XDG_DATA_HOME, ~/.local/share).
    virtual QString DataHome();
};

TDesktop& Desktop();
// Replaces the desktop (nullptr restores the real one); the caller keeps ownership.
void SetDesktop(TDesktop* desktop);
