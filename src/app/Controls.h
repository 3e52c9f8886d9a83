#pragma once
// Small factories for named controls: every control carries its name as its
// objectName, which is how the window's tests find it.

#include <QComboBox>
#include <QStringList>

namespace kelvar::app {

inline QComboBox *dropDown(const char *name, const QStringList &items, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->addItems(items);
    return combo;
}

} // namespace kelvar::app
