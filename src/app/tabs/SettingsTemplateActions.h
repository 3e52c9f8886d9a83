#pragma once
// The settings tab's templates. "Сохранить шаблон…" keeps the ticked
// settings in a template file; "Загрузить шаблон…" ticks exactly the settings
// of a template and fills their controls; "Сравнить со счетчиком" reads the
// meter afresh and shows, per ticked setting, the meter's value, the value on
// the tab and whether they match. It reads and fills the tab through its
// values, never through its controls. The template format, its checks and the
// comparison are the core's (meter/SettingsTemplate.h, meter/MeterRead.h),
// shared with the command-line program; this class only binds them.

#include "app/tabs/TabServices.h"
#include "meter/MeterRead.h"

#include <QObject>

#include <functional>

class QDialog;
class QPushButton;
class QTableWidget;
class QWidget;

namespace kelvar::app {

class SettingsTab;

class SettingsTemplateActions : public QObject
{
    Q_OBJECT
public:
    // Builds the three buttons in a panel of their own (PanelTemplate) that
    // the tab lays out.
    SettingsTemplateActions(SettingsTab &tab, QWidget *page, const TabServices &services);

    QWidget *panel() const { return PanelTemplate; }

    // The file dialogs (tests replace them): the chosen path, empty when cancelled.
    using FileChooser = std::function<QString(bool save)>;
    void setFileChooser(FileChooser chooser) { m_choose = std::move(chooser); }

    void BtnSaveTemplateClick();
    void BtnLoadTemplateClick();
    void BtnCompareTemplateClick();

    // The comparison window (made at the first comparison) and its grid.
    QDialog *comparisonDialog() const { return m_dialog; }
    QTableWidget *comparisonGrid() const { return m_grid; }

signals:
    // The comparison window shows a fresh comparison.
    void comparisonShown();

private:
    // The tab as a template: its ticks and values; the clock is fixed when a
    // picker no longer follows the workstation clock.
    meter::SettingsTemplate currentTemplate() const;
    void showComparison();
    QString choose(bool save);
    void message(QMessageBox::Icon icon, const QString &text);

    QWidget *PanelTemplate;
    QPushButton *BtnSaveTemplate;
    QPushButton *BtnLoadTemplate;
    QPushButton *BtnCompareTemplate;
    SettingsTab &m_tab;   // read and filled through its values, never its controls
    QWidget *m_page;
    link::ExchangeEngine &m_engine;
    meter::MeterInfo &m_info;
    MessageHandler m_message;
    meter::PollCycleWatch m_watch;
    FileChooser m_choose;
    meter::SettingsTemplate m_compared;
    QDialog *m_dialog = nullptr;
    QTableWidget *m_grid = nullptr;
};

} // namespace kelvar::app
