#include "TabMessages.h"

namespace kelvar::app {

void showTabMessage(const MessageHandler &handler, QWidget *parent, QMessageBox::Icon icon, const QString &title,
                    const QString &text)
{
    if (handler) {
        handler(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void showInvalidPassword(const MessageHandler &handler, QWidget *parent)
{
    showTabMessage(handler, parent, QMessageBox::Critical, QStringLiteral("Ошибка записи"),
                   QStringLiteral("Недопустимый пароль"));
}

} // namespace kelvar::app
