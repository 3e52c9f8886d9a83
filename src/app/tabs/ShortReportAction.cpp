#include "ShortReportAction.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QListWidget>
#include <QTableWidget>

namespace kelvar::app {

namespace {
void readTable(const QTableWidget *table, QStringList &captions, QStringList &values)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *caption = table->item(row, 0);
        const QTableWidgetItem *value = table->item(row, 1);
        captions << (caption ? caption->text() : QString());
        values << (value ? value->text() : QString());
    }
}
} // namespace

ShortReportAction::ShortReportAction(QWidget *parent, std::function<meter::ShortReportInput()> input)
    : QObject(parent)
    , m_parent(parent)
    , m_input(std::move(input))
    , m_choose([this] { return SaveTxtDialog(); })
    , m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

meter::ShortReportInput ShortReportAction::fromTables(const QTableWidget *main, const QTableWidget *addi,
                                                      const QListWidget *indicator, const QDateTime &now)
{
    meter::ShortReportInput in;
    in.systemTime = now;
    readTable(main, in.mainCaptions, in.mainValues);
    readTable(addi, in.addiCaptions, in.addiValues);
    for (int i = 0; i < indicator->count(); ++i) {
        if (indicator->item(i)->checkState() == Qt::Checked)
            in.displayItems << indicator->item(i)->text();
    }
    return in;
}

QString ShortReportAction::SaveTxtDialog()
{
    return chooseTextFileToSave(m_parent, QStringLiteral("SaveTxtDialog"));
}

void ShortReportAction::ActionTxtExecute()
{
    const QString path = m_choose();
    if (path.isEmpty())
        return;
    QString error;
    if (!meter::saveShortReport(path, m_input(), &error)) {
        showTabMessage(m_message, m_parent, QMessageBox::Critical, QGuiApplication::applicationDisplayName(), error);
        return;
    }
    m_open(QUrl::fromLocalFile(path)); // a file that cannot be shown is no error
}

} // namespace kelvar::app
