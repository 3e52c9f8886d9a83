#include "ProtocolTab.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace kelvar::app {

ProtocolTab::ProtocolTab(QWidget *page)
    : QObject(page)
{
    CheckProtocol = new QCheckBox(QStringLiteral("Выключить"), page);
    CheckProtocol->setObjectName(QStringLiteral("CheckProtocol"));
    Memo_Terminal = new QPlainTextEdit(page);
    Memo_Terminal->setObjectName(QStringLiteral("Memo_Terminal"));
    Memo_Terminal->setReadOnly(true);
    Memo_Terminal->setUndoRedoEnabled(false);
    Memo_Terminal->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo_Terminal->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo_Terminal->setMaximumBlockCount(MaximumLines);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    Memo_Terminal->setFont(mono);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(CheckProtocol);
    layout->addWidget(Memo_Terminal, 1);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ProtocolTab::flush);
}

void ProtocolTab::addLine(const QString &line)
{
    if (CheckProtocol->isChecked())
        return;
    m_pending.append(line);
    // Lines beyond what the view keeps would be dropped at once anyway.
    if (m_pending.size() > MaximumLines)
        m_pending.erase(m_pending.begin(), m_pending.begin() + (m_pending.size() - MaximumLines));
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void ProtocolTab::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    QScrollBar *bar = Memo_Terminal->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    Memo_Terminal->appendPlainText(m_pending.join(QLatin1Char('\n')));
    m_pending.clear();
    // Follow the newest line unless the operator scrolled back to read.
    if (atEnd)
        bar->setValue(bar->maximum());
}

} // namespace kelvar::app
