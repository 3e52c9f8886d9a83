#include "MultiPort.h"

#include "cli/Progress.h"
#include "db/ClockSetter.h"
#include "db/ProductionDb.h"
#include "db/ProductionSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#ifndef Q_OS_WIN
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kelvar::cli {

std::optional<QList<PortTarget>> parsePortsList(const QString &text, QString *error)
{
    QList<PortTarget> targets;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const auto fail = [&](const QString &what) {
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(what);
            return std::nullopt;
        };
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (words.size() > 2)
            return fail(QStringLiteral("\"%1\" is not PORT or PORT ADDRESS").arg(line));
        PortTarget target{words.at(0), std::nullopt};
        if (words.size() == 2) {
            bool ok = false;
            const int address = words.at(1).toInt(&ok);
            if (!ok || address < 0 || address > 255)
                return fail(QStringLiteral("\"%1\" is not an address from 0 to 255").arg(words.at(1)));
            target.address = address;
        }
        for (const PortTarget &t : std::as_const(targets)) {
            if (t.port == target.port)
                return fail(QStringLiteral("%1 is listed twice").arg(target.port));
        }
        targets << target;
    }
    if (targets.isEmpty()) {
        *error = QStringLiteral("no port listed");
        return std::nullopt;
    }
    return targets;
}

QString resultText(int code, const QString &error, bool linkOpen, const QList<meter::ComparisonRow> &comparison)
{
    if (code == ExitOk)
        return QStringLiteral("ok");
    if (code == ExitRefused && !comparison.isEmpty()) {
        QStringList differing;
        for (const meter::ComparisonRow &r : comparison) {
            if (r.state == meter::ComparisonRow::State::Differs)
                differing << QStringLiteral("%1 meter %2, template %3").arg(r.key, r.meter, r.expected);
        }
        return QStringLiteral("differs: ") + differing.join(QStringLiteral("; "));
    }
    if (code == ExitLink)
        return linkOpen ? QStringLiteral("no answer") : error;
    if (code == ExitRefused)
        return QStringLiteral("refused: ") + error;
    return error;
}

bool hasPlaceholder(const QString &pattern)
{
    return pattern.contains(QStringLiteral("{port}")) || pattern.contains(QStringLiteral("{serial}"));
}

QString expandPath(const QString &pattern, const QString &port, quint32 serial)
{
    QString name = port;
    if (name.startsWith(QStringLiteral("/dev/")))
        name = name.mid(5);
    name.replace(QRegularExpression(QStringLiteral("[/\\\\:]")), QStringLiteral("-"));
    QString path = pattern;
    path.replace(QStringLiteral("{port}"), name);
    path.replace(QStringLiteral("{serial}"), QString::number(serial));
    return path;
}

namespace {

QString seconds(qint64 ms)
{
    return QString::number(ms / 1000.0, 'f', 1) + QStringLiteral(" s");
}

int terminalWidth()
{
#ifndef Q_OS_WIN
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20)
        return size.ws_col;
#endif
    return 80;
}

// A line per port on standard error, redrawn in place at most ten times a second.
class PortBoard : public QObject
{
public:
    PortBoard(const QList<PortTarget> &targets, bool enabled)
        : m_enabled(enabled)
        , m_width(enabled ? terminalWidth() : 80)
    {
        for (const PortTarget &t : targets) {
            m_ports << t.port;
            m_texts << QStringLiteral("waiting");
            m_portWidth = qMax(m_portWidth, int(t.port.size()));
        }
        m_timer.setSingleShot(true);
        m_timer.setInterval(100);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { draw(); });
    }

    void set(int index, const QString &text)
    {
        m_texts[index] = text;
        if (m_enabled && !m_timer.isActive())
            m_timer.start();
    }

    void finish()
    {
        QCoreApplication::sendPostedEvents(this);
        if (m_enabled)
            draw();
    }

private:
    void draw()
    {
        QByteArray text;
        if (m_drawn)
            text += "\033[" + QByteArray::number(m_ports.size()) + 'A';
        for (int i = 0; i < m_ports.size(); ++i) {
            const QString line = m_ports.at(i).leftJustified(m_portWidth) + QStringLiteral("  ") + m_texts.at(i);
            // A wrapped line would throw the redraw off by a line.
            text += '\r' + line.left(m_width - 1).toLocal8Bit() + "\033[K\n";
        }
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        std::fflush(stderr);
        m_drawn = true;
    }

    bool m_enabled;
    int m_width;
    int m_portWidth = 0;
    bool m_drawn = false;
    QStringList m_ports;
    QStringList m_texts;
    QTimer m_timer;
};

// One port from start to end, on the calling thread.
void runPort(const MultiPortRun &run, int index, const MeterJob &job, PortBoard &board, MeterOutcome &outcome)
{
    const PortTarget &target = run.targets.at(index);
    LinkOptions link = run.link;
    link.port = target.port;
    if (target.address)
        link.address = *target.address;
    outcome.port = target.port;
    const auto show = [&board, index](const QString &text) {
        QMetaObject::invokeMethod(&board, [&board, index, text] { board.set(index, text); }, Qt::QueuedConnection);
    };
    QElapsedTimer clock;
    clock.start();
    Progress progress(show);
    Session session(link, progress);

    // Production mode: a database connection of this port's own, with the
    // identifiers found at start.
    std::unique_ptr<db::ProductionDb> database;
    std::unique_ptr<db::ProductionSession> production;
    db::SystemClockSetter systemClock;
    if (run.production) {
        database = std::make_unique<db::ProductionDb>(QStringLiteral("electrometer-port-%1").arg(index));
        production = std::make_unique<db::ProductionSession>(*database);
        production->ComputerId = run.production->computerId;
        production->PersonId = run.production->personId;
        production->PlantId = run.production->plantId;
        if (run.production->setClock)
            production->setClockSetter(&systemClock);
        QObject::connect(production.get(), &db::ProductionSession::message,
                         [&outcome](db::ProductionSession::Icon, const QString &, const QString &text) {
                             outcome.notes << text;
                         });
        QObject::connect(production.get(), &db::ProductionSession::protocolLine,
                         [&outcome](const QString &text) { outcome.notes << text; });
        session.setProduction(*production);
    }

    bool notRecorded = false;
    if (production) {
        QObject::connect(production.get(), &db::ProductionSession::message,
                         [&notRecorded] { notRecorded = true; });
    }

    show(QStringLiteral("connecting"));
    outcome.code = job(session, outcome);
    outcome.elapsedMs = clock.elapsed();
    outcome.address = session.engine().address();
    outcome.serial = session.info().state().MeterNumber;
    outcome.result = resultText(outcome.code, session.error(), session.engine().isConnected(), outcome.comparison);
    // A meter programmed but not on record is not done on a production line.
    if (notRecorded && outcome.code == ExitOk) {
        outcome.code = ExitRefused;
        outcome.result = QStringLiteral("ok, not recorded");
    }
    show(outcome.result + QStringLiteral("  ") + seconds(outcome.elapsedMs));
}

} // namespace

std::optional<ProductionSetup> identifyWorkstation(bool setClock, const std::function<void(const QString &)> &message)
{
    db::ProductionDb database(QStringLiteral("electrometer-start"));
    db::ProductionSession session(database);
    db::SystemClockSetter systemClock;
    if (setClock)
        session.setClockSetter(&systemClock);
    QObject::connect(&session, &db::ProductionSession::message,
                     [&message](db::ProductionSession::Icon, const QString &, const QString &text) { message(text); });
    if (session.FormActivate() == db::ProductionSession::Check::Stopped)
        return std::nullopt;
    return ProductionSetup{session.ComputerId, session.PersonId, session.PlantId, setClock};
}

QList<MeterOutcome> runOnPorts(const MultiPortRun &run, const MeterJob &job)
{
    const int count = int(run.targets.size());
    std::vector<MeterOutcome> outcomes(size_t(count), MeterOutcome{});
    PortBoard board(run.targets, run.showProgress);
    std::vector<std::unique_ptr<QThread>> threads;
    QEventLoop loop;
    int running = count;
    for (int i = 0; i < count; ++i) {
        MeterOutcome &outcome = outcomes[size_t(i)];
        threads.emplace_back(QThread::create([&run, i, &job, &board, &outcome] { runPort(run, i, job, board, outcome); }));
        QObject::connect(threads.back().get(), &QThread::finished, &loop, [&] {
            if (--running == 0)
                loop.quit();
        });
        threads.back()->start();
    }
    if (count > 0)
        loop.exec();
    for (const auto &thread : threads)
        thread->wait();
    board.finish();
    return QList<MeterOutcome>(outcomes.begin(), outcomes.end());
}

QString outcomeTable(const QList<MeterOutcome> &outcomes)
{
    QList<QStringList> rows{{QStringLiteral("port"), QStringLiteral("address"), QStringLiteral("serial"),
                             QStringLiteral("result"), QStringLiteral("time")}};
    for (const MeterOutcome &o : outcomes)
        rows << QStringList{o.port, QString::number(o.address), o.serial ? QString::number(o.serial) : QStringLiteral("-"),
                            o.result, seconds(o.elapsedMs)};
    QList<int> widths(rows.first().size(), 0);
    for (const QStringList &row : rows)
        for (int c = 0; c < row.size(); ++c)
            widths[c] = qMax(widths[c], int(row.at(c).size()));
    QString text;
    for (int r = 0; r < rows.size(); ++r) {
        QString line;
        for (int c = 0; c < rows.at(r).size(); ++c)
            line += c + 1 < rows.at(r).size() ? rows.at(r).at(c).leftJustified(widths[c] + 2) : rows.at(r).at(c);
        text += line + QLatin1Char('\n');
        if (r > 0) {
            for (const QString &note : outcomes.at(r - 1).notes)
                text += QStringLiteral("  ") + note + QLatin1Char('\n');
        }
    }
    return text;
}

QJsonArray outcomeJson(const QList<MeterOutcome> &outcomes)
{
    QJsonArray array;
    for (const MeterOutcome &o : outcomes) {
        QJsonObject json = o.values;
        json[QStringLiteral("port")] = o.port;
        json[QStringLiteral("address")] = o.address;
        json[QStringLiteral("serial")] = qint64(o.serial);
        json[QStringLiteral("result")] = o.result;
        json[QStringLiteral("code")] = o.code;
        json[QStringLiteral("seconds")] = o.elapsedMs / 1000.0;
        if (!o.comparison.isEmpty()) {
            QJsonObject rows;
            for (const meter::ComparisonRow &r : o.comparison) {
                static const char *const States[] = {"ok", "differs", "not compared"};
                rows[r.key] = QJsonObject{{QStringLiteral("state"), QLatin1String(States[int(r.state)])},
                                          {QStringLiteral("meter"), r.meter},
                                          {QStringLiteral("template"), r.expected}};
            }
            json[QStringLiteral("comparison")] = rows;
        }
        if (!o.notes.isEmpty())
            json[QStringLiteral("notes")] = QJsonArray::fromStringList(o.notes);
        array << json;
    }
    return array;
}

int combinedExit(const QList<MeterOutcome> &outcomes)
{
    int code = ExitOk;
    for (const MeterOutcome &o : outcomes)
        code = qMax(code, o.code);
    return code;
}

} // namespace kelvar::cli
