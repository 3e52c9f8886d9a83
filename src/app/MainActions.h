#pragma once
// The window's actions, as in the actions table: caption, hint, shortcut,
// icon and whether each starts enabled, and the tool bar and menus that show
// only them. The window connects them to what they do.

#include <QList>

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QObject;
class QToolBar;

namespace kelvar::app {

struct MainActions {
    // Creates the actions, owned by owner.
    static MainActions create(QObject *owner);

    // The five schedule actions, in menu order.
    QList<QAction *> schedule() const
    {
        return {ActionNewSched, ActionLoadTariff, ActionSaveTariff, ActionWriteSched, ActionReadSched};
    }
    // The actions that read or write the meter, enabled and disabled together
    // (EnableControls).
    QList<QAction *> readWrite() const
    {
        return {ActionSetting, ActionWriteSched, ActionReadSched, ActionTxt, ActionRecord};
    }
    // Adds the tool bar ToolBar1 to the window with the actions in groups and
    // the tool buttons named (ToolConnect, ..., ToolButton12 .. ToolButton19).
    QToolBar *addToolBar(QMainWindow *window) const;
    // The menus "&Установки" (NSettings) and "&Расписание" (NSched).
    void addSettingsMenu(QMenuBar *bar) const;
    QMenu *addScheduleMenu(QMenuBar *bar) const;

    QAction *ActionConnect = nullptr;
    QAction *ActionDisconnect = nullptr;
    QAction *ActionFindAddress = nullptr;
    QAction *ActionSetting = nullptr;
    QAction *ActionReset = nullptr;
    QAction *ActionFixDb = nullptr;
    QAction *ActionTxt = nullptr;
    QAction *ActionRecord = nullptr; // the programming record
    QAction *ActionNewSched = nullptr;
    QAction *ActionLoadTariff = nullptr;
    QAction *ActionSaveTariff = nullptr;
    QAction *ActionWriteSched = nullptr;
    QAction *ActionReadSched = nullptr;
};

} // namespace kelvar::app
