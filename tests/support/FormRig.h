#pragma once
// Helpers for the window's tests: a fresh settings store, a start directory
// of its own, a window whose message boxes are recorded instead of shown, and
// that window on a simulated meter (started by test::startMeter).

#include "app/AppSettings.h"
#include "app/TFormMain.h"
#include "support/Control.h"

#include <QAction>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace kelvar::test {

struct Message {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Empties the user's settings store (the tests point it at a folder of their own).
inline void clearStore(const std::function<void(QSettings &)> &fill = {})
{
    const std::unique_ptr<QSettings> store(app::AppSettings::openStore());
    store->clear();
    if (fill)
        fill(*store);
    store->sync();
}

// One of the window's parts (a tab class, a panel, an action owner) by its
// type, as the window composed it.
template <typename T>
T &part(const QObject &window)
{
    T *found = window.findChild<T *>();
    if (!found)
        qFatal("the window has no %s", T::staticMetaObject.className());
    return *found;
}

// One of the window's actions by its object name (ActionConnect, ActionSetting, ...).
inline QAction *action(const QObject &window, const char *name)
{
    return control<QAction>(window, QLatin1String(name));
}

struct FormRig {
    QTemporaryDir startDir;
    QList<Message> messages;
    QList<QUrl> opened;
    std::unique_ptr<app::TFormMain> form;

    app::TFormMain &open(app::StartOptions options = {})
    {
        options.startDir = startDir.path();
        if (!options.ports)
            options.ports = QStringList{};
        form = std::make_unique<app::TFormMain>(options);
        form->setMessageHandler([this](QMessageBox::Icon icon, const QString &title, const QString &text) {
            messages.append({icon, title, text});
        });
        form->setUrlOpener([this](const QUrl &url) {
            opened.append(url);
            return true;
        });
        return *form;
    }

    // The window on the meter of a started server: the stored link settings
    // are the meter's (protocol, address, parity, speed) with a 300 ms
    // time-out, then `settings` adds its own; the window opens on the meter's
    // device, is shown and connects. (A template, so that the window tests
    // without a meter need no simulator.)
    template <typename MeterServer>
    app::TFormMain &openOnMeter(const MeterServer &server, const std::function<void(QSettings &)> &settings = {},
                                app::StartOptions options = {})
    {
        const auto meter = server.state();
        clearStore([&](QSettings &store) {
            store.setValue("Mode", int(meter.protocol));
            store.setValue("Address", meter.address);
            store.setValue("Parity", meter.parity);
            store.setValue("BaudRate", meter.baudIndex);
            store.setValue("Timeout", 300);
            if (settings)
                settings(store);
        });
        options.portName = server.devicePath();
        options.connect = true;
        app::TFormMain &window = open(options);
        window.show();
        return window;
    }

    // Closes the window as the operator does (the settings are written back).
    void close()
    {
        form->close();
        form.reset();
    }

    template <typename T>
    T *find(const char *name) const
    {
        return form->findChild<T *>(QLatin1String(name));
    }
};

} // namespace kelvar::test

// main() of a window test: the user's and the machine-wide settings stores of
// the run live in a temporary folder of its own (set before anything reads them).
#define KELVAR_WINDOW_TEST_MAIN(TestClass)                                                                         \
    int main(int argc, char *argv[])                                                                               \
    {                                                                                                              \
        QTemporaryDir config;                                                                                      \
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());                                                   \
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, config.path());                        \
        QApplication app(argc, argv);                                                                              \
        TestClass test;                                                                                            \
        return QTest::qExec(&test, argc, argv);                                                                    \
    }
