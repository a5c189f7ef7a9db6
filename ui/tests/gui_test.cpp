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
#include <QtTest>

#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// Records what the program asks of the desktop instead of doing it.
class TRecordingDesktop : public TDesktop {
public:
    QStringList Errors, Shown, Scripts;
    QString Home;
    void ShowError(QWidget*, const QString& text) override { Errors << text; }
    void ShowFileInFileManager(const QString& path) override { Shown << path; }
    void OpenFolder(const QString& folder) override { Shown << folder; }
    void RunInTerminal(const QString& script) override { Scripts << script; }
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

// Two MPEG-2.5 Layer III frames of 72 bytes (8 kbit/s, 8 kHz): a stream the
// MPEG reader accepts, too short for the LAME tag's fixed reads.
QByteArray DamagedMp3() {
    QByteArray frame("\xFF\xE3\x18\x40", 4);
    frame += QByteArray(68, '\x55');
    return frame + frame;
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

QStringList Column(const TfrmMain& frm, int column) {
    QStringList texts;
    for (int r = 0; r < frm.RowCount(); ++r) texts << frm.CellText(r, column);
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
        options.Argument = argument;
        options.ExecutablePath = exeFolder_ + QStringLiteral("/sondaro");
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
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: %1").arg(rows));
        QVERIFY(!frm.Busy());
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
        QCOMPARE(frm.SelectedPath(), music_);
        QCOMPARE(frm.windowTitle(), QStringLiteral("Sondaro - ") + music_);
        QCOMPARE(frm.ColumnCaptions(),
                 (QStringList{"File Name", "Type", "Size", "Length", "Ratio", "Bitrate", "Encoder Info",
                              "Sample Rate", "Channels", "Bits Per Sample"}));
        QCOMPARE(frm.RowCount(), 2);
        QCOMPARE(Column(frm, 0), (QStringList{"a.mp3", "b.wav"}));
        QStringList row;
        for (int c = 0; c < 10; ++c) row << frm.CellText(1, c);
        QCOMPARE(row, (QStringList{"b.wav", "WAV", "0.00 MB", "00:00", "0.00%", "0 kbps",
                                   "File could not be scanned", "0", "0", "0"}));
        QCOMPARE(frm.StatusTexts(), (QStringList{"Average Bitrate: 0/0 kbps", "Duration: 00:00",
                                                 "Size: 0.00 MB", "File Count: 2"}));
        // Even rows carry the band colour, odd rows the list's own background.
        TListModel* model = frm.Model();
        QCOMPARE(model->data(model->index(0, 3), Qt::BackgroundRole).value<QColor>(), QColor(0xE3, 0xEE, 0xFB));
        QVERIFY(!model->data(model->index(1, 3), Qt::BackgroundRole).isValid());
        QVERIFY(desktop_.Errors.isEmpty());
    }

    void headerClicksSortAsDescribed() {
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        frm.ScanFolder(work_->filePath("bin"), false);   // an empty folder: empty list
        QCOMPARE(frm.RowCount(), 0);
        frm.AppendAnalysedItem(Item("b.mp3", 5 * 1048576, 3600, 44100));
        frm.AppendAnalysedItem(Item("a.mp3", 1048576 / 2, 3599, 8000));
        frm.AppendAnalysedItem(Item("C.mp3", 20 * 1048576, 61, 22050));
        const int name = 0, size = 2, length = 3, rate = 7;
        frm.ListViewColumnClick(name);   // the sort column starts at 0: descending
        QCOMPARE(Column(frm, name), (QStringList{"C.mp3", "b.mp3", "a.mp3"}));
        frm.ListViewColumnClick(size);   // padded: 0000.50 MB < 0005.00 MB < 0020.00 MB
        QCOMPARE(Column(frm, size), (QStringList{"0.50 MB", "5.00 MB", "20.00 MB"}));
        frm.ListViewColumnClick(size);
        QCOMPARE(Column(frm, size), (QStringList{"20.00 MB", "5.00 MB", "0.50 MB"}));
        frm.ListViewColumnClick(length);   // plain text: 1:00:00 before 59:59
        QCOMPARE(Column(frm, length), (QStringList{"01:01", "1:00:00", "59:59"}));
        frm.ListViewColumnClick(rate);
        QCOMPARE(Column(frm, rate), (QStringList{"8000", "22050", "44100"}));
        frm.ListViewColumnClick(name);
        QCOMPARE(Column(frm, name), (QStringList{"a.mp3", "b.mp3", "C.mp3"}));
        // The band follows the display position, not the row.
        QCOMPARE(frm.Model()->data(frm.Model()->index(2, 0), Qt::BackgroundRole).value<QColor>(),
                 TListModel::kBandColour);

        // Size hidden: Length moves to list column 2, which is no longer numeric.
        frm.Settings().Columns[kColSize].Visible = false;
        frm.BuildColumns();
        frm.ScanFolder(work_->filePath("bin"), false);
        frm.AppendAnalysedItem(Item("b.mp3", 0, 3600, 0));
        frm.AppendAnalysedItem(Item("a.mp3", 0, 3599, 0));
        frm.AppendAnalysedItem(Item("C.mp3", 0, 61, 0));
        QCOMPARE(frm.ColumnCaptions().value(2), QStringLiteral("Length"));
        frm.ListViewColumnClick(2);
        if (frm.SortState().Descending) frm.ListViewColumnClick(2);
        QCOMPARE(Column(frm, 2), (QStringList{"01:01", "1:00:00", "59:59"}));
    }

    void exportIsDisabledOnEmptyListAndWritesTheReport() {
        const QString folder = work_->filePath(QStringLiteral("R&B <live>"));
        WriteFile(folder + "/x.mp3", kUnreadable);
        TfrmMain frm(Options(work_->filePath("bin")));
        Start(frm, 0);
        frm.PopupMenuListViewPopup();
        QVERIFY(!frm.ExportAction()->isEnabled());

        frm.BrowseTo(folder);
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: 1"));
        frm.PopupMenuListViewPopup();
        QVERIFY(frm.ExportAction()->isEnabled());
        frm.ExportClick();
        const QString report = folder + "/!Sdro Analysis.html";
        QCOMPARE(desktop_.Shown, QStringList{report});
        const QByteArray bytes = ReadFile(report);
        QVERIFY(bytes.startsWith("\xFF\xFE"));
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                                (bytes.size() - 2) / 2);
        QVERIFY(text.endsWith("</html>\r\n"));
        const QStringList lines = text.split("\r\n");
        QCOMPARE(lines.value(4), "<title>Sondaro - " + work_->filePath("R&amp;B &lt;live&gt;") + "</title>");
        QVERIFY(lines.contains(QStringLiteral("<td align=\"center\">1</td>")));
        QVERIFY(lines.contains(QStringLiteral("<th  width = 175>File Name</th>")));
        QVERIFY(lines.contains(QStringLiteral("<td 175>x.mp3</td>")));
        QVERIFY(lines.contains(QStringLiteral("<td 250>File could not be scanned</td>")));
        // The bytes are exactly those of the report builder.
        const int columns = frm.ColumnCaptions().size();
        TReportInput input;
        input.Folder = folder.toStdString();
        for (int c = 0; c < columns; ++c)
            input.Columns.push_back({frm.ColumnCaptions()[c].toStdString(), frm.List()->header()->sectionSize(c)});
        input.Rows.push_back(&frm.Model()->RowAt(0).Texts);
        QCOMPARE(bytes, QByteArray::fromStdString(EncodeReport(HtmlReportLines(input))));

        // A report that cannot be created: the error is shown, nothing opened.
        QFile::remove(report);
        QVERIFY(QDir().mkdir(report));
        frm.ExportClick();
        QCOMPARE(desktop_.Errors.size(), 1);
        QVERIFY(desktop_.Errors[0].startsWith("Cannot create file \"" + report + "\"."));
        QCOMPARE(desktop_.Shown.size(), 1);

        // A link planted under the report's name is not written through.
        QDir().rmdir(report);
        const QString victim = work_->filePath("victim.txt");
        WriteFile(victim, "precious");
        QVERIFY(QFile::link(victim, report));
        frm.ExportClick();
        QCOMPARE(desktop_.Errors.size(), 2);
        QCOMPARE(desktop_.Errors[1],
                 "Cannot create file \"" + report + "\". It exists and is not a regular file");
        QCOMPARE(ReadFile(victim), QByteArray("precious"));
        QCOMPARE(desktop_.Shown.size(), 1);
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
                seen = true;
                TColumnListView* list = dialog->TntListView;
                dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
                QApplication::processEvents();
                QCOMPARE(list->count(), 11);
                QCOMPARE(list->item(7)->text(), QStringLiteral("Encoder Info"));
                // Drop Encoder Info below all rows: it moves to the end.
                const QPoint below(4, list->viewport()->height() - 2);
                QVERIFY(!list->indexAt(below).isValid());
                list->DropRow(7, below);
                QCOMPARE(list->item(10)->text(), QStringLiteral("Encoder Info"));
                // Drop Bits Per Sample (now 9) on File Name (1): it goes before it.
                list->DropRow(9, list->visualItemRect(list->item(1)).center());
                QCOMPARE(list->item(1)->text(), QStringLiteral("Bits Per Sample"));
                list->item(7)->setCheckState(Qt::Unchecked);   // Bitrate
                QCOMPARE(list->item(7)->text(), QStringLiteral("Bitrate"));
                dialog->chckbxRecursive->setChecked(true);
                dialog->close();
            });
            frm.Settings1Click();
            QVERIFY(seen);
            QCOMPARE(frm.ColumnCaptions(),
                     (QStringList{"Bits Per Sample", "File Name", "Type", "Size", "Length", "Ratio",
                                  "Sample Rate", "Channels", "Encoder Info"}));
            // The folder was scanned again, now recursively, with the new columns.
            QCOMPARE(frm.RowCount(), 3);
            QCOMPARE(frm.CellText(0, 1), QStringLiteral("a.mp3"));
            QCOMPARE(frm.CellText(2, 8), QStringLiteral("File could not be scanned"));
        }
        const TIniFile ini = Ini();
        QCOMPARE(ini.ReadInteger("Columns", "BitrateVisible", -1), 0);
        QCOMPARE(ini.ReadInteger("Columns", "Bitrate", -1), 77);
        QCOMPARE(ini.ReadInteger("Columns", "EncoderInfoPos", -1), 10);
        QCOMPARE(ini.ReadInteger("Columns", "BitsPerSamplePos", -1), 1);
        QCOMPARE(ini.ReadInteger("Columns", "RelativePathPos", -1), 0);
        QCOMPARE(ini.ReadInteger("Settings", "RecursiveScanning", -1), 1);
    }

    void settingsFileWrittenAtExit() {
        {
            TfrmMain frm(Options(music_));
            Start(frm, 2);
            frm.move(40, 30);
            frm.resize(800, 500);
            frm.List()->header()->resizeSection(0, 222);
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
            QTRY_VERIFY(!frm.Busy() && frm.StatusTexts().value(3) == "File Count: 2");
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
        options.SettingsPath = work_->filePath("missing/folder/Sondaro.ini");
        { TfrmMain frm(options); }
        QCOMPARE(desktop_.Errors, QStringList{"Unable to write to " + options.SettingsPath});
    }

    void folderCommandWrittenAndRemoved() {
        const QString data = desktop_.DataHome();
        const QString entry = QString::fromStdString(FolderCommandEntryPath(data.toStdString()));
        const QString menu = QString::fromStdString(FolderCommandServiceMenuPath(data.toStdString()));
        QVERIFY(entry.startsWith(work_->path()) || entry.startsWith(desktop_.Home));
        TMainOptions options = Options();
        options.ExecutablePath = exeFolder_ + "/my \"best\" $app";
        TfrmMain frm(options);
        {
            TfrmSettings dialog(&frm);   // Integration off: nothing written
            QVERIFY(!QFile::exists(entry));
            dialog.chckbxShell->click();
            QVERIFY(QFile::exists(entry) && QFile::exists(menu));
            const QString text = QString::fromUtf8(ReadFile(entry));
            QVERIFY(text.contains("MimeType=inode/directory;"));
            QVERIFY(text.contains("Name=View with Sondaro"));
            QVERIFY(text.contains("Exec=\"" + exeFolder_ + "/my \\\\\"best\\\\\" \\\\$app\" %f\n"));
            QVERIFY(QFileInfo(menu).isExecutable());
            QVERIFY(QString::fromUtf8(ReadFile(menu)).contains("Name=View with Sondaro"));
            dialog.chckbxShell->click();
            QVERIFY(!QFile::exists(entry) && !QFile::exists(menu));
            dialog.close();
        }
        QVERIFY(!frm.Settings().Integration);
        // A stored switch writes the command again when the dialog object is made.
        frm.Settings().Integration = true;
        { TfrmSettings dialog(&frm); }
        QVERIFY(QFile::exists(entry));
        QFile::remove(entry);
        QFile::remove(menu);
    }

    void auCDtectRunsOnFirstSelectedWavRow() {
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        auto select = [&](int row) {
            frm.List()->selectionModel()->select(frm.Model()->index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        };
        select(1);   // b.wav, but no tool beside the program
        frm.ListViewDblClick();
        QVERIFY(desktop_.Scripts.isEmpty());
        WriteFile(exeFolder_ + "/auCDtect", "#!/bin/sh\n");
        select(0);   // a.mp3
        frm.ListViewDblClick();
        QVERIFY(desktop_.Scripts.isEmpty());
        select(1);
        frm.ListViewDblClick();
        const QString script = exeFolder_ + "/Sdro.sh";
        QCOMPARE(desktop_.Scripts, QStringList{script});
        QCOMPARE(QString::fromUtf8(ReadFile(script)),
                 "'" + exeFolder_ + "/auCDtect' '" + music_ + "/b.wav'\n" +
                     "read -r -s -n 1 -p 'Press any key to continue . . . '\n");
    }

    void fadeStepsDownAndBack() {
        TfrmMain frm(Options(music_));
        Start(frm, 2);
        // Effect off: a move changes nothing.
        QMoveEvent move(QPoint(10, 10), QPoint(0, 0));
        QApplication::sendEvent(&frm, &move);
        QTest::qWait(100);
        QCOMPARE(frm.AlphaBlendValue(), 255);

        frm.SetAlphaBlend(true);
        QList<int> values;
        for (int i = 0; i < 17; ++i) {
            frm.TimerABOnTimer();
            values << frm.AlphaBlendValue();
        }
        QCOMPARE(values.first(), 250);
        QCOMPARE(values.value(14), 180);   // 15 ticks down to 180, then it stays
        QCOMPARE(values.last(), 180);
        for (int i = 0; i < 20; ++i) frm.TimerABOffTimer();
        QCOMPARE(frm.AlphaBlendValue(), 255);

        // Real events: a move dims the window, quiet restores it; a short move
        // reverses from where the fade-out stood.
        QApplication::sendEvent(&frm, &move);
        QTRY_COMPARE_WITH_TIMEOUT(frm.AlphaBlendValue(), 180, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(frm.AlphaBlendValue(), 255, 3000);
        QApplication::sendEvent(&frm, &move);
        QTRY_VERIFY_WITH_TIMEOUT(frm.AlphaBlendValue() < 255, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(frm.AlphaBlendValue(), 255, 3000);
        QCOMPARE(frm.windowOpacity(), 1.0);
    }

    void leftCtrlInvertsRecursiveScanning() {
        TfrmMain frm(Options(work_->filePath("bin")));
        Start(frm, 0);
        auto key = [&](QEvent::Type type, quint32 keysym) {
            QKeyEvent event(type, Qt::Key_Control, type == QEvent::KeyPress ? Qt::ControlModifier : Qt::NoModifier,
                            keysym == 0xFFE3 ? 37 : 105, keysym, 0);
            QApplication::sendEvent(frm.Tree(), &event);
        };
        key(QEvent::KeyPress, 0xFFE4);   // right Ctrl: no inversion
        QVERIFY(!TfrmMain::LeftCtrlDown());
        frm.BrowseTo(music_);
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: 2"));
        key(QEvent::KeyRelease, 0xFFE4);

        key(QEvent::KeyPress, 0xFFE3);   // left Ctrl: recursive this once
        QVERIFY(TfrmMain::LeftCtrlDown());
        frm.BrowseTo(music_ + "/Sub");
        frm.BrowseTo(music_);
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: 3"));
        QCOMPARE(Column(frm, 0), (QStringList{"a.mp3", "b.wav", "c.mp3"}));
        key(QEvent::KeyRelease, 0xFFE3);
        QVERIFY(!TfrmMain::LeftCtrlDown());

        // Setting on, left Ctrl held: a flat scan.
        frm.Settings().RecursiveScanning = true;
        key(QEvent::KeyPress, 0xFFE3);
        frm.BrowseTo(music_ + "/Sub");
        frm.BrowseTo(music_);
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: 2"));
        key(QEvent::KeyRelease, 0xFFE3);
    }

    void newSelectionDuringScanLetsTheFolderFinish() {
        const QString big = work_->filePath("big");
        for (int i = 0; i < 3000; ++i) WriteFile(big + QStringLiteral("/f%1.mp3").arg(i, 4, 10, QChar('0')), "x");
        TfrmMain frm(Options(work_->filePath("bin")));
        Start(frm, 0);
        int rowsWhenSwitched = -1;
        RunWhen(&frm, [&] { return frm.RowCount() > 10; }, [&] {
            rowsWhenSwitched = frm.RowCount();
            frm.BrowseTo(music_);   // Busy: only remembered
            QVERIFY(frm.Busy());
        });
        frm.BrowseTo(big);
        QVERIFY(rowsWhenSwitched > 0 && rowsWhenSwitched < 3000);
        // The big folder finished, then the new selection was scanned.
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: 2"));
        QCOMPARE(frm.windowTitle(), "Sondaro - " + music_);
    }

    void exitDuringScanFinishesTheFolderAndWritesSettings() {
        const QString big = work_->filePath("big");
        for (int i = 0; i < 3000; ++i) WriteFile(big + QStringLiteral("/f%1.mp3").arg(i, 4, 10, QChar('0')), "x");
        WriteFile(big + "/Deeper/g.mp3", "x");
        {
            TfrmMain frm(Options(work_->filePath("bin")));
            Start(frm, 0);
            RunWhen(&frm, [&] { return frm.RowCount() > 10; }, [&] { frm.close(); });
            frm.ScanFolder(big, true);
            QCOMPARE(frm.RowCount(), 3000);   // the current folder, not its subfolder
            QVERIFY(!frm.isVisible());
        }
        QVERIFY(QFile::exists(IniPath()));
    }

    void playlistArgumentLoadsEntriesOnly() {
        const QString list = music_ + "/list.M3U";
        WriteFile(list, ("#EXTM3U\n" + music_ + "/b.wav\nSub/c.mp3\n").toUtf8());
        TfrmMain frm(Options(list));
        frm.show();
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: 2"));
        QCOMPARE(frm.SelectedPath(), music_);
        QCOMPARE(frm.windowTitle(), "Sondaro - " + list);
        QCOMPARE(Column(frm, 0), (QStringList{"b.wav", "c.mp3"}));

        // A folder selection cancels a load and the window stays consistent.
        frm.BrowseTo(music_ + "/Sub");
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: 1"));
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
            QTRY_VERIFY(frm.RowCount() > 0);
        }   // destroyed while loading: the worker is stopped first
        TfrmMain frm(Options(list));
        frm.show();
        QTRY_VERIFY(frm.RowCount() > 0);
        frm.BrowseTo(work_->filePath("bin"));
        QTRY_COMPARE(frm.StatusTexts().value(3), QStringLiteral("File Count: 0"));
        QVERIFY(!frm.PlaylistLoading());
        QTest::qWait(50);
        QCOMPARE(frm.RowCount(), 0);   // nothing of the cancelled load arrives later
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
        // A short MPEG stream whose LAME tag read runs out of bytes.
        WriteFile(music_ + "/damaged.mp3", DamagedMp3());
        TfrmMain frm(Options(music_));
        frm.show();
        QTRY_VERIFY(!desktop_.Errors.isEmpty());
        QVERIFY2(desktop_.Errors.join('\n').contains(music_ + "/damaged.mp3: Unexpected End Of File."),
                 qPrintable(desktop_.Errors.join('\n')));
    }

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
