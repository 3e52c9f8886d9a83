#pragma once
// The schedule editor's controls, found by object name below the editor as a
// user's automation finds them.

#include "support/Control.h"
#include "app/schedule/YearGrid.h"

#include <QAction>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>

namespace kelvar::test {

struct EditorControls {
    explicit EditorControls(const QObject &root) : editor(root) {}

    const QObject &editor;
    app::YearGrid *StringGrid1 = control<app::YearGrid>(editor, "StringGrid1");
    QSlider *TrackBar1 = control<QSlider>(editor, "TrackBar1");
    app::DayBar *PaintBoxDay = control<app::DayBar>(editor, "PaintBoxDay");
    QTimeEdit *DateTimeZone = control<QTimeEdit>(editor, "DateTimeZone");
    QRadioButton *Tariff1 = control<QRadioButton>(editor, "Tariff1");
    QRadioButton *Tariff2 = control<QRadioButton>(editor, "Tariff2");
    QRadioButton *Tariff3 = control<QRadioButton>(editor, "Tariff3");
    QSpinBox *SpinLimit = control<QSpinBox>(editor, "SpinLimit");
    QRadioButton *TariffLimit1 = control<QRadioButton>(editor, "TariffLimit1");
    QRadioButton *TariffLimit2 = control<QRadioButton>(editor, "TariffLimit2");
    QRadioButton *TariffLimit3 = control<QRadioButton>(editor, "TariffLimit3");
    QToolButton *BitBtnRedo = control<QToolButton>(editor, "BitBtnRedo");
    QToolButton *BitBtnUndo = control<QToolButton>(editor, "BitBtnUndo");
    QAction *ActionEdit = control<QAction>(editor, "ActionEdit");
    QAction *ActionDelete = control<QAction>(editor, "ActionDelete");
    QTreeWidget *ListViewDays = control<QTreeWidget>(editor, "ListViewDays");
    QLabel *StatusPanel0 = control<QLabel>(editor, "StatusBar1Panel0"); // the number of records
};

} // namespace kelvar::test
