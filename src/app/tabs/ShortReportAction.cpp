#include "ShortReportAction.h"

#include <QDesktopServices>
#include <QGuiApplication>

namespace kelvar::app {

ShortReportAction::ShortReportAction(QWidget *parent, std::function<meter::ShortReportInput()> input)
    : QObject(parent)
    , m_parent(parent)
    , m_input(std::move(input))
    , m_choose([this] { return SaveTxtDialog(); })
    , m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
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
