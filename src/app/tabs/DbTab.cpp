#include "DbTab.h"

#include "meter/OperationLog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <limits>

namespace kelvar::app {

DbTab::DbTab(QWidget *page, const meter::OperationLog &log)
    : QObject(page)
    , m_log(log)
{
    SpinFilter = new QSpinBox(page);
    SpinFilter->setObjectName(QStringLiteral("SpinFilter"));
    SpinFilter->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    SpinFilter->setValue(0);
    SpinFilter->setMinimumWidth(100);
    auto *label = new QLabel(QStringLiteral("Номер:"), page);
    label->setBuddy(SpinFilter);
    MemoDb = new QPlainTextEdit(page);
    MemoDb->setObjectName(QStringLiteral("MemoDb"));
    MemoDb->setReadOnly(true);
    MemoDb->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoDb->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto *layout = new QGridLayout(page);
    layout->addWidget(label, 0, 0);
    layout->addWidget(SpinFilter, 0, 1);
    layout->setColumnStretch(2, 1);
    layout->addWidget(MemoDb, 1, 0, 1, 3);

    connect(SpinFilter, &QSpinBox::valueChanged, this, &DbTab::SpinFilterChange);
}

void DbTab::SpinFilterChange()
{
    MemoDb->clear();
    const QStringList entries = m_log.entriesFor(SpinFilter->value());
    if (!entries.isEmpty())
        MemoDb->setPlainText(entries.join(QLatin1Char('\n')));
}

} // namespace kelvar::app
