#pragma once
// The program's pictures, drawn in code so that no image files need to ship:
// the program icon, the tool bar icons and the picture of the About window.

#include <QIcon>
#include <QPixmap>

namespace kelvar::app {

enum class IconKind {
    Connect, Disconnect, FindAddress, WriteSettings, FixDb, Report,
    NewSchedule, LoadSchedule, SaveSchedule, WriteSchedule, ReadSchedule,
};

QIcon appIcon();
QIcon actionIcon(IconKind kind);
// The 165 x 93 picture beside the contacts in the About window.
QPixmap aboutPicture();

} // namespace kelvar::app
