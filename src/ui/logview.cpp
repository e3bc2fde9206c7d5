#include "logview.h"

#include "log/log.h"

#include <QFontDatabase>
#include <QScrollBar>

LogView::LogView(const Log &log, QWidget *parent) : QPlainTextEdit(parent), m_log(log)
{
    setObjectName(QStringLiteral("RamLog"));
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The log bounds itself (checkpoints, its ceiling and its hard bound) and says when it
    // dropped lines, so the view needs no limit of its own and never holds more than the log.
    rebuild();
    connect(&log, &Log::linesAdded, this, &LogView::append);
    connect(&log, &Log::viewReset, this, &LogView::rebuild);
}

void LogView::append(const QStringList &lines)
{
    // Follows the newest line only while the operator has not scrolled back to read. The
    // cursor rides along at the end; appending must not scroll sideways to it.
    QScrollBar *down = verticalScrollBar();
    QScrollBar *across = horizontalScrollBar();
    const bool follow = down->value() == down->maximum();
    const int x = across->value();
    appendPlainText(lines.join(QLatin1Char('\n')));
    if (follow)
        down->setValue(down->maximum());
    across->setValue(x);
}

void LogView::rebuild()
{
    setPlainText(m_log.lines().join(QLatin1Char('\n')));
    moveCursor(QTextCursor::End);
    horizontalScrollBar()->setValue(0);
}

void LogView::showEvent(QShowEvent *event)
{
    // Showing brings the cursor into view: the newest line, from its start.
    QPlainTextEdit::showEvent(event);
    horizontalScrollBar()->setValue(0);
}
