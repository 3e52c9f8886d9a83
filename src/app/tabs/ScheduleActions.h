#pragma once
// The five schedule actions of the main window: a new schedule, load from and
// save to a schedule file, write to and read from the meter. They work on the
// window's one schedule model and one holiday/transfer holder (which the
// schedule tab shows) and drive the schedule exchange owner; they receive
// only these, the actions, a message handler and a status line, and report a
// read's progress by signals (the schedule tab shows it).

#include "app/tabs/TabMessages.h"

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QWidget;

namespace kelvar::schedule {
class ScheduleExchange;
class ScheduleModel;
class ScheduleTables;
}

namespace kelvar::app {

class ScheduleActions : public QObject
{
    Q_OBJECT
public:
    struct Actions {
        QAction *newSched;   // ActionNewSched
        QAction *load;       // ActionLoadTariff
        QAction *save;       // ActionSaveTariff
        QAction *write;      // ActionWriteSched
        QAction *read;       // ActionReadSched
    };
    // The file dialog: the chosen path, or empty when the operator cancels.
    using FileChooser = std::function<QString(bool save)>;

    static const QString FileFilter; // "Файлы тарифного расписания (*.tsc)"

    ScheduleActions(schedule::ScheduleExchange &exchange, schedule::ScheduleModel &model,
                    schedule::ScheduleTables &tables, const Actions &actions, QWidget *dialogParent);

    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }
    void setStatusSink(std::function<void(const QString &)> sink) { m_status = std::move(sink); }
    void setAccessPasswordSource(std::function<QString()> source) { m_password = std::move(source); }
    // Brings the schedule tab and its editor page forward.
    void setShowEditor(std::function<void()> show) { m_showEditor = std::move(show); }
    void setFileChooser(FileChooser chooser) { m_choose = std::move(chooser); }

    void ActionNewSchedExecute();
    void ActionLoadTariffExecute();
    void ActionSaveTariffExecute();
    void ActionWriteSchedExecute();
    void ActionReadSchedExecute();

    // The file operations behind the two file actions; false, with a message
    // naming the file, when it cannot be read or written. A file that cannot
    // be loaded changes nothing.
    bool loadFile(const QString &path);
    bool saveFile(const QString &path);

signals:
    // A schedule read has done requests of total; shown while replies arrive.
    void readProgress(int done, int total);
    void readProgressVisible(bool visible);

private:
    void message(int icon, const QString &title, const QString &text);
    void status(const QString &text);
    void showEditor();
    void exchangeFinished(bool ok, const QString &error);
    QString chooseFile(bool save);

    schedule::ScheduleExchange &m_exchange;
    schedule::ScheduleModel &m_model;
    schedule::ScheduleTables &m_tables;
    QWidget *m_parent;
    MessageHandler m_message;
    std::function<void(const QString &)> m_status;
    std::function<QString()> m_password;
    std::function<void()> m_showEditor;
    FileChooser m_choose;
    bool m_reading = false; // the read running was started by ActionReadSched
};

} // namespace kelvar::app
