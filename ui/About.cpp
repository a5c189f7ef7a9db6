#include "ui/About.h"

#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace {

constexpr int kWidth = 612;
constexpr int kHeight = 356;
const QColor kStripe(246, 246, 246);

} // namespace

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(false);

    auto* picture = new QLabel(this);
    picture->setPixmap(QIcon(QStringLiteral(":/icons/sondaro.svg")).pixmap(96, 96));
    picture->setAlignment(Qt::AlignCenter);
    picture->setGeometry(24, 24, 128, 96);
    auto* pictureCaption = new QLabel(QStringLiteral("Listen with your eyes"), this);
    pictureCaption->setAlignment(Qt::AlignHCenter);
    pictureCaption->setGeometry(16, 124, 144, 18);

    auto* product = new QLabel(QStringLiteral("Sondaro %1").arg(QStringLiteral(SONDARO_VERSION)), this);
    QFont productFont = product->font();
    productFont.setPixelSize(20);
    productFont.setBold(true);
    product->setFont(productFont);
    product->setGeometry(180, 24, 400, 28);
    auto* author = new QLabel(QStringLiteral("Written by the Sondaro developers"), this);
    author->setGeometry(180, 56, 400, 18);

    auto* text = new QLabel(
        QStringLiteral("Sondaro tells you what each audio file in a folder is and how it was made: type, size, "
                       "playing time, sample rate, channels, bits per sample, compression ratio, average "
                       "bitrate and the encoder with its settings. It reads headers, tags and encoder marks "
                       "only; no audio is decoded.\n\nHold the left Ctrl key while clicking a folder to flip "
                       "recursive scanning for that one scan; Esc stops a scan. Ctrl+F filters the list, Ctrl+C "
                       "copies the selected rows, and Export saves the list as an HTML report, CSV or JSON."),
        this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    text->setGeometry(180, 90, 404, 200);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setGeometry(kWidth - 104, kHeight - 44, 80, 26);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    // Every second pixel row grey, starting with the top one.
    p.setPen(kStripe);
    for (int y = 0; y < height(); y += 2) p.drawLine(0, y, width() - 1, y);
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, width() - 1, height() - 1);
}

// Without a caption bar the box is moved by dragging it anywhere.
void TfrmAbout::mousePressEvent(QMouseEvent* event) {
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TfrmAbout::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
}
