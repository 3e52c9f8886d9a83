#pragma once
// ActionTxt: saves the short report of what the information tab shows and
// opens it with the workstation's program for text files.

#include "app/tabs/TabMessages.h"
#include "meter/ShortReport.h"

#include <QObject>
#include <QUrl>

#include <functional>

class QWidget;

namespace kelvar::app {

class ShortReportAction : public QObject
{
    Q_OBJECT
public:
    // input gives what the window shows when the report is made.
    ShortReportAction(QWidget *parent, std::function<meter::ShortReportInput()> input);

    // Asks for the file (SaveTxtDialog); tests replace it. Empty: cancelled.
    void setFileChooser(std::function<QString()> chooser) { m_choose = std::move(chooser); }
    void setUrlOpener(std::function<bool(const QUrl &)> opener) { m_open = std::move(opener); }
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }

    void ActionTxtExecute();

private:
    QString SaveTxtDialog();

    QWidget *m_parent;
    std::function<meter::ShortReportInput()> m_input;
    std::function<QString()> m_choose;
    std::function<bool(const QUrl &)> m_open;
    MessageHandler m_message;
};

} // namespace kelvar::app
