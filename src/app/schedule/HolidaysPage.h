#pragma once
// The page "Праздники и коэффициент лимита": the holiday list, the transfer
// list and the schedule's limit coefficient, bound to the window's schedule
// tables. The lists show what the tables hold, whoever changed them (this
// page, a new schedule, a file load or a meter read).

#include <QWidget>

#include <functional>

class QComboBox;
class QDateEdit;
class QGroupBox;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace kelvar::schedule {
class ScheduleTables;
}

namespace kelvar::app {

class HolidaysPage : public QWidget
{
    Q_OBJECT
public:
    explicit HolidaysPage(schedule::ScheduleTables &tables, QWidget *parent = nullptr);

    // Today's date, for the rule that transfers are entered for today or later (tests replace it).
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }

    void ComboMChange();
    void BtnInsCelClick();
    void BtnDelCelClick();
    void BtnTempletClick();
    void DTPTransChange();
    void BtnInsTransClick();
    void BtnDelTransClick();

private:
    QGroupBox *GroupBox6;
    QComboBox *ComboM;
    QSpinBox *SpinD;
    QPushButton *BtnInsCel;
    QPushButton *BtnDelCel;
    QPushButton *BtnTemplet;
    QTreeWidget *ListCel;
    QGroupBox *GroupBox7;
    QDateEdit *DTPTrans;
    QComboBox *ComboTrans;
    QPushButton *BtnInsTrans;
    QPushButton *BtnDelTrans;
    QTreeWidget *ListTransfer;
    QGroupBox *GroupBox12;
    QSpinBox *SpinLimit; // the schedule's limit coefficient

    void listHolidays();
    void listTransfers();

    schedule::ScheduleTables &m_tables;
    std::function<QDate()> m_today;
};

} // namespace kelvar::app
