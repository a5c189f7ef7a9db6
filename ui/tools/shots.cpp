// sondaro-shots: the pictures of the README, taken from the running window:
// the list with the detail panel, a scan in progress and the settings dialog.
// Usage: sondaro-shots <sample folder> <output folder>
// Run under a display (ui/screenshot.sh uses Xvfb); HOME and the settings
// file point at a temporary folder, so the user's own are not touched.
#include "ui/Desktop.h"
#include "ui/Main.h"
#include "ui/Settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

void WaitFor(const std::function<bool()>& condition, int ms = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget* widget, const QString& path) {
    const bool ok = widget->grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sondaro-shots <sample folder> <output folder>\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toLocal8Bit());
    QApplication app(argc, argv);
    const QString samples = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);

    // A larger tree for the scan in progress: the samples again and again, in album folders.
    QTemporaryDir work;
    const QString music = work.filePath("Music");
    const QStringList names = QDir(samples).entryList({"*.mp3", "*.flac", "*.ogg", "*.wv", "*.m4a", "*.wma", "*.spx",
                                                       "*.ac3", "*.aiff", "*.wav"},
                                                      QDir::Files, QDir::Name);
    for (int album = 1; album <= 60; ++album) {
        const QString folder = music + QStringLiteral("/Album %1").arg(album, 2, 10, QChar('0'));
        QDir().mkpath(folder);
        for (int track = 0; track < 200; ++track) {
            const QString name = names[track % names.size()];
            const QString target = folder + QStringLiteral("/%1 %2").arg(track + 1, 3, 10, QChar('0')).arg(name);
            if (::link(QFile::encodeName(samples + "/" + name).constData(), QFile::encodeName(target).constData()) != 0)
                QFile::copy(samples + "/" + name, target);
        }
    }

    TMainOptions options;
    options.argument = samples;
    options.executablePath = work.filePath("bin/sondaro");
    options.settingsPath = work.filePath("Sondaro.ini");
    QDir().mkpath(work.filePath("bin"));
    TfrmMain frm(options);
    frm.move(0, 0);
    frm.show();
    WaitFor([&] { return !frm.isBusy() && frm.rowCount() > 0; });
    auto* list = frm.findChild<QTreeView*>("listView");
    const QModelIndex row = list->model()->index(1, 0);
    list->setCurrentIndex(row);
    list->setFocus();
    Settle(500);
    bool ok = Save(&frm, out + "/sondaro-details.png");

    // The settings dialog, on its column list.
    QTimer::singleShot(500, &frm, [&] {
        auto* dialog = qobject_cast<TfrmSettings*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
        dialog->columnList->setCurrentRow(7);
        Settle(300);
        ok = Save(dialog, out + "/sondaro-settings.png") && ok;
        dialog->close();
    });
    frm.onSettingsTriggered();
    WaitFor([&] { return !frm.isBusy(); });

    // A recursive scan under way.
    frm.browseTo(music);
    frm.scanFolder(music, true);
    WaitFor([&] { return frm.rowCount() > 2500 || !frm.isBusy(); });
    Settle(150);
    ok = Save(&frm, out + "/sondaro-scanning.png") && ok;
    frm.findChild<QAction*>("stopAction")->trigger();
    return ok ? 0 : 1;
}
