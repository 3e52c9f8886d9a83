#include "ProtocolTab.h"

#include "link/LinkStatistics.h"
#include "link/TrafficLog.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTime>
#include <QVBoxLayout>

namespace kelvar::app {

ProtocolTab::ProtocolTab(QWidget *page)
    : QObject(page)
    , m_page(page)
{
    CheckProtocol = new QCheckBox(QStringLiteral("Выключить"), page);
    CheckProtocol->setObjectName(QStringLiteral("CheckProtocol"));
    CheckProtocolTime = new QCheckBox(QStringLiteral("Время"), page);
    CheckProtocolTime->setObjectName(QStringLiteral("CheckProtocolTime"));
    CheckProtocolTime->setToolTip(QStringLiteral("Время с миллисекундами перед каждой новой строкой"));
    BtnClearProtocol = new QPushButton(QStringLiteral("Очистить"), page);
    BtnClearProtocol->setObjectName(QStringLiteral("BtnClearProtocol"));
    BtnSaveProtocol = new QPushButton(QStringLiteral("Сохранить"), page);
    BtnSaveProtocol->setObjectName(QStringLiteral("BtnSaveProtocol"));
    MemoStatistics = new QPlainTextEdit(page);
    MemoStatistics->setObjectName(QStringLiteral("MemoStatistics"));
    MemoStatistics->setAccessibleName(QStringLiteral("Статистика связи"));
    MemoStatistics->setReadOnly(true);
    MemoStatistics->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoStatistics->setMinimumWidth(360);
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
    Memo_Terminal->setAccessibleName(QStringLiteral("Протокол"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(CheckProtocol);
    buttons->addWidget(CheckProtocolTime);
    buttons->addStretch(1);
    buttons->addWidget(BtnClearProtocol);
    buttons->addWidget(BtnSaveProtocol);
    auto *views = new QHBoxLayout;
    views->addWidget(Memo_Terminal, 3);
    views->addWidget(MemoStatistics, 1);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addLayout(views, 1);

    m_chooseSaveFile = [this] {
        return chooseTextFileToSave(m_page, QStringLiteral("SaveProtocolDialog"), QStringLiteral("Сохранить протокол"));
    };
    connect(BtnSaveProtocol, &QPushButton::clicked, this, &ProtocolTab::BtnSaveProtocolClick);
    connect(BtnClearProtocol, &QPushButton::clicked, this, &ProtocolTab::BtnClearProtocolClick);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ProtocolTab::flush);
    m_statisticsTimer.setInterval(StatisticsIntervalMs);
    connect(&m_statisticsTimer, &QTimer::timeout, this, &ProtocolTab::showStatistics);
}

void ProtocolTab::setStatistics(const link::LinkStatistics *statistics)
{
    m_statistics = statistics;
    showStatistics();
    if (m_statistics)
        m_statisticsTimer.start();
    else
        m_statisticsTimer.stop();
}

void ProtocolTab::showStatistics()
{
    const QString text = m_statistics ? m_statistics->report().join(QLatin1Char('\n')) : QString();
    // Unchanged figures leave the view (and a selection in it) alone.
    if (MemoStatistics->toPlainText() != text)
        MemoStatistics->setPlainText(text);
}

void ProtocolTab::BtnSaveProtocolClick()
{
    const QString path = m_chooseSaveFile ? m_chooseSaveFile() : QString();
    if (path.isEmpty())
        return;
    flush();
    QString error;
    if (!link::saveTrafficLog(path, Memo_Terminal->toPlainText(), &error))
        showTabMessage(m_message, m_page, QMessageBox::Critical, QStringLiteral("Ошибка"),
                       QStringLiteral("Не удалось сохранить протокол в файл %1: %2").arg(path, error));
}

void ProtocolTab::BtnClearProtocolClick()
{
    m_pending.clear();
    m_flushTimer.stop();
    Memo_Terminal->clear();
}

void ProtocolTab::addLine(const QString &line)
{
    if (CheckProtocol->isChecked())
        return;
    m_pending.append(CheckProtocolTime->isChecked() ? link::timestamped(QTime::currentTime(), line) : line);
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
