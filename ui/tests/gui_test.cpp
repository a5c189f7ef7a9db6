// GUI tests of the desktop program under the offscreen platform: start-up on
// a folder, the list and status bar, header sorting, the settings dialog and
// file, the report, the folder command, the auCDtect run, the fade, the left
// Ctrl key and the playlist argument.
#include "core/Columns.h"
#include "io/IniFile.h"
#include "report/HtmlReport.h"
#include "settings/Integration.h"
#include "ui/Desktop.h"
#include "ui/ListModel.h"
#include "ui/Main.h"
#include "ui/Settings.h"
#ifdef SONDARO_CHECK
#include "ui/SpectrogramView.h"
#endif

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMoveEvent>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QRegularExpression>
#include <QToolButton>
#include <QToolTip>
#include <QElapsedTimer>
#include <QtTest>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

// Records what the program asks of the desktop instead of doing it.
class TRecordingDesktop : public TDesktop {
public:
    QStringList Errors, Shown, Scripts, Messages, Opened, Proposed, Questions;
    QString Home;
    bool Answer = false;   // the answer to every question
    bool HasTerminal = true;
    QString SavePath, SaveFilter;   // the answer of the save dialog
    void ShowError(QWidget*, const QString& text) override { Errors << text; }
    void ShowFileInFileManager(const QString& path) override { Shown << path; }
    void OpenFolder(const QString& folder) override { Shown << folder; }
    bool RunInTerminal(const QString& script) override {
        if (HasTerminal) Scripts << script;
        return HasTerminal;
    }
    void ShowMessage(QWidget*, const QString& title, const QString& text) override { Messages << title + ": " + text; }
    bool AskYesNo(QWidget*, const QString& title, const QString& text) override {
        Questions << title + ": " + text;
        return Answer;
    }
    QString AskSavePath(QWidget*, const QString& proposed, const QStringList& filters, QString* filter) override {
        Proposed << proposed << filters.join(";;");
        if (!SaveFilter.isEmpty()) *filter = SaveFilter;
        return SavePath;
    }
    void OpenFile(const QString& path) override { Opened << path; }
    QString DataHome() override { return Home + QStringLiteral("/.local/share"); }
};

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file no reader accepts: its row keeps the defaults.
const QByteArray kUnreadable(256, '\0');

std::unique_ptr<TAudioItem> Item(const char* name, int64_t size, double seconds, int rate) {
    auto item = std::make_unique<TAudioItem>();
    item->FullPath = std::string("/music/") + name;
    item->Folder = "/music/";
    item->FileType = "MP3";
    item->FileSize = size;
    item->Duration = seconds;
    item->SampleRate = rate;
    item->Channels = 2;
    item->BitsPerSample = 16;
    item->BitRate = 128;
    item->EncoderInfo = "test";
    return item;
}

TListModel* Model(const TfrmMain& frm) { return frm.findChild<TListModel*>(); }
QTreeView* ListOf(const TfrmMain& frm) { return frm.findChild<QTreeView*>("listView"); }

QStringList Column(const TfrmMain& frm, int column) {
    QStringList texts;
    for (int r = 0; r < frm.rowCount(); ++r) texts << frm.cellText(r, column);
    return texts;
}

// Runs action once, from the event loop, as soon as condition holds (the
// condition is polled while a scan serves its events).
void RunWhen(QObject* context, std::function<bool()> condition, std::function<void()> action) {
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, condition, action] {
        if (!condition()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(0);
}

} // namespace

class TestGui : public QObject {
    Q_OBJECT

    TRecordingDesktop desktop_;
    std::unique_ptr<QTemporaryDir> work_;
    QString exeFolder_, music_;

    TMainOptions Options(const QString& argument = {}) {
        TMainOptions options;
        options.argument = argument;
        options.workers = 2;
        options.executablePath = exeFolder_ + QStringLiteral("/sondaro");
        return options;
    }
    QString IniPath() const { return exeFolder_ + QStringLiteral("/Sondaro.ini"); }
    TIniFile Ini() const {
        TIniFile ini;
        ini.Load(IniPath().toStdString());
        return ini;
    }
    // Shows the window and waits until the start-up scan has ended.
    static void Start(TfrmMain& frm, int rows) {
        frm.show();
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: %1").arg(rows));
        QVERIFY(!frm.isBusy());
    }

private slots:
    void init() {
        work_ = std::make_unique<QTemporaryDir>();
        desktop_ = {};
        desktop_.Home = QString::fromLocal8Bit(qgetenv("HOME"));
        SetDesktop(&desktop_);
        exeFolder_ = work_->filePath(QStringLiteral("bin"));
        music_ = work_->filePath(QStringLiteral("music"));
        QDir().mkpath(exeFolder_);
        WriteFile(music_ + "/b.wav", kUnreadable);
        WriteFile(music_ + "/a.mp3", kUnreadable + kUnreadable);
        WriteFile(music_ + "/Sub/c.mp3", kUnreadable);
        WriteFile(music_ + "/.hidden.mp3", kUnreadable);
        WriteFile(music_ + "/notes.mp3.bak", kUnreadable);
    }
    void cleanup() { SetDesktop(nullptr); }

    void startsOnFolderArgumentWithRowsAndTotals() {
        // Recursive scanning on: the start-up scan still covers the folder alone.
        WriteFile(IniPath(), "[Settings]\r\nRecursiveScanning=1\r\n");
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        QCOMPARE(frm.selectedPath(), music_);
        QCOMPARE(frm.windowTitle(), QStringLiteral("Sondaro - ") + music_);
        QCOMPARE(frm.columnCaptions(),
                 (QStringList{"File Name", "Type", "Size", "Length", "Ratio", "Bitrate", "Encoder Info",
                              "Sample Rate", "Channels", "Bits Per Sample", "Health"}));
        QCOMPARE(frm.rowCount(), 2);
        QCOMPARE(Column(frm, 0), (QStringList{"a.mp3", "b.wav"}));
        QStringList row;
        for (int c = 0; c < 11; ++c) row << frm.cellText(1, c);
        QCOMPARE(row, (QStringList{"b.wav", "WAV", "0.00 MB", "00:00", "0.00%", "0 kbps",
                                   "File could not be scanned", "0", "0", "0", "Not recognised"}));
        QCOMPARE(frm.statusTexts(), (QStringList{"Average Bitrate: 0/0 kbps", "Duration: 00:00",
                                                 "Size: 0.00 MB", "File Count: 2"}));
        // Even rows carry the band colour, odd rows the list's own background.
        TListModel* model = Model(frm);
        QCOMPARE(model->data(model->index(0, 3), Qt::BackgroundRole).value<QColor>(), QColor(0xE3, 0xEE, 0xFB));
        QVERIFY(!model->data(model->index(1, 3), Qt::BackgroundRole).isValid());
        QVERIFY(desktop_.Errors.isEmpty());
    }

    // The results cache is on by default: a file whose size, time and inode
    // are unchanged keeps the row of its first scan, even when its bytes were
    // swapped behind the cache's back; with the setting off it is read again.
    void unchangedFilesComeFromTheResultsCacheUnlessSwitchedOff() {
        const QString folder = work_->filePath(QStringLiteral("cached"));
        const QString wav = folder + QStringLiteral("/chord.wav");
        QDir().mkpath(folder);
        QVERIFY(QFile::copy(QStringLiteral(SONDARO_FIXTURES "/../../samples/Chord (mono, 22 kHz).wav"), wav));
        TMainOptions options = Options(folder);
        options.cachePath = work_->filePath(QStringLiteral("cache/results.sqlite"));
        const int encoder = 6;
        {
            TfrmMain frm(options);
            Start(frm, 1);
            QCOMPARE(frm.cellText(0, encoder), QStringLiteral("Windows PCM"));
        }
        QVERIFY(QFile::exists(options.cachePath));
        // The same size, the same modification time and inode: other bytes.
        struct stat before {};
        QCOMPARE(::stat(wav.toLocal8Bit().constData(), &before), 0);
        QFile file(wav);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.write(QByteArray(before.st_size, '\0')) == before.st_size);
        file.close();
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, wav.toLocal8Bit().constData(), times, 0), 0);
        {
            TfrmMain frm(options);
            Start(frm, 1);
            QCOMPARE(frm.cellText(0, encoder), QStringLiteral("Windows PCM"));
        }
        WriteFile(IniPath(), "[Settings]\r\nResultsCache=0\r\n");
        {
            TfrmMain frm(options);
            Start(frm, 1);
            QCOMPARE(frm.cellText(0, encoder), QStringLiteral("File could not be scanned"));
        }
    }

    void headerClicksSortAsDescribed() {
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        frm.scanFolder(work_->filePath("bin"), false);   // an empty folder: empty list
        QTRY_VERIFY(!frm.isBusy());
        QCOMPARE(frm.rowCount(), 0);
        frm.appendAnalysedItem(Item("b.mp3", 5 * 1048576, 3600, 44100));
        frm.appendAnalysedItem(Item("a.mp3", 1048576 / 2, 3599, 8000));
        frm.appendAnalysedItem(Item("C.mp3", 20 * 1048576, 61, 22050));
        const int name = 0, size = 2, length = 3, rate = 7;
        frm.onHeaderClicked(name);   // the sort column starts at 0: descending
        QCOMPARE(Column(frm, name), (QStringList{"C.mp3", "b.mp3", "a.mp3"}));
        frm.onHeaderClicked(size);   // padded: 0000.50 MB < 0005.00 MB < 0020.00 MB
        QCOMPARE(Column(frm, size), (QStringList{"0.50 MB", "5.00 MB", "20.00 MB"}));
        frm.onHeaderClicked(size);
        QCOMPARE(Column(frm, size), (QStringList{"20.00 MB", "5.00 MB", "0.50 MB"}));
        frm.onHeaderClicked(length);   // plain text: 1:00:00 before 59:59
        QCOMPARE(Column(frm, length), (QStringList{"01:01", "1:00:00", "59:59"}));
        frm.onHeaderClicked(rate);
        QCOMPARE(Column(frm, rate), (QStringList{"8000", "22050", "44100"}));
        frm.onHeaderClicked(name);
        QCOMPARE(Column(frm, name), (QStringList{"a.mp3", "b.mp3", "C.mp3"}));
        // The band follows the display position, not the row.
        QCOMPARE(Model(frm)->data(Model(frm)->index(2, 0), Qt::BackgroundRole).value<QColor>(),
                 TListModel::kBandColour);

        // Size hidden: Length moves to list column 2, which is no longer numeric.
        frm.settings().Columns[kColSize].Visible = false;
        frm.buildColumns();
        frm.scanFolder(work_->filePath("bin"), false);
        QTRY_VERIFY(!frm.isBusy());
        frm.appendAnalysedItem(Item("b.mp3", 0, 3600, 0));
        frm.appendAnalysedItem(Item("a.mp3", 0, 3599, 0));
        frm.appendAnalysedItem(Item("C.mp3", 0, 61, 0));
        QCOMPARE(frm.columnCaptions().value(2), QStringLiteral("Length"));
        frm.onHeaderClicked(2);
        if (frm.sortState().Descending) frm.onHeaderClicked(2);
        QCOMPARE(Column(frm, 2), (QStringList{"01:01", "1:00:00", "59:59"}));
    }

    void exportAsksWhereAndWritesHtmlCsvJson() {
        const QString folder = work_->filePath(QStringLiteral("R&B <live>"));
        WriteFile(folder + "/x.mp3", kUnreadable);
        WriteFile(folder + "/y,\"q\".wav", kUnreadable + kUnreadable);
        TfrmMain frm(Options(work_->filePath("bin")));
        Start(frm, 0);
        auto* exportAction = frm.findChild<QAction*>("exportAction");
        frm.onListMenuAboutToShow();
        QVERIFY(!exportAction->isEnabled());

        frm.browseTo(folder);
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 2"));
        frm.onListMenuAboutToShow();
        QVERIFY(exportAction->isEnabled());

        // Cancelled dialog: nothing written. It proposed the scanned folder and the report's name.
        frm.onExportTriggered();
        const QString report = folder + "/!Sdro Analysis.html";
        QCOMPARE(desktop_.Proposed.value(0), report);
        QCOMPARE(desktop_.Proposed.value(1), QStringLiteral("HTML report (*.html);;CSV (*.csv);;JSON (*.json)"));
        QVERIFY(!QFile::exists(report));

        // HTML where the user chose: the report builder's bytes, and a notice to open it.
        const QString html = work_->filePath("out/report.html");
        QDir().mkpath(work_->filePath("out"));
        desktop_.SavePath = html;
        frm.onExportTriggered();
        QVERIFY(desktop_.Errors.isEmpty());
        const QByteArray bytes = ReadFile(html);
        QVERIFY(bytes.startsWith("\xFF\xFE"));
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                                (bytes.size() - 2) / 2);
        const QStringList lines = text.split("\r\n");
        QCOMPARE(lines.value(4), "<title>Sondaro - " + work_->filePath("R&amp;B &lt;live&gt;") + "</title>");
        QVERIFY(lines.contains(QStringLiteral("<td align=\"center\">2</td>")));
        QVERIFY(lines.contains(QStringLiteral("<th  width = 175>File Name</th>")));
        QVERIFY(lines.contains(QStringLiteral("<td 175>x.mp3</td>")));
        QCOMPARE(frm.noticeText(), "Report written to " + html);
        frm.findChild<QToolButton*>("noticeButton")->click();
        QCOMPARE(desktop_.Opened, QStringList{html});

        // CSV chosen by its file type, without an extension typed.
        desktop_.SavePath = work_->filePath("out/list");
        desktop_.SaveFilter = QStringLiteral("CSV (*.csv)");
        frm.onExportTriggered();
        QCOMPARE(QString::fromUtf8(ReadFile(desktop_.SavePath)),
                 QStringLiteral("File Name,Type,Size,Length,Ratio,Bitrate,Encoder Info,Sample Rate,Channels,"
                                "Bits Per Sample,Health\r\n"
                                "x.mp3,MP3,0.00 MB,00:00,0.00%,0 kbps,File could not be scanned,0,0,0,Not recognised\r\n"
                                "\"y,\"\"q\"\".wav\",WAV,0.00 MB,00:00,0.00%,0 kbps,File could not be scanned,0,0,0,"
                                "Not recognised\r\n"));

        // JSON by its extension; the filter applies: only the shown row and its totals.
        frm.findChild<QLineEdit*>("filterEdit")->setText("wav");
        desktop_.SavePath = work_->filePath("out/list.json");
        desktop_.SaveFilter.clear();
        frm.onExportTriggered();
        const QString json = QString::fromUtf8(ReadFile(desktop_.SavePath));
        QVERIFY(json.contains("\"FileName\": \"y,\\\"q\\\".wav\""));
        QVERIFY(!json.contains("x.mp3"));
        QVERIFY2(json.contains("\"FileCount\": 1, \"TotalSize\": 0,"), qPrintable(json));
        QVERIFY(desktop_.Errors.isEmpty());

        // A folder that does not exist: the reason in a message box, nothing written.
        desktop_.SavePath = work_->filePath("missing/report.html");
        frm.onExportTriggered();
        QCOMPARE(desktop_.Errors.size(), 1);
        QVERIFY(desktop_.Errors[0].startsWith("Cannot create file \"" + desktop_.SavePath + "\"."));
        QVERIFY(!QFileInfo::exists(work_->filePath("missing")));

        // A report that cannot replace what is there (a folder): no temporary file left behind.
        QVERIFY(QDir().mkpath(work_->filePath("out/taken.html")));
        desktop_.SavePath = work_->filePath("out/taken.html");
        frm.onExportTriggered();
        QCOMPARE(desktop_.Errors.size(), 2);
        QVERIFY(desktop_.Errors[1].contains(desktop_.SavePath));
        QCOMPARE(QDir(work_->filePath("out")).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (QStringList{"list", "list.json", "report.html"}));

        // A link planted under the chosen name is not written through.
        const QString victim = work_->filePath("victim.txt");
        WriteFile(victim, "precious");
        desktop_.SavePath = work_->filePath("out/linked.html");
        QVERIFY(QFile::link(victim, desktop_.SavePath));
        frm.onExportTriggered();
        QCOMPARE(desktop_.Errors.size(), 3);
        QCOMPARE(desktop_.Errors[2], "Cannot create file \"" + desktop_.SavePath + "\". It exists and is not a regular file");
        QCOMPARE(ReadFile(victim), QByteArray("precious"));
    }

    void settingsDialogReordersHidesAndRescans() {
        WriteFile(IniPath(), "[Columns]\r\nBitrate=77\r\n");
        {
            TfrmMain frm(Options(music_));
            Start(frm, 2);
            bool seen = false;
            QTimer::singleShot(0, &frm, [&] {
                auto* dialog = qobject_cast<TfrmSettings*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                // A failed check returns early: the dialog still closes, so its exec ends.
                const auto closeDialog = qScopeGuard([dialog] { dialog->close(); });
                seen = true;
                TColumnListView* list = dialog->columnList;
                dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
                QApplication::processEvents();
                QCOMPARE(list->count(), kColumnCount);
                QCOMPARE(list->item(7)->text(), QStringLiteral("Encoder Info"));
                // The drag as the platform delivers it: the list's own payload for the
                // pressed row, entering, moving and dropping on the viewport.
                auto drag = [&](int row, const QPoint& target) {
                    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
                    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
                    QCOMPARE(list->currentRow(), row);
                    std::unique_ptr<QMimeData> data(list->model()->mimeData({list->currentIndex()}));
                    QVERIFY(data);
                    QDragEnterEvent enter(target, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(list->viewport(), &enter);
                    QVERIFY(enter.isAccepted());
                    QDragMoveEvent move(target, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(list->viewport(), &move);
                    QDropEvent drop(QPointF(target), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(list->viewport(), &drop);
                    QVERIFY(drop.isAccepted());
                    QCOMPARE(list->count(), kColumnCount);   // nothing lost
                };
                // Drop Encoder Info below all rows: it moves to the end.
                const QPoint below(4, list->viewport()->height() - 2);
                QVERIFY(!list->indexAt(below).isValid());
                drag(7, below);
                QCOMPARE(list->item(kColumnCount - 1)->text(), QStringLiteral("Encoder Info"));
                // Drop Bits Per Sample (now 9) on File Name (1): it goes before it.
                drag(9, list->visualItemRect(list->item(1)).center());
                QCOMPARE(list->item(1)->text(), QStringLiteral("Bits Per Sample"));
                QCOMPARE(list->item(1)->checkState(), Qt::Checked);
                // Drop Type (3) on Length (5): below the row, so after it.
                drag(3, list->visualItemRect(list->item(5)).center());
                QCOMPARE(list->item(5)->text(), QStringLiteral("Type"));
                // Alt+Up / Alt+Down move the current row: Type back above Length and Size.
                QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
                QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
                QCOMPARE(list->item(3)->text(), QStringLiteral("Type"));
                QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
                QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
                QCOMPARE(list->item(3)->text(), QStringLiteral("Type"));
                // Something else dropped on the list is refused.
                QMimeData foreign;
                foreign.setText("File Name");
                QDragEnterEvent enter(QPoint(4, 4), Qt::MoveAction, &foreign, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(list->viewport(), &enter);
                QVERIFY(!enter.isAccepted());
                // Relative Path starts partly checked: shown for recursive scans only.
                QCOMPARE(list->item(0)->checkState(), Qt::PartiallyChecked);
                list->item(7)->setCheckState(Qt::Unchecked);   // Bitrate
                QCOMPARE(list->item(7)->text(), QStringLiteral("Bitrate"));
                dialog->recursiveCheck->setChecked(true);
                dialog->close();
            });
            frm.onSettingsTriggered();
            QVERIFY(seen);
            QTRY_VERIFY(!frm.isBusy());
            // The folder was scanned again, now recursively (so with Relative Path), with the new columns.
            QCOMPARE(frm.columnCaptions(),
                     (QStringList{"Relative Path", "Bits Per Sample", "File Name", "Type", "Size", "Length", "Ratio",
                                  "Sample Rate", "Channels", "Health", "Encoder Info"}));
            QCOMPARE(frm.rowCount(), 3);
            QCOMPARE(frm.cellText(0, 2), QStringLiteral("a.mp3"));
            QCOMPARE(frm.cellText(2, 10), QStringLiteral("File could not be scanned"));
        }
        const TIniFile ini = Ini();
        QCOMPARE(ini.ReadInteger("Columns", "BitrateVisible", -1), 0);
        QCOMPARE(ini.ReadInteger("Columns", "Bitrate", -1), 77);
        QCOMPARE(ini.ReadInteger("Columns", "EncoderInfoPos", -1), kColumnCount - 1);
        QCOMPARE(ini.ReadInteger("Columns", "BitsPerSamplePos", -1), 1);
        QCOMPARE(ini.ReadInteger("Columns", "RelativePathPos", -1), 0);
        QCOMPARE(ini.ReadInteger("Columns", "RelativePathVisible", -1), 0);
        QCOMPARE(ini.ReadInteger("Columns", "RelativePathAuto", -1), 1);
        QCOMPARE(ini.ReadInteger("Settings", "RecursiveScanning", -1), 1);
    }

    void settingsFileWrittenAtExit() {
        {
            TfrmMain frm(Options(music_));
            Start(frm, 2);
            frm.move(40, 30);
            frm.resize(800, 500);
            ListOf(frm)->header()->resizeSection(0, 222);
        }
        TIniFile ini = Ini();
        QCOMPARE(ini.ReadInteger("Position", "Width", 0), 800);
        QCOMPARE(ini.ReadInteger("Position", "Height", 0), 500);
        QCOMPARE(ini.ReadInteger("Position", "Maximized", -1), 0);
        QCOMPARE(ini.ReadInteger("Columns", "FileName", 0), 222);
        QCOMPARE(ini.ReadInteger("Columns", "FileNamePos", -1), 1);
        QCOMPARE(ini.ReadInteger("Columns", "RelativePathVisible", -1), 0);
        QCOMPARE(ini.ReadString("Columns", "RelativePath", "absent"), "absent");   // hidden: never written
        QVERIFY(QString::fromStdString(ini.Text()).contains("\r\n"));

        // Maximized: only the flag is written, the last normal placement stays.
        {
            TfrmMain frm(Options(music_));
            frm.showMaximized();
            QTRY_VERIFY(!frm.isBusy() && frm.statusTexts().value(3) == "File Count: 2");
            QVERIFY(frm.isMaximized());
        }
        ini = Ini();
        QCOMPARE(ini.ReadInteger("Position", "Maximized", -1), 1);
        QCOMPARE(ini.ReadInteger("Position", "Width", 0), 800);

        // Any non-zero value counts as true.
        WriteFile(IniPath(), "[Position]\r\nMaximized=5\r\n");
        {
            TfrmMain frm(Options(music_));
            QVERIFY(frm.windowState() & Qt::WindowMaximized);
        }

        // A file that cannot be written is reported once.
        TMainOptions options = Options(music_);
        options.settingsPath = work_->filePath("missing/folder/Sondaro.ini");
        { TfrmMain frm(options); }
        QCOMPARE(desktop_.Errors, QStringList{"Unable to write to " + options.settingsPath});
    }

    void folderCommandWrittenAndRemoved() {
        const QString data = desktop_.DataHome();
        const QString entry = QString::fromStdString(FolderCommandEntryPath(data.toStdString()));
        const QString menu = QString::fromStdString(FolderCommandServiceMenuPath(data.toStdString()));
        QVERIFY(entry.startsWith(work_->path()) || entry.startsWith(desktop_.Home));
        TMainOptions options = Options();
        options.executablePath = exeFolder_ + "/my \"best\" $app";
        {
            TfrmMain frm(options);
            QTimer::singleShot(0, &frm, [&] {
                auto* dialog = qobject_cast<TfrmSettings*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                // A failed check returns early: the dialog still closes, so its exec ends.
                const auto closeDialog = qScopeGuard([dialog] { dialog->close(); });
                QVERIFY(!QFile::exists(entry));   // Integration off: nothing written
                dialog->integrationCheck->click();
                QVERIFY(QFile::exists(entry) && QFile::exists(menu));
                const QString text = QString::fromUtf8(ReadFile(entry));
                QVERIFY(text.contains("MimeType=inode/directory;"));
                QVERIFY(text.contains("Name=View with Sondaro"));
                QVERIFY(text.contains("Exec=\"" + exeFolder_ + "/my \\\\\"best\\\\\" \\\\$app\" %f\n"));
                QVERIFY(QFileInfo(menu).isExecutable());
                QVERIFY(QString::fromUtf8(ReadFile(menu)).contains("Name=View with Sondaro"));
                dialog->integrationCheck->click();
                QVERIFY(!QFile::exists(entry) && !QFile::exists(menu));
                dialog->integrationCheck->click();
                dialog->close();
            });
            frm.onSettingsTriggered();
            QVERIFY(frm.settings().Integration);
            QFile::remove(entry);
            QFile::remove(menu);
        }
        // The stored switch writes the command again, with the program's current path, at start.
        TfrmMain frm(options);
        QVERIFY(QFile::exists(entry));
        QFile::remove(entry);
        QFile::remove(menu);
    }

    void auCDtectExplainsWhatIsMissingOrRuns() {
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        auto select = [&](int row) {
            ListOf(frm)->selectionModel()->select(Model(frm)->index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        };
        select(1);   // b.wav, but no tool beside the program or on the PATH
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", work_->filePath("nothing").toLocal8Bit());
        frm.onListDoubleClicked();
#ifdef SONDARO_CHECK
        // What is missing is said, and the built-in check offered instead (declined here).
        QCOMPARE(desktop_.Questions.size(), 1);
        QVERIFY(desktop_.Questions[0].startsWith("auCDtect not found: "));
        QVERIFY(desktop_.Questions[0].contains("\"auCDtect\" in\n" + exeFolder_ + "\nor in a folder on the PATH"));
        QVERIFY(desktop_.Questions[0].contains("Check the file with Sondaro's own lossless check instead?"));
        QVERIFY(!frm.isChecking());
        desktop_.Messages << desktop_.Questions[0];
#else
        QCOMPARE(desktop_.Messages.size(), 1);
        QVERIFY(desktop_.Messages[0].startsWith("auCDtect not found: "));
        QVERIFY(desktop_.Messages[0].contains("\"auCDtect\" in\n" + exeFolder_ + "\nor in a folder on the PATH"));
#endif
        QVERIFY(desktop_.Scripts.isEmpty());

        // On the PATH: found there; the script goes to the user's data folder.
        const QString tools = work_->filePath("tools");
        WriteFile(tools + "/auCDtect", "#!/bin/sh\n");
        QFile::setPermissions(tools + "/auCDtect", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("PATH", tools.toLocal8Bit());
        frm.onListDoubleClicked();
        QCOMPARE(desktop_.Scripts.size(), 1);
        QVERIFY(!desktop_.Scripts[0].startsWith(exeFolder_));
        QVERIFY(QString::fromUtf8(ReadFile(desktop_.Scripts[0])).startsWith("'" + tools + "/auCDtect' '" + music_ + "/b.wav'\n"));
        qputenv("PATH", path);

        // Beside the program but no terminal program: said so.
        WriteFile(exeFolder_ + "/auCDtect", "#!/bin/sh\n");
        desktop_.HasTerminal = false;
        frm.onListDoubleClicked();
        QCOMPARE(desktop_.Messages.size(), 2);
        QVERIFY(desktop_.Messages[1].startsWith("No terminal program: "));
        QVERIFY(desktop_.Messages[1].contains("xterm"));

        // An MP3 row does nothing; with both, the WAV runs as before.
        desktop_.HasTerminal = true;
        desktop_.Scripts.clear();
        select(0);
        frm.onListDoubleClicked();
        QVERIFY(desktop_.Scripts.isEmpty());
        select(1);
        frm.onListDoubleClicked();
        const QString script = exeFolder_ + "/Sdro.sh";
        QCOMPARE(desktop_.Scripts, QStringList{script});
        QCOMPARE(QString::fromUtf8(ReadFile(script)),
                 "'" + exeFolder_ + "/auCDtect' '" + music_ + "/b.wav'\n" +
                     "read -r -s -n 1 -p 'Press any key to continue . . . '\n");
        QCOMPARE(desktop_.Messages.size(), 2);
    }

    void fadeStepsDownAndBack() {
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        // Effect off: a move changes nothing.
        QMoveEvent move(QPoint(10, 10), QPoint(0, 0));
        QApplication::sendEvent(&frm, &move);
        QTest::qWait(100);
        QCOMPARE(frm.alphaBlendValue(), 255);

        frm.setAlphaBlend(true);
        QList<int> values;
        for (int i = 0; i < 17; ++i) {
            frm.onFadeOutTick();
            values << frm.alphaBlendValue();
        }
        QCOMPARE(values.first(), 250);
        QCOMPARE(values.value(14), 180);   // 15 ticks down to 180, then it stays
        QCOMPARE(values.last(), 180);
        for (int i = 0; i < 20; ++i) frm.onFadeInTick();
        QCOMPARE(frm.alphaBlendValue(), 255);

        // Real events: a move that goes on dims the window, quiet restores it; a
        // short move reverses from where the fade-out stood. (The move is
        // repeated so that a busy machine's late timers cannot end it early.)
        QElapsedTimer moving;
        moving.start();
        while (frm.alphaBlendValue() > 180 && moving.elapsed() < 3000) {
            QApplication::sendEvent(&frm, &move);
            QTest::qWait(20);
        }
        QCOMPARE(frm.alphaBlendValue(), 180);
        QTRY_COMPARE_WITH_TIMEOUT(frm.alphaBlendValue(), 255, 3000);
        QApplication::sendEvent(&frm, &move);
        QTRY_VERIFY_WITH_TIMEOUT(frm.alphaBlendValue() < 255, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(frm.alphaBlendValue(), 255, 3000);
        QCOMPARE(frm.windowOpacity(), 1.0);
    }

    void leftCtrlInvertsRecursiveScanning() {
        TfrmMain frm(Options(work_->filePath("bin")));
        Start(frm, 0);
        auto key = [&](QEvent::Type type, quint32 keysym) {
            QKeyEvent event(type, Qt::Key_Control, type == QEvent::KeyPress ? Qt::ControlModifier : Qt::NoModifier,
                            keysym == 0xFFE3 ? 37 : 105, keysym, 0);
            QApplication::sendEvent(frm.findChild<QTreeView*>("folderTree"), &event);
        };
        key(QEvent::KeyPress, 0xFFE4);   // right Ctrl: no inversion
        QVERIFY(!TfrmMain::isLeftCtrlDown());
        frm.browseTo(music_);
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 2"));
        key(QEvent::KeyRelease, 0xFFE4);

        key(QEvent::KeyPress, 0xFFE3);   // left Ctrl: recursive this once
        QVERIFY(TfrmMain::isLeftCtrlDown());
        frm.browseTo(music_ + "/Sub");
        frm.browseTo(music_);
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 3"));
        QCOMPARE(Column(frm, 1), (QStringList{"a.mp3", "b.wav", "c.mp3"}));   // after Relative Path
        key(QEvent::KeyRelease, 0xFFE3);
        QVERIFY(!TfrmMain::isLeftCtrlDown());

        // Setting on, left Ctrl held: a flat scan.
        frm.settings().RecursiveScanning = true;
        key(QEvent::KeyPress, 0xFFE3);
        frm.browseTo(music_ + "/Sub");
        frm.browseTo(music_);
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 2"));
        key(QEvent::KeyRelease, 0xFFE3);
    }

    void scanShowsProgressAndStopsConsistently() {
        // Copies of a 9,814-byte MP3: the totals can be checked for any count.
        // Enough of them that a warm, idle machine cannot scan them all
        // within the first slice of rows (3,000 sometimes could).
        constexpr int copies = 9000;
        const QString big = work_->filePath("big");
        const QByteArray bytes = ReadFile(QStringLiteral(SONDARO_FIXTURES "/mp3/lame_V5.mp3"));
        QCOMPARE(bytes.size(), 9814);
        for (int i = 0; i < copies; ++i) WriteFile(big + QStringLiteral("/f%1.mp3").arg(i, 4, 10, QChar('0')), bytes);
        TfrmMain frm(Options(work_->filePath("bin")));
        Start(frm, 0);
        QString progress;
        bool stoppedByKey = false;
        RunWhen(&frm, [&] { return frm.rowCount() > 10; }, [&] {
            progress = frm.progressText();
            QVERIFY(frm.isBusy());
            QVERIFY(frm.findChild<QAction*>("stopAction")->isEnabled());
            frm.activateWindow();
            QTest::keyClick(ListOf(frm), Qt::Key_Escape);   // Stop
            stoppedByKey = !frm.isBusy();
            if (!stoppedByKey) frm.findChild<QAction*>("stopAction")->trigger();
        });
        frm.scanFolder(big, false);
        QTRY_VERIFY(!frm.isBusy());
        QVERIFY(stoppedByKey);
        QVERIFY2(QRegularExpression("^Scanning \\d[\\d,]* files, \\d[\\d,]* files/s   .*big/$").match(progress).hasMatch(),
                 qPrintable(progress));
        const int rows = frm.rowCount();
        QVERIFY(rows > 10 && rows < copies);
        QCOMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: %1").arg(rows));
        QCOMPARE(frm.statusTexts().value(2), "Size: " + QString::number(rows * 9814 / 1048576.0, 'f', 2) + " MB");
        QCOMPARE(frm.noticeText(), QStringLiteral("Scan stopped after %1 files").arg(QLocale().toString(rows)));
        QVERIFY(frm.progressText().isEmpty());
        // In scan order, with nothing missing, and nothing arrives later.
        for (int r = 0; r < rows; ++r)
            QCOMPARE(frm.cellText(r, 0), QStringLiteral("f%1.mp3").arg(r, 4, 10, QChar('0')));
        QTest::qWait(100);
        QCOMPARE(frm.rowCount(), rows);
        QVERIFY(desktop_.Errors.isEmpty());

        // Another folder selected during a scan: the scan stops, the new one runs at once.
        RunWhen(&frm, [&] { return frm.rowCount() > 10; }, [&] { frm.browseTo(music_); });
        frm.browseTo(big);
        QTRY_COMPARE(frm.windowTitle(), "Sondaro - " + music_);
        QTRY_VERIFY(!frm.isBusy());
        QCOMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 2"));
        QCOMPARE(Column(frm, 0), (QStringList{"a.mp3", "b.wav"}));
    }

    void exitDuringScanStopsAndWritesSettings() {
        const QString big = work_->filePath("big");
        for (int i = 0; i < 3000; ++i) WriteFile(big + QStringLiteral("/f%1.mp3").arg(i, 4, 10, QChar('0')), "x");
        {
            TfrmMain frm(Options(work_->filePath("bin")));
            Start(frm, 0);
            RunWhen(&frm, [&] { return frm.rowCount() > 10; }, [&] { frm.close(); });
            frm.scanFolder(big, true);
            QTRY_VERIFY(!frm.isVisible());
            QVERIFY(!frm.isBusy());
            QVERIFY(frm.rowCount() <= 3000);   // on a fast machine the scan may end before the close
        }
        QVERIFY(QFile::exists(IniPath()));
        QCOMPARE(QString::fromStdString(Ini().ReadString("Settings", "LastFolder", "")), big);
    }

    void startsWhereTheLastSessionEndedElseAtHome() {
        {
            TfrmMain frm(Options());
            frm.show();
            QTRY_COMPARE(frm.selectedPath(), QDir::homePath());
            QTRY_VERIFY(!frm.isBusy());
        }
        WriteFile(IniPath(), ("[Settings]\r\nLastFolder=" + music_ + "\r\n").toUtf8());
        {
            TfrmMain frm(Options());
            Start(frm, 2);
            QCOMPARE(frm.selectedPath(), music_);
            QCOMPARE(frm.windowTitle(), "Sondaro - " + music_);
            frm.browseTo(music_ + "/Sub");
            QTRY_COMPARE(frm.windowTitle(), "Sondaro - " + music_ + "/Sub");   // the title follows
            QTRY_VERIFY(!frm.isBusy());
        }
        QCOMPARE(QString::fromStdString(Ini().ReadString("Settings", "LastFolder", "")), music_ + "/Sub");
        // The argument wins; a last folder that is gone gives the home folder.
        WriteFile(IniPath(), "[Settings]\r\nLastFolder=/no/such/folder\r\n");
        {
            TfrmMain frm(Options(music_ + "/Sub"));
            Start(frm, 1);
            QCOMPARE(frm.selectedPath(), music_ + "/Sub");
        }
        WriteFile(IniPath(), "[Settings]\r\nLastFolder=/no/such/folder\r\n");
        TfrmMain frm(Options());
        frm.show();
        QTRY_COMPARE(frm.selectedPath(), QDir::homePath());
        QTRY_VERIFY(!frm.isBusy());
    }

    void filterCopyAndDetails() {
        WriteFile(music_ + "/c d.flac", kUnreadable);
        TfrmMain frm(Options(music_));
        Start(frm, 3);
        auto* filter = frm.findChild<QLineEdit*>("filterEdit");
        frm.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frm));
        QTest::keyClick(&frm, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(filter->hasFocus());
        QTest::keyClicks(filter, "WAV");
        QCOMPARE(Column(frm, 0), QStringList{"b.wav"});
        filter->setText("could  mp3");   // every word, in any column
        QCOMPARE(Column(frm, 0), QStringList{"a.mp3"});
        filter->setText("zzz");
        QCOMPARE(frm.rowCount(), 0);
        filter->clear();
        QCOMPARE(Column(frm, 0), (QStringList{"a.mp3", "b.wav", "c d.flac"}));

        // Ctrl+C: the selected rows, in list order, with the captions.
        frm.onHeaderClicked(0);   // descending: c d.flac, b.wav, a.mp3
        ListOf(frm)->selectionModel()->select(Model(frm)->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ListOf(frm)->selectionModel()->select(Model(frm)->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ListOf(frm)->setFocus();
        QTest::keyClick(ListOf(frm), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("File Name\tType\tSize\tLength\tRatio\tBitrate\tEncoder Info\tSample Rate\tChannels\t"
                                "Bits Per Sample\tHealth\n"
                                "c d.flac\tFLAC\t0.00 MB\t00:00\t0.00%\t0 kbps\tFile could not be scanned\t0\t0\t0\t"
                                "Not recognised\n"
                                "a.mp3\tMP3\t0.00 MB\t00:00\t0.00%\t0 kbps\tFile could not be scanned\t0\t0\t0\t"
                                "Not recognised\n"));
        // The pop-up's folder commands go to the first selected file.
        frm.onListMenuAboutToShow();
        QVERIFY(frm.findChild<QAction*>("openFolderAction")->isEnabled());
        frm.findChild<QAction*>("openFolderAction")->trigger();
        frm.findChild<QAction*>("showInFileManagerAction")->trigger();
        QCOMPARE(desktop_.Shown, (QStringList{music_ + "/", music_ + "/c d.flac"}));

        // The detail panel: every value of the current file, as selectable text.
        ListOf(frm)->setCurrentIndex(Model(frm)->index(1, 0));
        const QString details = frm.detailText();
        QVERIFY2(details.contains("File Name\nb.wav") || details.contains("File Name\tb.wav") ||
                     details.contains("File Name \tb.wav") || details.contains("b.wav"), qPrintable(details));
        for (const char* expected : {"Size", "0 bytes (0.00 MB)", "Encoder Info", "File could not be scanned",
                                     "Full Path", "/music/b.wav", "Sample Rate", "0 Hz"})
            QVERIFY2(details.contains(QString::fromLatin1(expected)), expected);
        // Numbers right-aligned, text left; the header shows the sort.
        QCOMPARE(Model(frm)->data(Model(frm)->index(0, 2), Qt::TextAlignmentRole).toInt() & Qt::AlignRight, int(Qt::AlignRight));
        QCOMPARE(Model(frm)->data(Model(frm)->index(0, 6), Qt::TextAlignmentRole).toInt() & Qt::AlignRight, 0);
        QCOMPARE(ListOf(frm)->header()->sortIndicatorSection(), 0);
        QCOMPARE(ListOf(frm)->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    }

    void detailsShowTheEncoderEvidenceAndSettings() {
        // lame_V2.mp3: LAME 3.100 -V 2, 44,100 samples once the delay and
        // padding its tag records are left out (ffmpeg's full decode agrees).
        const QString folder = work_->filePath("lame");
        WriteFile(folder + "/v2.mp3", ReadFile(QStringLiteral(SONDARO_FIXTURES "/mp3/lame_V2.mp3")));
        TfrmMain frm(Options(folder));
        Start(frm, 1);
        ListOf(frm)->setCurrentIndex(Model(frm)->index(0, 0));
        const QString details = frm.detailText();
        for (const char* expected : {"Encoder Evidence", "LAME tag", "Encoder Settings", "-V 2 -q 0 --lowpass 18.5; ",
                                     "delay 576; padding 1404", "1.000000 s (00:01), ", " samples exactly"})
            QVERIFY2(details.contains(QString::fromLatin1(expected)), qPrintable(expected + (" in " + details)));
        QVERIFY2(details.contains(QLocale().toString(44100) + " samples exactly"), qPrintable(details));
    }

    void elidedCellsShowTheirTextAsTooltip() {
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        QTreeView* list = ListOf(frm);
        list->header()->resizeSection(6, 30);   // Encoder Info: too narrow
        QApplication::processEvents();
        const QRect narrow = list->visualRect(Model(frm)->index(0, 6));
        QHelpEvent help(QEvent::ToolTip, narrow.center(), list->viewport()->mapToGlobal(narrow.center()));
        QApplication::sendEvent(list->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("File could not be scanned"));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        const QRect wide = list->visualRect(Model(frm)->index(0, 1));   // "MP3" fits
        QHelpEvent fits(QEvent::ToolTip, wide.center(), list->viewport()->mapToGlobal(wide.center()));
        QApplication::sendEvent(list->viewport(), &fits);
        QTest::qWait(50);
        QVERIFY(!QToolTip::isVisible());
    }

    void verifyShowsEveryFindingInTooltipAndDetails() {
        const QString folder = work_->filePath("health");
        QDir().mkpath(folder);
        for (const char* name : {"flipped.mp3", "junk.mp3"})
            QVERIFY(QFile::copy(QStringLiteral(SONDARO_FIXTURES "/health/") + name, folder + "/" + name));
        TfrmMain frm(Options(folder));
        Start(frm, 2);
        const int health = frm.columnCaptions().indexOf("Health");
        QCOMPARE(health, 10);
        QCOMPARE(Column(frm, 0), (QStringList{"flipped.mp3", "junk.mp3"}));
        QCOMPARE(Column(frm, health), (QStringList{"OK", "Junk before audio: 700 bytes"}));
        // Nothing selected: the pop-up's Verify covers every row, in the background.
        frm.onListMenuAboutToShow();
        QAction* verify = frm.findChild<QAction*>("verifyAction");
        QVERIFY(verify->isEnabled());
        verify->trigger();
        QVERIFY(frm.isVerifying() || !frm.noticeText().isEmpty());
        QTRY_VERIFY(!frm.isVerifying());
        // Eight bytes inverted in the middle of the frames: a lost frame and a music CRC that fails.
        QCOMPARE(Column(frm, health), (QStringList{"Damaged: 1 bad stretch", "Junk before audio: 700 bytes"}));
        QCOMPARE(frm.noticeText(), QStringLiteral("Verified 2 files: 2 with findings"));
        // The cell's tooltip lists every finding, one a line, whatever the width.
        QTreeView* list = ListOf(frm);
        const QRect cell = list->visualRect(Model(frm)->index(0, health));
        QHelpEvent help(QEvent::ToolTip, cell.center(), list->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(list->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("Damaged: 1 bad stretch\nAudio changed after encoding"));
        QToolTip::hideText();
        // And the detail panel.
        list->setCurrentIndex(Model(frm)->index(0, 0));
        QVERIFY2(frm.detailText().contains("Damaged: 1 bad stretch; Audio changed after encoding"),
                 qPrintable(frm.detailText()));
        // One selected row: only it is read again.
        list->selectionModel()->select(Model(frm)->index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        verify->trigger();
        QTRY_VERIFY(!frm.isVerifying());
        QCOMPARE(frm.noticeText(), QStringLiteral("Verified 1 file: 1 with findings"));
    }

    void relativePathShownForRecursiveScansAndPlaylists() {
        WriteFile(work_->filePath("elsewhere/far.mp3"), kUnreadable);
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        QCOMPARE(frm.columnCaptions().value(0), QStringLiteral("File Name"));
        frm.scanFolder(music_, true);
        QTRY_VERIFY(!frm.isBusy());
        QCOMPARE(frm.columnCaptions().value(0), QStringLiteral("Relative Path"));
        QCOMPARE(Column(frm, 0), (QStringList{"", "", "Sub/"}));
        // A playlist: entries beside it relative, one elsewhere by its full folder.
        const QString list = music_ + "/list.m3u";
        WriteFile(list, ("Sub/c.mp3\n" + work_->filePath("elsewhere/far.mp3") + "\n").toUtf8());
        frm.loadPlaylist(list);
        QTRY_VERIFY(!frm.isBusy());
        QCOMPARE(Column(frm, 0), (QStringList{"Sub/", work_->filePath("elsewhere") + "/"}));
        QCOMPARE(frm.windowTitle(), "Sondaro - " + list);
        // The user switched the column off: it stays off.
        frm.settings().RelativePathAuto = false;
        frm.scanFolder(music_, true);
        QTRY_VERIFY(!frm.isBusy());
        QCOMPARE(frm.columnCaptions().value(0), QStringLiteral("File Name"));
    }

    void droppedFoldersFilesAndPlaylistsAreAnalysed() {
        TfrmMain frm(Options(work_->filePath("bin")));
        Start(frm, 0);
        auto drop = [&](const QStringList& paths) {
            auto* data = new QMimeData;
            QList<QUrl> urls;
            for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
            data->setUrls(urls);
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&frm, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&frm, &dropped);
            delete data;
        };
        drop({music_});   // a folder: selected in the tree and scanned
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 2"));
        QCOMPARE(frm.selectedPath(), music_);
        drop({music_ + "/Sub/c.mp3", music_ + "/b.wav", music_ + "/notes.mp3.bak"});   // files: the supported ones
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 2"));
        QCOMPARE(Column(frm, 1), (QStringList{"c.mp3", "b.wav"}));
        QCOMPARE(frm.windowTitle(), QStringLiteral("Sondaro - 3 dropped items"));
        const QString list = music_ + "/list.m3u";
        WriteFile(list, "a.mp3\nSub/c.mp3\n");
        drop({list});
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 2"));
        QCOMPARE(frm.windowTitle(), "Sondaro - " + list);
        // Text that is no file is refused.
        QMimeData text;
        text.setText("hello");
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frm, &enter);
        QVERIFY(!enter.isAccepted());
    }

    void playlistArgumentLoadsEntriesOnly() {
        const QString list = music_ + "/list.M3U";
        WriteFile(list, ("#EXTM3U\n" + music_ + "/b.wav\nSub/c.mp3\n").toUtf8());
        TfrmMain frm(Options(list));
        frm.show();
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 2"));
        QCOMPARE(frm.selectedPath(), music_);
        QCOMPARE(frm.windowTitle(), "Sondaro - " + list);
        QCOMPARE(Column(frm, 1), (QStringList{"b.wav", "c.mp3"}));   // after Relative Path

        // A folder selection cancels a load and the window stays consistent.
        frm.browseTo(music_ + "/Sub");
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 1"));
    }

    void playlistLoadCancelledByCloseOrSelection() {
        // Many entries: the worker is still running when the window goes.
        QByteArray text;
        for (int i = 0; i < 20000; ++i) text += (music_ + "/a.mp3\n").toUtf8();
        const QString list = music_ + "/long.m3u";
        WriteFile(list, text);
        {
            TfrmMain frm(Options(list));
            frm.show();
            QTRY_VERIFY(frm.rowCount() > 0);
        }   // destroyed while loading: the worker is stopped first
        TfrmMain frm(Options(list));
        frm.show();
        QTRY_VERIFY(frm.rowCount() > 0);
        frm.browseTo(work_->filePath("bin"));
        QTRY_COMPARE(frm.statusTexts().value(3), QStringLiteral("File Count: 0"));
        QVERIFY(!frm.isBusy());
        QTest::qWait(50);
        QCOMPARE(frm.rowCount(), 0);   // nothing of the cancelled load arrives later
    }

    void closingDuringAnyPlaylistLoadEndsWithinASecond() {
        // A .pls with one key of the highest index among 2,000 others (this
        // used to count every index up to it), and an .fpl of 4 million
        // metadata strings (read without asking whether to stop).
        QByteArray pls = "[playlist]\nNumberOfEntries=2147483647\nFile2147483647=a.mp3\n";
        for (int k = 0; k < 2000; ++k) pls += "Title" + QByteArray::number(k) + "=x\n";
        WriteFile(music_ + "/huge-index.pls", pls);
        QByteArray fpl("\xE1\xA0\x9C\x80", 4);   // header bytes adding up to 669
        fpl += QByteArray(24, '\0');
        fpl += QByteArray(16 * 1024 * 1024, '\0');   // 4 million empty strings
        WriteFile(music_ + "/many-strings.fpl", fpl);
        for (const QString& name : {QStringLiteral("huge-index.pls"), QStringLiteral("many-strings.fpl")}) {
            QElapsedTimer closing;
            {
                TfrmMain frm(Options(music_ + "/" + name));
                frm.show();
                QTest::qWait(200);
                frm.close();
                closing.start();
            }   // the worker is stopped and waited for here
            QVERIFY2(closing.elapsed() < 1000, qPrintable(name + QStringLiteral(": %1 ms").arg(closing.elapsed())));
        }
    }

    void failuresNameTheirFiles() {
        // A playlist entry that cannot be opened: the message names the file and the reason.
        WriteFile(music_ + "/list.m3u", QByteArray("missing.mp3\n"));
        TfrmMain frm(Options(music_ + "/list.m3u"));
        frm.show();
        QTRY_VERIFY(!desktop_.Errors.isEmpty());
        QVERIFY2(desktop_.Errors.join('\n').contains("Cannot open file \"" + music_ + "/missing.mp3\"."),
                 qPrintable(desktop_.Errors.join('\n')));
    }

#ifdef SONDARO_CHECK
    // The pop-up menu's check on real transcodes: the hidden Lossless Check
    // column appears, the verdicts fill it as the files finish, the detail
    // panel shows them; Stop ends a check; a WAV double-click without auCDtect
    // runs the check when the offer is taken.
    void losslessCheckFromThePopupMenu() {
        const QString fixtures = QStringLiteral(SONDARO_FIXTURES "/losslesscheck");
        for (const char* name : {"genuine.flac", "mp3-128.flac", "opus-96.wav"})
            QVERIFY(QFile::copy(fixtures + "/" + name, work_->filePath(QStringLiteral("check/") + name)) ||
                    (QDir().mkpath(work_->filePath("check")) &&
                     QFile::copy(fixtures + "/" + name, work_->filePath(QStringLiteral("check/") + name))));
        {
            TfrmMain frm(Options(work_->filePath("check")));
            Start(frm, 3);
            QVERIFY(!frm.columnCaptions().contains("Lossless Check"));
            frm.onListMenuAboutToShow();
            QVERIFY(!frm.findChild<QAction*>("checkSelectedAction")->isEnabled());
            QVERIFY(frm.findChild<QAction*>("checkAllAction")->isEnabled());

            ListOf(frm)->selectionModel()->setCurrentIndex(Model(frm)->index(1, 0),
                                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            frm.onListMenuAboutToShow();
            QVERIFY(frm.findChild<QAction*>("checkSelectedAction")->isEnabled());
            frm.findChild<QAction*>("checkSelectedAction")->trigger();
            QVERIFY(frm.isChecking());
            QCOMPARE(frm.columnCaptions().last(), QStringLiteral("Lossless Check"));
            QVERIFY(frm.checkProgressText().startsWith("Checking 1 of 1 files"));
            QTRY_VERIFY(!frm.isChecking());
            const int column = frm.columnCaptions().indexOf("Lossless Check");
            QCOMPARE(Column(frm, column), (QStringList{"", "Lossy origin likely: cutoff 16.6 kHz, typical of MP3 at 128 kbps or -V5; MP3 frame grid found", ""}));
            QVERIFY2(frm.detailText().contains("Lossy origin likely: cutoff 16.6 kHz"), qPrintable(frm.detailText()));
            QCOMPARE(frm.noticeText(), QStringLiteral("Checked 1 files"));
            QVERIFY(Ini().ReadString("Columns", "LosslessCheckVisible", "").empty());   // written at exit

            frm.findChild<QAction*>("checkAllAction")->trigger();
            QTRY_VERIFY(!frm.isChecking());
            QCOMPARE(Column(frm, column), (QStringList{"Full band to 22.0 kHz",
                                                       "Lossy origin likely: cutoff 16.6 kHz, typical of MP3 at 128 kbps or -V5; MP3 frame grid found",
                                                       "Lossy origin likely: cutoff 20.1 kHz, typical of MP3 at 320 kbps or -V0, "
                                                       "Vorbis -q6 or Opus"}));

            // Stop: the check ends and says how far it got.
            frm.findChild<QAction*>("checkAllAction")->trigger();
            frm.onStopTriggered();
            QTRY_VERIFY(!frm.isChecking());
            QVERIFY(frm.noticeText().startsWith("Check stopped after "));

            // The WAV double-click: no auCDtect, the offer taken, the file checked.
            const QByteArray path = qgetenv("PATH");
            qputenv("PATH", work_->filePath("nothing").toLocal8Bit());
            ListOf(frm)->selectionModel()->setCurrentIndex(Model(frm)->index(2, 0),
                                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            desktop_.Answer = true;
            frm.onListDoubleClicked();
            qputenv("PATH", path);
            QCOMPARE(desktop_.Questions.size(), 1);
            QVERIFY(frm.isChecking());
            QTRY_VERIFY(!frm.isChecking());
            QCOMPARE(frm.noticeText(), QStringLiteral("Checked 1 files"));

            // A new scan ends a running check before its rows go.
            frm.findChild<QAction*>("checkAllAction")->trigger();
            frm.scanFolder(music_, false);
            QVERIFY(!frm.isChecking());
            QTRY_VERIFY(!frm.isBusy());
        }
        // The column stays shown: the settings file says so at exit.
        QCOMPARE(Ini().ReadString("Columns", "LosslessCheckVisible", ""), std::string("1"));
    }

    // The spectrogram of a 128 kbps MP3 made lossless again: the picture is
    // drawn, bright under the cutoff, dark over it, and saved as PNG.
    void spectrogramShowsTheCutoffAndSaves() {
        TSpectrogramDialog dialog(QStringLiteral(SONDARO_FIXTURES "/losslesscheck/mp3-128.flac"));
        QSignalSpy ready(&dialog, &TSpectrogramDialog::pictureReady);
        QVERIFY(ready.wait(20000));
        const QImage& picture = dialog.picture();
        QCOMPARE(picture.size(), QSize(1000, 560));
        // The plot spans the Nyquist frequency, 22,050 Hz, over its height; a
        // row at 10 kHz is bright, one at 20 kHz dark.
        const auto brightness = [&](double hertz) {
            // The plot: inside the black frame whose left edge is at x = 55.
            int plotTop = -1, plotBottom = -1;
            for (int y = 0; y < picture.height(); ++y) {
                if (qGray(picture.pixel(55, y)) < 40) {
                    if (plotTop < 0) plotTop = y;
                    plotBottom = y;
                }
            }
            const int y = plotBottom - 1 - int((plotBottom - plotTop - 2) * hertz / 22050.0);
            int sum = 0;
            for (int x = 100; x < 800; ++x) sum += qGray(picture.pixel(x, y));
            return sum / 700;
        };
        QVERIFY2(brightness(10000) > brightness(20000) + 40,
                 qPrintable(QStringLiteral("%1 %2").arg(brightness(10000)).arg(brightness(20000))));
        const QString png = work_->filePath("s.png");
        QVERIFY(dialog.savePicture(png));
        QImage saved(png);
        QCOMPARE(saved.size(), QSize(1000, 560));

        TSpectrogramDialog broken(work_->filePath("music/b.wav"));
        QTRY_VERIFY_WITH_TIMEOUT(!broken.errorText().isEmpty(), 20000);
        QVERIFY(broken.errorText().startsWith("Cannot decode: "));
        QVERIFY(!broken.ready());
    }
#endif

    void windowPlacedOffEveryScreenComesBack() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        for (const QByteArray& position : {QByteArray("Left=-30000\r\nTop=50000\r\nWidth=500\r\nHeight=300"),
                                           QByteArray("Left=2147483647\r\nTop=0\r\nWidth=2147483647\r\nHeight=-5")}) {
            WriteFile(IniPath(), "[Position]\r\n" + position + "\r\n");
            TfrmMain frm(Options(music_));
            QVERIFY2(area.contains(QRect(frm.pos(), frm.size())),
                     qPrintable(QStringLiteral("%1,%2 %3x%4").arg(frm.x()).arg(frm.y()).arg(frm.width()).arg(frm.height())));
        }
        // A placement on the screen stays as stored.
        WriteFile(IniPath(), "[Position]\r\nLeft=20\r\nTop=30\r\nWidth=400\r\nHeight=300\r\n");
        TfrmMain frm(Options(music_));
        QCOMPARE(QRect(frm.pos(), frm.size()), QRect(20, 30, 400, 300));
    }
};

int main(int argc, char** argv) {
    // Never touch the real user's files: HOME and the XDG folders live in a
    // temporary folder for the whole run.
    QTemporaryDir home;
    const QByteArray path = home.path().toLocal8Bit();
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/.config");
    qputenv("XDG_DATA_HOME", path + "/.local/share");
    qputenv("XDG_CACHE_HOME", path + "/.cache");
    qputenv("XDG_RUNTIME_DIR", path + "/runtime");
    QDir().mkpath(home.path() + "/runtime");
    QFile::setPermissions(home.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                        QFileDevice::ExeOwner);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestGui test;
    return QTest::qExec(&test, argc, argv);
}

#include "gui_test.moc"
