#pragma once
// The progress bar of long reads on standard error: requests done of the
// total, the rate and the time left, redrawn in place. It shows only when
// standard error is a terminal, so scripts and logs get nothing from it.

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <functional>

namespace kelvar::cli {

class Progress
{
public:
    // enabled: draw at all (normally: standard error is a terminal).
    explicit Progress(bool enabled, std::FILE *out = stderr);
    // Hands each redrawn text to sink instead (one line among several on screen).
    explicit Progress(std::function<void(const QString &)> sink);
    ~Progress();

    static bool stderrIsTerminal();

    // Starts a new bar with a label.
    void begin(const QString &label, int total);
    void update(int done);
    // Ends the bar's line (nothing when nothing was drawn).
    void finish();

    // The bar's text for done of total after elapsedMs (no line end).
    static QString line(const QString &label, int done, int total, qint64 elapsedMs, int width = 24);

private:
    bool m_enabled;
    std::FILE *m_out;
    std::function<void(const QString &)> m_sink;
    bool m_drawn = false;
    QString m_label;
    int m_total = 0;
    QElapsedTimer m_clock;
};

} // namespace kelvar::cli
