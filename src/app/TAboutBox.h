#pragma once
// The About window: program name and version, how to reach us, and the
// workstation's physical memory. Modal; closed with its OK button.

#include "platform/Platform.h"

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

namespace kelvar::app {

class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    static const QString WebAddress;
    static const QString MailAddress;
    static const QSize DesignedSize; // the smallest size; larger when the texts need it

    explicit TAboutBox(QWidget *parent = nullptr);

    // "Всего физической памяти: 16 318 480 KB" and "Доступно физической
    // памяти: ..." from a memory status: kilobytes with the locale's digit
    // grouping; an amount that rounds to no kilobyte reads "0 KB".
    static QString totalMemoryLine(quint64 bytes);
    static QString availableMemoryLine(quint64 bytes);

    // The memory status shown (replaceable in tests).
    void setMemorySource(std::function<platform::MemoryStatus()> source) { m_memory = std::move(source); }
    // Where the links go (replaceable in tests; the desktop's handler otherwise).
    void setUrlOpener(std::function<bool(const QUrl &)> opener) { m_open = std::move(opener); }

    void FormActivate();  // fills the memory lines
    void Label3Click();   // opens the web page
    void Label6Click();   // starts a mail to the support address

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_label1;
    QLabel *m_label2;
    QLabel *m_label3;
    QLabel *m_label6;
    std::function<platform::MemoryStatus()> m_memory;
    std::function<bool(const QUrl &)> m_open;
};

} // namespace kelvar::app
