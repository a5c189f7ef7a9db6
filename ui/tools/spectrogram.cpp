// sondaro-spectrogram: writes the desktop program's spectrogram picture of a
// file as PNG, without a window (the README's pictures are made with it).
// Usage: sondaro-spectrogram OUT.png FILE
#include "ui/SpectrogramView.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: sondaro-spectrogram OUT.png FILE\n");
        return 2;
    }
    // No display is needed: fonts and painting work offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString file = QString::fromLocal8Bit(argv[2]);
    const TFileSpectrogram spectrogram = MakeFileSpectrogram(file.toStdString());
    if (!spectrogram.Error.empty()) {
        std::fprintf(stderr, "sondaro-spectrogram: %s: %s\n", argv[2], spectrogram.Error.c_str());
        return 1;
    }
    if (!SpectrogramPicture(spectrogram, QDir::toNativeSeparators(file)).save(out, "PNG")) {
        std::fprintf(stderr, "sondaro-spectrogram: Cannot create file \"%s\".\n", argv[1]);
        return 1;
    }
    return 0;
}
