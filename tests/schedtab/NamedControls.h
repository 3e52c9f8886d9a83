#pragma once
// Every control a user can reach has a name for screen readers.

#include <QAccessible>
#include <QLabel>
#include <QWidget>
#include <QtTest>

namespace kelvar::test {

// Checks the visible widgets below root that take focus (labels aside).
inline void verifyEveryControlNamed(const QWidget *root)
{
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!w->isVisible() || qobject_cast<QLabel *>(w) || w->objectName().startsWith(QLatin1String("qt_"))
            || w->focusPolicy() == Qt::NoFocus)
            continue;
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(a && !a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
    }
}

} // namespace kelvar::test
