// The spectrogram of one file: the picture (time across, frequency up with
// kHz labels, a dB colour scale with its legend, the check's cutoff marked,
// the file name and stream facts in the title) and the dialog that computes
// it in the background and saves it as PNG.
#pragma once

#include "check/FileSpectrogram.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;

// The picture of spectrogram, width x height pixels in all; title names the file.
QImage SpectrogramPicture(const TFileSpectrogram& spectrogram, const QString& title, int width = 1000,
                          int height = 560);

class TSpectrogramDialog : public QDialog {
    Q_OBJECT
public:
    TSpectrogramDialog(const QString& path, QWidget* parent = nullptr);
    // Stops the computation and waits for its thread.
    ~TSpectrogramDialog() override;

    const QImage& picture() const { return picture_; }
    bool ready() const { return !picture_.isNull(); }
    QString errorText() const { return error_; }
    // Writes the picture to path as PNG; false with the reason in errorText() when it cannot.
    bool savePicture(const QString& path);

signals:
    void pictureReady();

private:
    void onComputed(std::shared_ptr<TFileSpectrogram> spectrogram);
    void onSaveClicked();

    QString path_;
    QImage picture_;
    QString error_;
    std::atomic<bool> cancel_{false};
    std::atomic<double> share_{0.0};
    std::thread thread_;
    QLabel* view = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* saveButton = nullptr;
};
