#pragma once
// The information tab ("О счетчике"): the two tables of the meter
// information (ListMain, ListAddi), the display mask (CheckListIndi) and, in
// production mode, the average clock deviation (EditDelta). It shows what the
// meter information holds and follows its changes.

#include "meter/MeterInfo.h"
#include "meter/ShortReport.h"

#include <QObject>

class QAction;
class QLineEdit;
class QListWidget;
class QTableWidget;
class QWidget;

namespace kelvar::app {

class InfoTab : public QObject
{
    Q_OBJECT
public:
    // Builds the controls into page. reset is the action that forgets the meter.
    InfoTab(QWidget *page, meter::MeterInfo &info, QAction *reset);

    void setProductionMode(bool on); // EditDelta is shown only in production mode
    // The short report of what the tab shows, made at now (built from the
    // meter information, as the command-line program builds it).
    meter::ShortReportInput reportInput(const QDateTime &now) const;

private:
    QTableWidget *ListMain;
    QTableWidget *ListAddi;
    QListWidget *CheckListIndi;
    QLineEdit *EditDelta;
    void showMask(quint8 mask);
    const meter::MeterInfo &m_info;
    QWidget *m_deltaBox;
};

} // namespace kelvar::app
