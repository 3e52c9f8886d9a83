#include "MainActions.h"

#include "app/Icons.h"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>

#include <optional>

namespace kelvar::app {

namespace {

struct Row {
    QAction *MainActions::*member;
    const char *name;
    QString caption;
    QString hint;
    bool enabled;
    std::optional<IconKind> icon;
    Qt::Key shortcut = Qt::Key_unknown;
};

} // namespace

MainActions MainActions::create(QObject *owner)
{
    // Reset and the programming record have no tool button: the information
    // tab shows Reset, the menu the record.
    const Row rows[] = {
        {&MainActions::ActionConnect, "ActionConnect", QStringLiteral("&Установить"), QStringLiteral("Установить связь"),
         true, IconKind::Connect},
        {&MainActions::ActionDisconnect, "ActionDisconnect", QStringLiteral("&Разорвать"),
         QStringLiteral("Разорвать связь"), false, IconKind::Disconnect},
        {&MainActions::ActionFindAddress, "ActionFindAddress", QStringLiteral("Поиск &адреса"),
         QStringLiteral("Поиск адреса"), false, IconKind::FindAddress, Qt::Key_F3},
        {&MainActions::ActionSetting, "ActionSetting", QStringLiteral("&Записать"), QStringLiteral("Записать установки"),
         false, IconKind::WriteSettings, Qt::Key_F12},
        {&MainActions::ActionReset, "ActionReset", QStringLiteral("&Сброс"), QStringLiteral("Сброс"), true,
         std::nullopt},
        {&MainActions::ActionFixDb, "ActionFixDb", QStringLiteral("Зафиксировать в Б&Д"),
         QStringLiteral("Зафиксировать в БД"), false, IconKind::FixDb},
        {&MainActions::ActionTxt, "ActionTxt", QStringLiteral("Краткий отчет"), QStringLiteral("Краткий отчет"), false,
         IconKind::Report},
        {&MainActions::ActionRecord, "ActionRecord", QStringLiteral("&Протокол программирования..."),
         QStringLiteral("Прочитать счетчик и его расписание и показать протокол программирования"), false,
         std::nullopt},
        {&MainActions::ActionNewSched, "ActionNewSched", QStringLiteral("&Новое"),
         QStringLiteral("Новое тарифное расписание"), true, IconKind::NewSchedule},
        {&MainActions::ActionLoadTariff, "ActionLoadTariff", QStringLiteral("&Загрузить из файла"),
         QStringLiteral("Загрузить тарифное расписание из файла"), true, IconKind::LoadSchedule},
        {&MainActions::ActionSaveTariff, "ActionSaveTariff", QStringLiteral("&Сохранить как файл"),
         QStringLiteral("Сохранить тарифное расписание как файл"), true, IconKind::SaveSchedule},
        {&MainActions::ActionWriteSched, "ActionWriteSched", QStringLiteral("З&аписать в счетчик"),
         QStringLiteral("Записать расписание в счетчик"), false, IconKind::WriteSchedule},
        {&MainActions::ActionReadSched, "ActionReadSched", QStringLiteral("&Прочитать из счетчика"),
         QStringLiteral("Прочитать расписание из счетчика"), false, IconKind::ReadSchedule},
    };
    MainActions actions;
    for (const Row &row : rows) {
        auto *action = new QAction(row.caption, owner);
        action->setObjectName(QLatin1String(row.name));
        action->setToolTip(row.hint);
        action->setStatusTip(row.hint);
        action->setEnabled(row.enabled);
        if (row.shortcut != Qt::Key_unknown)
            action->setShortcut(QKeySequence(row.shortcut));
        if (row.icon)
            action->setIcon(actionIcon(*row.icon));
        actions.*row.member = action;
    }
    return actions;
}

QToolBar *MainActions::addToolBar(QMainWindow *window) const
{
    QToolBar *bar = window->addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    const auto add = [bar](QAction *action, const char *buttonName) {
        bar->addAction(action);
        bar->widgetForAction(action)->setObjectName(QLatin1String(buttonName));
    };
    add(ActionConnect, "ToolConnect");
    add(ActionDisconnect, "ToolDisconnect");
    add(ActionFindAddress, "ToolFindAddress");
    bar->addSeparator();
    add(ActionSetting, "ToolSetting");
    add(ActionFixDb, "ToolFixDb");
    add(ActionTxt, "ToolTxt");
    bar->addSeparator();
    add(ActionNewSched, "ToolButton12");
    add(ActionLoadTariff, "ToolButton14");
    add(ActionSaveTariff, "ToolButton15");
    add(ActionWriteSched, "ToolButton18");
    add(ActionReadSched, "ToolButton19");
    return bar;
}

void MainActions::addSettingsMenu(QMenuBar *bar) const
{
    QMenu *menu = bar->addMenu(QStringLiteral("&Установки"));
    menu->setObjectName(QStringLiteral("NSettings"));
    menu->addAction(ActionSetting);
    menu->addAction(ActionFixDb); // the menu entry NFixDb
    menu->addSeparator();
    menu->addAction(ActionTxt);
    menu->addAction(ActionRecord);
}

QMenu *MainActions::addScheduleMenu(QMenuBar *bar) const
{
    QMenu *menu = bar->addMenu(QStringLiteral("&Расписание"));
    menu->setObjectName(QStringLiteral("NSched"));
    menu->addActions({ActionNewSched, ActionLoadTariff, ActionSaveTariff});
    menu->addSeparator();
    menu->addActions({ActionWriteSched, ActionReadSched});
    return menu;
}

} // namespace kelvar::app
