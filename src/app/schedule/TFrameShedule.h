#pragma once
// The schedule editor (page "Расписание"): the year grid, the day bar with its
// time slider, the zone inputs, the zone list of the current cell, commit and
// revert, and the tariff colours. It binds the controls to the schedule model;
// every change of the records is the model's work.

#include "schedule/TariffColors.h"

#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QAction;
class QColorDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QRadioButton;
class QSlider;
class QSpinBox;
class QStatusBar;
class QTimeEdit;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kelvar::schedule {
class ScheduleModel;
struct Zone;
}

namespace kelvar::app {

class DayBar;
class YearGrid;

class TFrameShedule : public QWidget
{
    Q_OBJECT
public:
    // Asks a Yes/No question; true for Yes.
    using QuestionHandler = std::function<bool(const QString &title, const QString &text)>;
    // Offers a colour starting from the given one; none when the operator cancels.
    using ColorChooser = std::function<std::optional<QColor>(const QColor &initial)>;

    explicit TFrameShedule(schedule::ScheduleModel &model, QWidget *parent = nullptr);

    void setQuestionHandler(QuestionHandler handler) { m_question = std::move(handler); }
    void setColorChooser(ColorChooser chooser) { m_chooseColor = std::move(chooser); }

    // The start colours: cream, sky blue and orange.
    static QColor defaultTariffColor(int tariff);
    QColor tariffColor(int tariff) const; // gray for a tariff without a button

    // Handlers, by the control and event they serve.
    void StringGrid1Click(int month, int dayType, bool shift, bool ctrl);
    void GetSheduleDay();
    void DayChange();
    void DayChoice();
    void ActionEditExecute();
    void ActionDeleteExecute();
    void BitBtnRedoClick();
    void BitBtnUndoClick();
    void chooseTariffColor(int tariff);

private:
    YearGrid *StringGrid1;
    QLabel *Label_0_00;
    QLabel *Label_12_00;
    QLabel *Label_23_59;
    QSlider *TrackBar1;
    DayBar *PaintBoxDay;
    QTimeEdit *DateTimeZone;
    QRadioButton *Tariff1;
    QRadioButton *Tariff2;
    QRadioButton *Tariff3;
    QSpinBox *SpinLimit;
    QRadioButton *TariffLimit1;
    QRadioButton *TariffLimit2;
    QRadioButton *TariffLimit3;
    QToolButton *BitBtnRedo;
    QToolButton *BitBtnUndo;
    QToolButton *BitBtnEdit;
    QToolButton *BitBtnDelete;
    QAction *ActionEdit;
    QAction *ActionDelete;
    QTreeWidget *ListViewDays;
    QMenu *PopupMenuRecords;
    QStatusBar *StatusBar1;
    QLabel *StatusPanel0; // number of records in WorkList
    QColorDialog *ColorDialogTarif;

    using TariffButtons = std::array<QRadioButton *, 3>;
    // A group of a leading input and the three buttons "1", "2", "3" named prefix1..prefix3.
    QGroupBox *tariffGroup(const char *name, const QString &caption, const char *buttonPrefix,
                           const QString &accessible, QWidget *first, TariffButtons &buttons);
    static int checkedNumber(const TariffButtons &buttons);
    void buildControls();
    void connectControls();
    void scheduleReplaced();
    void showRecordCount();
    void repaintGrid();

    // The entry: checked tariff (1 when none), checked exceed tariff, limit.
    int enteredTariff() const;
    int enteredExceedTariff() const;
    bool entryValid() const;
    QString enteredTime() const;
    QTreeWidgetItem *lineAt(const QString &time) const;
    QTreeWidgetItem *selectedLine() const;
    void setLine(QTreeWidgetItem *line, const schedule::Zone &zone);
    schedule::Zone lineZone(const QTreeWidgetItem *line) const;

    void ListViewDaysSelectItem();
    void TrackBar1Change(int position);
    void DateTimeZoneChange();
    void TariffClick(int tariff);
    void SpinLimitChange();
    void checkEntry();
    void applyTariffColors();

    schedule::ScheduleModel &m_model;
    QuestionHandler m_question;
    ColorChooser m_chooseColor;
    QColor m_colors[3];
    TariffButtons m_tariffButtons{};
    TariffButtons m_limitButtons{};
    bool m_syncing = false; // inputs being set from a line: their handlers stand still
};

} // namespace kelvar::app
