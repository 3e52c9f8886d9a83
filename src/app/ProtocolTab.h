#pragma once
// The protocol tab ("Протокол"): the trace of the link and its failures in
// Memo_Terminal, switched off with CheckProtocol ("Выключить"). Lines are
// collected and appended in batches, so a burst of thousands of trace lines
// costs one layout pass per batch rather than one per line.

#include <QObject>
#include <QStringList>
#include <QTimer>

class QCheckBox;
class QPlainTextEdit;
class QWidget;

namespace kelvar::app {

class ProtocolTab : public QObject
{
    Q_OBJECT
public:
    // The view keeps at most this many lines; the oldest go first. A day of
    // polling with the byte trace on would otherwise grow without bound.
    static constexpr int MaximumLines = 200000;
    static constexpr int FlushIntervalMs = 50;

    explicit ProtocolTab(QWidget *page);

    QCheckBox *CheckProtocol;
    QPlainTextEdit *Memo_Terminal;

    // Shows whatever is still waiting to be appended (tests, before reading the view).
    void flush();

public slots:
    // AddToProtocol: one line, unless the protocol is switched off.
    void addLine(const QString &line);

private:
    QStringList m_pending;
    QTimer m_flushTimer;
};

} // namespace kelvar::app
