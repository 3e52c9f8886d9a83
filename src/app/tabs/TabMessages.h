#pragma once
// How the tab classes show a message box: through the window's handler when
// one is given (tests replace it), else as a modal box of their own.

#include <QMessageBox>
#include <QString>

#include <functional>

namespace kelvar::app {

using MessageHandler = std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)>;

// Shows the message through handler, or in a box over parent when there is none.
void showTabMessage(const MessageHandler &handler, QWidget *parent, QMessageBox::Icon icon, const QString &title,
                    const QString &text);

// The box for an access password that is not usable ("Недопустимый пароль").
void showInvalidPassword(const MessageHandler &handler, QWidget *parent);

// A save dialog for a text file ("Текстовые файлы (*.txt)", suffix .txt)
// named objectName; the chosen path, or empty when cancelled.
QString chooseTextFileToSave(QWidget *parent, const QString &objectName, const QString &title = {});

} // namespace kelvar::app
