// TfrmAbout: the About box — a borderless white window with a thin black
// frame and every second pixel row grey, a picture with its caption, the
// product name and version, the author line, a block of text and a button
// that closes it.
#pragma once

#include <QDialog>

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint dragOffset_;
};
