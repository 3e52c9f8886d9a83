#pragma once
// The database tab of the bench ("База данных"): the operation-log entries of
// one meter number, picked with SpinFilter and shown in MemoDb.

#include <QObject>

class QPlainTextEdit;
class QSpinBox;
class QWidget;

namespace kelvar::meter { class OperationLog; }

namespace kelvar::app {

class DbTab : public QObject
{
    Q_OBJECT
public:
    DbTab(QWidget *page, const meter::OperationLog &log);

    // Refills MemoDb with the entries of the number in SpinFilter.
    void SpinFilterChange();

private:
    QSpinBox *SpinFilter;
    QPlainTextEdit *MemoDb;
    const meter::OperationLog &m_log;
};

} // namespace kelvar::app
