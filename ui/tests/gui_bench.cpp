// Scale check of the desktop program under the offscreen platform: a folder
// of 10,000 files is scanned with rows appearing and the event loop served
// throughout, a header click sorts the rows, and memory grows with the rows'
// texts only. Prints the figures; exits 1 when a limit is missed.
// Usage: sondaro_gui_bench [file count]
#include "ui/Desktop.h"
#include "ui/Main.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace {

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class TQuietDesktop : public TDesktop {
public:
    void ShowError(QWidget*, const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
};

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TQuietDesktop desktop;
    SetDesktop(&desktop);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;

    QTemporaryDir work;
    const QString folder = work.filePath("music");
    QDir().mkpath(folder);
    const QByteArray bytes(64, '\0');
    for (int i = 0; i < count; ++i) {
        QFile file(folder + QStringLiteral("/Track %1 - Some Artist - Some Title.mp3").arg(count - i, 5, 10, QChar('0')));
        if (!file.open(QIODevice::WriteOnly)) return 2;
        file.write(bytes);
    }
    QDir().mkpath(work.filePath("bin"));

    TMainOptions options;
    options.Argument = work.filePath("bin");
    options.executablePath = work.filePath("bin/sondaro");
    TfrmMain frm(options);
    frm.show();
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 2000 && frm.statusTexts().value(3) != QStringLiteral("File Count: 0"))
        QCoreApplication::processEvents();

    // A 10 ms timer stands for user input: the longest gap between its ticks
    // is how long the window would take to answer.
    QElapsedTimer clock;
    qint64 lastTick = 0, longestGap = 0, firstRowAt = -1;
    QTimer input;
    input.setInterval(10);
    QObject::connect(&input, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        if (firstRowAt < 0 && frm.rowCount() > 0) firstRowAt = now;
    });
    const long before = ResidentKiB();
    clock.start();
    input.start();
    frm.scanFolder(folder, false);
    const qint64 scanMs = clock.elapsed();
    input.stop();
    const long after = ResidentKiB();

    QElapsedTimer sortClock;
    sortClock.start();
    frm.onHeaderClicked(0);
    const qint64 sortNameMs = sortClock.restart();
    frm.onHeaderClicked(2);
    const qint64 sortSizeMs = sortClock.elapsed();

    std::printf("files            %d (rows %d)\n", count, frm.rowCount());
    std::printf("scan             %lld ms (%.1f us per file)\n", static_cast<long long>(scanMs),
                1000.0 * scanMs / std::max(1, count));
    std::printf("first row after  %lld ms\n", static_cast<long long>(firstRowAt));
    std::printf("longest gap      %lld ms between input ticks during the scan\n", static_cast<long long>(longestGap));
    std::printf("sort File Name   %lld ms\n", static_cast<long long>(sortNameMs));
    std::printf("sort Size        %lld ms\n", static_cast<long long>(sortSizeMs));
    std::printf("memory           %ld KiB more (%.0f bytes per row)\n", after - before,
                1024.0 * (after - before) / std::max(1, count));
    std::printf("first rows       %s / %s\n", qPrintable(frm.cellText(0, 0)), qPrintable(frm.cellText(1, 0)));
    const bool ok = frm.rowCount() == count && sortNameMs < 1000 && sortSizeMs < 1000 && longestGap < 1000;
    return ok ? 0 : 1;
}
