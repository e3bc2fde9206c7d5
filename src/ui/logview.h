#pragma once

#include <QPlainTextEdit>

class Log;

// The log view `RamLog`: read-only, unwrapped, fed line by line from the log and rebuilt when
// the log empties itself. It follows the newest line while scrolled to the bottom and always
// shows lines from their start.
class LogView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit LogView(const Log &log, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void append(const QStringList &lines);
    void rebuild();

    const Log &m_log;
};
