#include "ui/SpectrogramView.h"

#include "check/Verdict.h"
#include "ui/Desktop.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// The colour scale spans this many dB under the loudest level of the file.
constexpr double kScaleDb = 100.0;

// A tick step that gives about five to ten labels over range.
double TickStep(double range) {
    for (double step : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0, 60.0, 120.0, 300.0, 600.0})
        if (range / step <= 10) return step;
    return 1200.0;
}

QString StreamFacts(const TFileSpectrogram& s) {
    const QLocale locale;
    QString facts = QString::fromStdString(s.Stream.CodecName) + QStringLiteral(", ") +
                    locale.toString(s.Stream.SampleRate) + QStringLiteral(" Hz, ") +
                    (s.Stream.Channels == 1 ? QStringLiteral("mono") : QStringLiteral("%1 channels").arg(s.Stream.Channels));
    if (s.Stream.BitsPerSample > 0) facts += QStringLiteral(", %1 bits").arg(s.Stream.BitsPerSample);
    else facts += QStringLiteral(", floating point");
    return facts + QStringLiteral(", %1 s").arg(s.Seconds, 0, 'f', 1);
}

}  // namespace

QImage SpectrogramPicture(const TFileSpectrogram& s, const QString& title, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int line = metrics.height();

    // Title: the file, the stream, the verdict.
    painter.setPen(Qt::black);
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRect(10, 4, width - 20, line), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(title, Qt::ElideMiddle, width - 20));
    painter.setFont(font);
    painter.drawText(QRect(10, 4 + line, width - 20, line), Qt::AlignLeft | Qt::AlignVCenter,
                     StreamFacts(s) + QStringLiteral("  —  ") + QString::fromStdString(s.Check.Text));

    const int left = 56, right = 96, top = 12 + 2 * line, bottom = 14 + 2 * line;
    const QRect plot(left, top, std::max(1, width - left - right), std::max(1, height - top - bottom));

    // The levels: the loudest, rounded up to 10 dB, down kScaleDb.
    float loudest = -200;
    for (float level : s.LevelsDb) loudest = std::max(loudest, level);
    const double maxDb = std::ceil(loudest / 10.0) * 10.0;
    const double minDb = maxDb - kScaleDb;
    const std::vector<uint32_t> pixels = SpectrogramPixels(s, plot.width(), plot.height(), minDb, maxDb);
    if (!pixels.empty()) {
        const QImage plotImage(reinterpret_cast<const uchar*>(pixels.data()), plot.width(), plot.height(),
                               plot.width() * 4, QImage::Format_RGB32);
        painter.drawImage(plot.topLeft(), plotImage);
    }
    painter.setPen(Qt::black);
    painter.drawRect(plot.adjusted(-1, -1, 0, 0));

    // Frequency axis, in kHz.
    const double nyquistKhz = s.NyquistHz() / 1000.0;
    if (nyquistKhz > 0) {
        const double step = TickStep(nyquistKhz);
        for (double khz = 0; khz <= nyquistKhz + 1e-9; khz += step) {
            const int y = plot.bottom() - static_cast<int>(std::lround(khz / nyquistKhz * (plot.height() - 1)));
            painter.drawLine(plot.left() - 5, y, plot.left() - 1, y);
            painter.drawText(QRect(0, y - line / 2, plot.left() - 8, line), Qt::AlignRight | Qt::AlignVCenter,
                             QString::number(khz, 'g', 4));
        }
        painter.save();
        painter.translate(12, plot.center().y());
        painter.rotate(-90);
        painter.drawText(QRect(-60, -line / 2, 120, line), Qt::AlignCenter, QStringLiteral("kHz"));
        painter.restore();
    }
    // Time axis, in seconds.
    if (s.Seconds > 0) {
        const double step = TickStep(s.Seconds);
        for (double t = 0; t <= s.Seconds + 1e-9; t += step) {
            const int x = plot.left() + static_cast<int>(std::lround(t / s.Seconds * (plot.width() - 1)));
            painter.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 5);
            painter.drawText(QRect(x - 40, plot.bottom() + 6, 80, line), Qt::AlignCenter, QString::number(t, 'g', 5));
        }
        painter.drawText(QRect(plot.left(), plot.bottom() + 6 + line, plot.width(), line), Qt::AlignCenter,
                         QStringLiteral("seconds"));
    }
    // The cutoff the check found.
    if (s.Check.Cutoff.Found && nyquistKhz > 0) {
        const int y = plot.bottom() -
                      static_cast<int>(std::lround(s.Check.Cutoff.CutoffHz / s.NyquistHz() * (plot.height() - 1)));
        QPen pen(QColor(0, 230, 255), 1, Qt::DashLine);
        painter.setPen(pen);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.drawText(QRect(plot.left() + 6, y - line - 1, plot.width() - 12, line), Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("cutoff %1").arg(QString::fromStdString(KiloHertzText(s.Check.Cutoff.CutoffHz))));
        painter.setPen(Qt::black);
    }
    // The legend: the colour scale with its dB.
    const QRect legend(plot.right() + 24, plot.top(), 14, plot.height());
    for (int y = 0; y < legend.height(); ++y) {
        const uint32_t colour = SpectrogramColour(1.0 - static_cast<double>(y) / std::max(1, legend.height() - 1));
        painter.setPen(QColor::fromRgb(colour));
        painter.drawLine(legend.left(), legend.top() + y, legend.right(), legend.top() + y);
    }
    painter.setPen(Qt::black);
    painter.drawRect(legend.adjusted(-1, -1, 0, 0));
    for (double db = maxDb; db >= minDb - 1e-9; db -= 20) {
        const int y = legend.top() + static_cast<int>(std::lround((maxDb - db) / kScaleDb * (legend.height() - 1)));
        painter.drawLine(legend.right() + 1, y, legend.right() + 4, y);
        painter.drawText(QRect(legend.right() + 6, y - line / 2, 60, line), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::number(db, 'f', 0));
    }
    painter.drawText(QRect(legend.left() - 10, legend.bottom() + 6, 60, line), Qt::AlignLeft, QStringLiteral("dB"));
    return image;
}

TSpectrogramDialog::TSpectrogramDialog(const QString& path, QWidget* parent) : QDialog(parent), path_(path) {
    setWindowTitle(QStringLiteral("Spectrogram — %1").arg(QFileInfo(path).fileName()));
    setObjectName(QStringLiteral("spectrogramDialog"));
    auto* layout = new QVBoxLayout(this);
    view = new QLabel(this);
    view->setObjectName(QStringLiteral("spectrogramView"));
    view->setMinimumSize(1000, 560);
    view->setAlignment(Qt::AlignCenter);
    view->setText(QStringLiteral("Decoding %1 …").arg(QDir::toNativeSeparators(path)));
    layout->addWidget(view);
    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    layout->addWidget(progress);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    saveButton = buttons->addButton(QStringLiteral("Save as PNG…"), QDialogButtonBox::ActionRole);
    saveButton->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(saveButton, &QPushButton::clicked, this, &TSpectrogramDialog::onSaveClicked);

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer] {
        progress->setValue(static_cast<int>(share_.load() * 100));
        if (ready() || !error_.isEmpty()) timer->stop();
    });
    timer->start(100);

    const std::string file = path.toStdString();
    thread_ = std::thread([this, file] {
        TCheckControl control;
        control.Cancel = &cancel_;
        control.Progress = [this](double share) { share_ = share; };
        auto spectrogram = std::make_shared<TFileSpectrogram>(MakeFileSpectrogram(file, control));
        QMetaObject::invokeMethod(this, [this, spectrogram] { onComputed(spectrogram); }, Qt::QueuedConnection);
    });
}

TSpectrogramDialog::~TSpectrogramDialog() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

void TSpectrogramDialog::onComputed(std::shared_ptr<TFileSpectrogram> spectrogram) {
    progress->hide();
    if (!spectrogram->Error.empty()) {
        error_ = QString::fromStdString(spectrogram->Error);
        view->setText(error_);
        return;
    }
    picture_ = SpectrogramPicture(*spectrogram, QDir::toNativeSeparators(path_));
    view->setPixmap(QPixmap::fromImage(picture_));
    saveButton->setEnabled(true);
    emit pictureReady();
}

bool TSpectrogramDialog::savePicture(const QString& path) {
    if (picture_.isNull()) return false;
    if (!picture_.save(path, "PNG")) {
        error_ = QStringLiteral("Cannot create file \"%1\".").arg(path);
        return false;
    }
    return true;
}

void TSpectrogramDialog::onSaveClicked() {
    const QFileInfo source(path_);
    const QString proposed = source.dir().filePath(source.completeBaseName() + QStringLiteral(" spectrogram.png"));
    const QString target = Desktop().AskSavePath(this, proposed, {QStringLiteral("PNG picture (*.png)")}, nullptr);
    if (target.isEmpty()) return;
    if (!savePicture(target)) Desktop().ShowError(this, error_);
}
