#pragma once
// The protocol tab ("Протокол"): the trace of the link and its failures in
// Memo_Terminal, switched off with CheckProtocol ("Выключить"). Lines are
// collected and appended in batches, so a burst of thousands of trace lines
// costs one layout pass per batch rather than one per line.
//
// Beside the view: CheckProtocolTime ("Время") puts the time with
// milliseconds in front of each new line, BtnClearProtocol ("Очистить")
// empties the view, BtnSaveProtocol ("Сохранить") writes it to a text file,
// and MemoStatistics shows the link statistics, refreshed once a second.

#include "app/tabs/TabMessages.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace kelvar::link {
class LinkStatistics;
}

namespace kelvar::app {

class ProtocolTab : public QObject
{
    Q_OBJECT
public:
    // The view keeps at most this many lines; the oldest go first. A day of
    // polling with the byte trace on would otherwise grow without bound.
    static constexpr int MaximumLines = 200000;
    static constexpr int FlushIntervalMs = 50;
    static constexpr int StatisticsIntervalMs = 1000;

    explicit ProtocolTab(QWidget *page);

    // The statistics to show (the engine's; they outlive the tab).
    void setStatistics(const link::LinkStatistics *statistics);
    // Where "Сохранить" writes (a save dialog unless replaced; empty: cancelled)
    // and how it reports a failure (a message box unless replaced).
    void setSaveFileChooser(std::function<QString()> chooser) { m_chooseSaveFile = std::move(chooser); }
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }

    // Shows whatever is still waiting to be appended (tests, before reading the view).
    void flush();
    void showStatistics();
    void BtnSaveProtocolClick();
    void BtnClearProtocolClick();

public slots:
    // AddToProtocol: one line, unless the protocol is switched off.
    void addLine(const QString &line);

private:
    QCheckBox *CheckProtocol;
    QCheckBox *CheckProtocolTime;
    QPushButton *BtnClearProtocol;
    QPushButton *BtnSaveProtocol;
    QPlainTextEdit *Memo_Terminal;
    QPlainTextEdit *MemoStatistics;
    QWidget *m_page;
    std::function<QString()> m_chooseSaveFile;
    MessageHandler m_message;
    const link::LinkStatistics *m_statistics = nullptr;
    QStringList m_pending;
    QTimer m_flushTimer;
    QTimer m_statisticsTimer;
};

} // namespace kelvar::app
