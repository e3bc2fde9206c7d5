#pragma once

#include <QWidget>

// An indicator lamp: a small coloured circle, green when on and red when off.
class Lamp : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool on READ isOn WRITE setOn NOTIFY toggled)
public:
    explicit Lamp(QWidget *parent = nullptr);

    bool isOn() const { return m_on; }
    void setOn(bool on);

    QSize sizeHint() const override { return { 16, 16 }; }

signals:
    void toggled(bool on);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_on = false;
};
