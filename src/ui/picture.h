#pragma once

#include <QIcon>
#include <QWidget>

// The panel on the right of the window: a taxi-roof sign and the product name.
class SidePicture : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Width = 323;
    explicit SidePicture(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The window's and the tray's icon: the same roof sign, small.
QIcon applicationIcon();
