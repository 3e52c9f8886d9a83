#pragma once
// A control below a part of the window, found by its object name as a user's
// automation finds it. The parts keep their controls private.

#include <QObject>
#include <QString>

namespace kelvar::test {

template <typename T>
T *control(const QObject &root, const QString &name)
{
    T *found = root.findChild<T *>(name);
    if (!found)
        qFatal("no %s named %s below %s", T::staticMetaObject.className(), qPrintable(name),
               qPrintable(root.objectName()));
    return found;
}

} // namespace kelvar::test
