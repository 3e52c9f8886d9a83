#include "Options.h"

#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace kelvar::sim {

namespace {

struct Switch {
    const char *name;
    const char *value; // empty for a flag
    const char *help;
};

const Switch Switches[] = {
    {"state", "FILE", "keep the meter's state in this JSON file (loaded at start, saved on every write and at exit)"},
    {"meter", "ADDRESS[:FILE]", "a meter at ADDRESS, its state kept in FILE; repeat it for several meters on the line"},
    {"password", "N", "access password 0..65535 (default 1)"},
    {"address", "N", "meter address 0..255 (default 0)"},
    {"protocol", "rs485|modbus", "protocol type (default rs485)"},
    {"baud", "RATE", "baud rate 4800, 9600, 19200 or 38400 (matters for --wire-baud meter)"},
    {"parity", "none|even|odd", "MODBUS parity (default none)"},
    {"number", "N", "serial number 0..131071 (0: not numbered yet, the default)"},
    {"load", "KW", "load in kW the readings grow with (default 1.2)"},
    {"seed", "N", "seed of the generated history (used when the state has none yet)"},
    {"access-timeout", "S", "write access lapses after S seconds without a write (default 10; 0: never)"},
    {"link", "PATH", "also make PATH a symbolic link to the meter's device"},
    {"drop-after", "N", "drop the device after every N replies and serve a new one at --link (also on SIGUSR1)"},
    {"verbose", "", "print every request and reply in hex with a time stamp (stderr)"},
    {"scanner", "", "also serve a barcode scanner on a second pseudo-terminal (its path is line 2)"},
    {"scanner-link", "PATH", "symbolic link to the scanner's device"},
    {"scan", "CODE", "a code the scanner sends (repeatable; one a second from 1 s after start)"},
    {"scan-crlf", "", "end scanned codes with CR LF instead of CR"},
    {"scan-pieces", "N", "send each scanned code in N pieces"},
    {"help", "", "show this text"},
    {"version", "", "print the version"},
};

// Whole-number options: name, range, where the value goes.
struct NumberOption {
    const char *name;
    qint64 min;
    qint64 max;
    std::optional<int> SimOptions::*field;
};
const NumberOption NumberOptions[] = {
    {"password", 0, 65535, &SimOptions::password},
    {"address", 0, 255, &SimOptions::address},
    {"number", 0, 131071, &SimOptions::number},
    {"access-timeout", 0, 1000000, &SimOptions::accessTimeoutSec},
    {"drop-after", 0, 1 << 30, &SimOptions::dropAfter},
};

const Switch *findSwitch(const QString &name)
{
    for (const Switch &s : Switches)
        if (name == QLatin1String(s.name))
            return &s;
    return nullptr;
}

const FaultOption *findFault(const QString &name)
{
    for (const FaultOption &f : faultOptions())
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

bool number(const QString &text, qint64 min, qint64 max, qint64 *value)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

} // namespace

bool parseOptions(const QStringList &arguments, SimOptions *options, QString *error)
{
    SimOptions o;
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        if (!arg.startsWith(QLatin1String("--")))
            return fail(QStringLiteral("unexpected argument \"%1\"").arg(arg));
        arg = arg.mid(2);
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = arg.indexOf('='); eq >= 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasValue = true;
        }
        // A fault switch may name the meter it is for: --silent@17.
        int faultMeter = -1;
        if (const qsizetype at = arg.indexOf('@'); at >= 0) {
            qint64 address = 0;
            if (!number(arg.mid(at + 1), 0, 255, &address))
                return fail(QStringLiteral("--%1: \"%2\" is not a meter address").arg(arg, arg.mid(at + 1)));
            faultMeter = static_cast<int>(address);
            arg = arg.left(at);
        }
        const Switch *sw = findSwitch(arg);
        const FaultOption *fault = sw ? nullptr : findFault(arg);
        if (!sw && !fault)
            return fail(QStringLiteral("unknown option --%1").arg(arg));
        if (sw && faultMeter >= 0)
            return fail(QStringLiteral("--%1 cannot name a meter: only fault switches can").arg(arg));
        const bool wantsValue = *(sw ? sw->value : fault->value) != '\0';
        if (wantsValue && !hasValue) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("--%1 needs a value").arg(arg));
            value = arguments[++i];
        } else if (!wantsValue && hasValue) {
            return fail(QStringLiteral("--%1 takes no value").arg(arg));
        }
        if (fault) {
            QString why;
            Faults checked;
            if (!applyFaultOption(faultMeter >= 0 ? checked : o.faults, arg, value, &why))
                return fail(why);
            if (faultMeter >= 0)
                o.meterFaults.append({faultMeter, arg, value});
            continue;
        }
        const QString bad = QStringLiteral("--%1: \"%2\" is not a valid value").arg(arg, value);
        qint64 n = 0;
        const auto numeric = std::find_if(std::begin(NumberOptions), std::end(NumberOptions),
                                          [&](const NumberOption &opt) { return arg == QLatin1String(opt.name); });
        if (numeric != std::end(NumberOptions)) {
            if (!number(value, numeric->min, numeric->max, &n))
                return fail(bad);
            o.*(numeric->field) = static_cast<int>(n);
        } else if (arg == "state") {
            o.stateFile = value;
        } else if (arg == "meter") {
            const qsizetype colon = value.indexOf(':');
            if (!number(value.left(colon), 0, 255, &n) || (colon >= 0 && colon == value.size() - 1))
                return fail(bad);
            for (const SimOptions::BusMeter &m : std::as_const(o.meters))
                if (m.address == n)
                    return fail(QStringLiteral("--meter: two meters at address %1").arg(n));
            o.meters.append({static_cast<int>(n), colon >= 0 ? value.mid(colon + 1) : QString()});
        } else if (arg == "protocol") {
            if (value == "rs485")
                o.protocol = link::Protocol::Rs485;
            else if (value == "modbus")
                o.protocol = link::Protocol::Modbus;
            else
                return fail(bad);
        } else if (arg == "baud") {
            int index = -1;
            for (int b = 0; b < 4; ++b)
                if (value == QString::number(baudRate(b)))
                    index = b;
            if (index < 0)
                return fail(bad);
            o.baudIndex = index;
        } else if (arg == "parity") {
            const int p = QStringList{"none", "even", "odd"}.indexOf(value);
            if (p < 0)
                return fail(bad);
            o.parity = p;
        } else if (arg == "load") {
            bool ok = false;
            const double kw = value.toDouble(&ok);
            if (!ok || kw < 0 || kw > 100000)
                return fail(bad);
            o.loadKw = kw;
        } else if (arg == "seed") {
            if (!number(value, 0, 0xFFFFFFFFLL, &n))
                return fail(bad);
            o.seed = static_cast<quint32>(n);
        } else if (arg == "link") {
            o.linkPath = value;
        } else if (arg == "verbose") {
            o.verbose = true;
        } else if (arg == "scanner") {
            o.scanner = true;
        } else if (arg == "scanner-link") {
            o.scannerLinkPath = value;
        } else if (arg == "scan") {
            o.scanCodes << value;
        } else if (arg == "scan-crlf") {
            o.scanCrLf = true;
        } else if (arg == "scan-pieces") {
            if (!number(value, 1, 1000, &n))
                return fail(bad);
            o.scanPieces = static_cast<int>(n);
        } else if (arg == "help") {
            o.help = true;
        } else if (arg == "version") {
            o.version = true;
        }
    }
    if ((!o.scanCodes.isEmpty() || !o.scannerLinkPath.isEmpty()) && !o.scanner)
        return fail(QStringLiteral("--scan and --scanner-link need --scanner"));
    if (!o.meters.isEmpty() && (o.address || !o.stateFile.isEmpty()))
        return fail(QStringLiteral("--address and --state are for one meter; with --meter give ADDRESS[:FILE]"));
    if (o.meters.size() > 1 && o.number)
        return fail(QStringLiteral("--number is for one meter; the meters of a line keep theirs in their state files"));
    *options = o;
    return true;
}

void applyOptions(const SimOptions &o, MeterState &state)
{
    if (o.password)
        state.password = static_cast<quint16>(*o.password);
    if (o.address)
        state.address = static_cast<quint8>(*o.address);
    if (o.protocol)
        state.protocol = *o.protocol;
    if (o.baudIndex)
        state.baudIndex = *o.baudIndex;
    if (o.parity)
        state.parity = *o.parity;
    if (o.number)
        state.serialNumber = static_cast<quint32>(*o.number);
    if (o.loadKw)
        state.loadKw = *o.loadKw;
    if (o.accessTimeoutSec)
        state.accessTimeoutSec = *o.accessTimeoutSec;
    if (o.seed && state.birth == 0) // a history already made keeps its seed
        state.seed = *o.seed;
}

bool startingMeters(const SimOptions &o, QList<StartingMeter> *meters, QString *error)
{
    QList<SimOptions::BusMeter> wanted = o.meters;
    const bool bus = !wanted.isEmpty();
    if (!bus)
        wanted.append({-1, o.stateFile});
    QList<StartingMeter> out;
    for (const SimOptions::BusMeter &m : std::as_const(wanted)) {
        StartingMeter meter;
        meter.stateFile = m.stateFile;
        const bool known = !m.stateFile.isEmpty() && QFileInfo::exists(m.stateFile);
        QString why;
        if (known && !MeterState::load(m.stateFile, &meter.state, &why)) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(m.stateFile, why);
            return false;
        }
        applyOptions(o, meter.state);
        if (bus) {
            meter.state.address = static_cast<quint8>(m.address);
            if (!known && !o.number)
                meter.state.serialNumber = 100000u + static_cast<quint32>(m.address);
            if (!known)
                meter.state.seed = o.seed.value_or(meter.state.seed) + static_cast<quint32>(m.address);
        }
        meter.faults = o.faults;
        out.append(meter);
    }
    for (const SimOptions::MeterFault &f : o.meterFaults) {
        const auto it = std::find_if(out.begin(), out.end(),
                                     [&](const StartingMeter &m) { return m.state.address == f.address; });
        if (it == out.end()) {
            if (error)
                *error = QStringLiteral("--%1@%2: no meter at address %2").arg(f.name).arg(f.address);
            return false;
        }
        applyFaultOption(it->faults, f.name, f.value);
    }
    *meters = out;
    return true;
}

QString usageText()
{
    QString text = QStringLiteral(
        "Usage: kelvar517-meter-sim [options]\n"
        "A simulated Kelvar 517 meter on a pseudo-terminal. The first line printed is the\n"
        "device to open as the meter's serial port.\n\nOptions:\n");
    auto line = [&](const char *name, const char *value, const char *help) {
        QString head = QStringLiteral("  --%1%2").arg(QLatin1String(name),
                                                       *value ? QStringLiteral(" ") + QLatin1String(value) : QString());
        text += head.leftJustified(26) + QLatin1String(help) + QLatin1Char('\n');
    };
    for (const Switch &s : Switches)
        line(s.name, s.value, s.help);
    text += QStringLiteral("\nFaults (persistent unless --fault-shots is given; NAME@ADDRESS, e.g.\n"
                           "--corrupt-crc@17, applies a fault to the meter at that address only):\n");
    for (const FaultOption &f : faultOptions())
        line(f.name, f.value, f.help);
    return text;
}

} // namespace kelvar::sim
