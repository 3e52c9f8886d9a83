#include "ScheduleActions.h"

#include "schedule/EditorImage.h"
#include "schedule/ScheduleExchange.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <utility>

namespace kelvar::app {

using schedule::ScheduleExchange;

const QString ScheduleActions::FileFilter = QStringLiteral("Файлы тарифного расписания (*.tsc)");

namespace {
const QString ErrorTitle = QStringLiteral("Ошибка");
const QString WriteErrorTitle = QStringLiteral("Ошибка записи");
} // namespace

ScheduleActions::ScheduleActions(ScheduleExchange &exchange, schedule::ScheduleModel &model,
                                 schedule::ScheduleTables &tables, const Actions &actions, QWidget *dialogParent)
    : QObject(dialogParent)
    , m_exchange(exchange)
    , m_model(model)
    , m_tables(tables)
    , m_parent(dialogParent)
{
    connect(actions.newSched, &QAction::triggered, this, &ScheduleActions::ActionNewSchedExecute);
    connect(actions.load, &QAction::triggered, this, &ScheduleActions::ActionLoadTariffExecute);
    connect(actions.save, &QAction::triggered, this, &ScheduleActions::ActionSaveTariffExecute);
    connect(actions.write, &QAction::triggered, this, &ScheduleActions::ActionWriteSchedExecute);
    connect(actions.read, &QAction::triggered, this, &ScheduleActions::ActionReadSchedExecute);

    connect(&exchange, &ScheduleExchange::progress, this, [this](int done, int total) {
        if (m_exchange.operation() == ScheduleExchange::Operation::Read)
            emit readProgress(done, total);
    });
    connect(&exchange, &ScheduleExchange::gaugeVisible, this, &ScheduleActions::readProgressVisible);
    connect(&exchange, &ScheduleExchange::finished, this, &ScheduleActions::exchangeFinished);
}

void ScheduleActions::message(int icon, const QString &title, const QString &text)
{
    showTabMessage(m_message, m_parent, QMessageBox::Icon(icon), title, text);
}

void ScheduleActions::status(const QString &text)
{
    if (m_status)
        m_status(text);
}

void ScheduleActions::showEditor()
{
    if (m_showEditor)
        m_showEditor();
}

QString ScheduleActions::chooseFile(bool save)
{
    if (m_choose)
        return m_choose(save);
    if (!save)
        return QFileDialog::getOpenFileName(m_parent, QString(), QString(), FileFilter);
    QString path = QFileDialog::getSaveFileName(m_parent, QString(), QString(), FileFilter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".tsc");
    return path;
}

void ScheduleActions::ActionNewSchedExecute()
{
    showEditor();
    schedule::newSchedule(m_model, m_tables);
}

void ScheduleActions::ActionLoadTariffExecute()
{
    const QString path = chooseFile(false);
    if (path.isEmpty())
        return;
    showEditor();
    loadFile(path);
}

void ScheduleActions::ActionSaveTariffExecute()
{
    // The image is taken first: saving commits pending edits, as writing does.
    const schedule::ScheduleImage image = schedule::takeImage(m_model, m_tables);
    const QString path = chooseFile(true);
    if (path.isEmpty())
        return;
    QString error;
    if (!schedule::writeTscFile(path, image, &error))
        message(QMessageBox::Critical, ErrorTitle, error);
}

bool ScheduleActions::loadFile(const QString &path)
{
    QString reason;
    std::optional<schedule::ScheduleImage> image = schedule::readTscFile(path, &reason);
    if (image && schedule::applyImage(*image, m_model, m_tables, &reason))
        return true;
    message(QMessageBox::Critical, ErrorTitle,
            QStringLiteral("Файл %1 не загружен. %2").arg(QDir::toNativeSeparators(path), reason));
    return false;
}

bool ScheduleActions::saveFile(const QString &path)
{
    QString error;
    if (schedule::writeTscFile(path, schedule::takeImage(m_model, m_tables), &error))
        return true;
    message(QMessageBox::Critical, ErrorTitle, error);
    return false;
}

void ScheduleActions::ActionWriteSchedExecute()
{
    const schedule::ScheduleImage image = schedule::takeImage(m_model, m_tables);
    switch (m_exchange.startWrite(image, m_password ? m_password() : QString())) {
    case ScheduleExchange::Start::Started:
        status(QString());
        if (const int leftOut = m_exchange.leftOutRecords())
            message(QMessageBox::Information, QStringLiteral("Запись тарифного расписания"),
                    QStringLiteral("Записей, которые не относятся ни к одному дню (пустая маска дней или месяцев): "
                                   "%1. Они не записываются в счетчик; в файле они сохраняются.")
                        .arg(leftOut));
        return;
    case ScheduleExchange::Start::InvalidPassword:
        showInvalidPassword(m_message, m_parent);
        return;
    default:
        message(QMessageBox::Critical, WriteErrorTitle, m_exchange.refusalText());
        return;
    }
}

void ScheduleActions::ActionReadSchedExecute()
{
    showEditor();
    if (m_exchange.startRead() != ScheduleExchange::Start::Started) {
        message(QMessageBox::Warning, ErrorTitle, m_exchange.refusalText());
        return;
    }
    m_reading = true;
    status(QString());
    emit readProgress(0, schedule::ReadProgressTotal);
}

void ScheduleActions::exchangeFinished(bool ok, const QString &error)
{
    // A failed write is reported by the engine's write failure box; a read
    // started elsewhere (the programming record) leaves the editor alone.
    if (m_exchange.lastOperation() != ScheduleExchange::Operation::Read || !std::exchange(m_reading, false))
        return;
    if (!ok) {
        status(error + QStringLiteral(" Показано прежнее расписание."));
        return;
    }
    QString reason;
    if (!schedule::applyImage(m_exchange.result(), m_model, m_tables, &reason)) {
        status(QStringLiteral("Расписание счетчика не принято: %1 Показано прежнее расписание.").arg(reason));
        return;
    }
    status(QStringLiteral("Тарифное расписание прочитано из счетчика."));
}

} // namespace kelvar::app
