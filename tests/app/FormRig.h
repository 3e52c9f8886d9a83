#pragma once
// Helpers for the window's tests: a fresh settings store, a start directory
// of its own, and a window whose message boxes are recorded instead of shown.

#include "app/AppSettings.h"
#include "app/TFormMain.h"

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
