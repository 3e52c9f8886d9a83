#include "TabMessages.h"

#include <QFileDialog>

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

QString chooseTextFileToSave(QWidget *parent, const QString &objectName, const QString &title)
{
    QFileDialog dialog(parent, title);
    dialog.setObjectName(objectName);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Текстовые файлы (*.txt)"));
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void showInvalidPassword(const MessageHandler &handler, QWidget *parent)
{
    showTabMessage(handler, parent, QMessageBox::Critical, QStringLiteral("Ошибка записи"),
                   QStringLiteral("Недопустимый пароль"));
}

} // namespace kelvar::app
