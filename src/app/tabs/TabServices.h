#pragma once
// What the main window shares with its tabs. A tab class receives its own
// page, this struct and the actions it serves; never the main window and
// never another tab's controls.
//
// Adding a tab:
//  1. Write the tab class in src/app/tabs/ with a constructor
//     (QWidget *page, const TabServices &services, <its actions>). It builds
//     its controls into page under their object names, keeps references to
//     the services it uses (not to the struct, which is a temporary), and
//     runs its meter commands through a widget-free owner in a core library
//     (registered on services.dispatcher). Its read and write buttons follow
//     the engine's EnableControls signal; a write batch is started with
//     ExchangeEngine::beginWriteBatch (refused while another write is pending).
//  2. In TFormMain::composeTabs() create it on its page and connect the
//     actions it serves (kept in TFormMain's MainActions).
//  3. Keep its controls private: other classes exchange values with it and
//     follow its signals. Tests find its controls by object name and the
//     class itself by type (test::part), never through the window.

#include "app/tabs/TabMessages.h"

#include <QString>

#include <functional>

namespace kelvar::link { class ExchangeEngine; }
namespace kelvar::meter {
class MeterInfo;
class OperationLog;
class ResponseDispatcher;
struct MeterState;
}

namespace kelvar::app {

struct TabServices {
    link::ExchangeEngine &engine;
    meter::ResponseDispatcher &dispatcher;   // owners of meter commands register here
    meter::MeterState &state;                // the meter at hand
    meter::MeterInfo &info;                  // what the meter reported about itself
    meter::OperationLog &log;                // the bench operation log
    std::function<QString()> accessPassword; // the access password as typed on the connection panel
    MessageHandler message;                  // every message box of the window goes through here
    bool production = false;                 // start modes, decided before the tabs are built
    bool master = false;
};

} // namespace kelvar::app
