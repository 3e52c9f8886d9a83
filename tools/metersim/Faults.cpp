#include "Faults.h"

namespace kelvar::sim {

bool Faults::any() const
{
    return *this != Faults{};
}

qint64 wireTimeUs(qsizetype bytes, int baud)
{
    if (baud <= 0)
        return 0;
    return static_cast<qint64>(bytes) * BitsPerCharacter * 1000000LL / baud;
}

const QList<FaultOption> &faultOptions()
{
    static const QList<FaultOption> options = {
        {"silent", "", "answer nothing at all (no address echo either)"},
        {"silent-reply", "N", "leave the Nth reply unsent (counted from start)"},
        {"silent-function", "F", "never answer requests with function code F"},
        {"error", "F:E", "answer error code E to function F (F = any: to every request)"},
        {"corrupt-crc", "", "send replies with a wrong CRC"},
        {"reply-function", "F", "answer with function code F instead of the request's"},
        {"delay", "MS", "send each reply MS milliseconds late"},
        {"split", "N[:MS]", "split each reply into N pieces, MS milliseconds apart (default 20)"},
        {"garbage", "HEX", "send these bytes in front of each reply"},
        {"wire-baud", "BAUD", "emulate wire time at BAUD (\"meter\": the meter's own rate)"},
        {"turnaround", "MS", "with wire time: pause between request and reply"},
        {"fault-shots", "N", "the faults apply to the next N replies they alter, then clear (0: always)"},
    };
    return options;
}

namespace {
bool toInt(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 0);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}
} // namespace

bool applyFaultOption(Faults &faults, const QString &name, const QString &value, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("--%1: %2").arg(name, why);
        return false;
    };
    const QString badNumber = QStringLiteral("\"%1\" is not a valid value").arg(value);
    if (name == "silent")
        faults.silent = true;
    else if (name == "corrupt-crc")
        faults.corruptCrc = true;
    else if (name == "silent-reply") {
        if (!toInt(value, 1, 1 << 30, &faults.silentReply))
            return fail(badNumber);
    } else if (name == "silent-function") {
        if (!toInt(value, 0, 255, &faults.silentFunction))
            return fail(badNumber);
    } else if (name == "error") {
        const QStringList parts = value.split(':');
        int function = -1;
        if (parts.size() != 2 || (parts[0] != "any" && !toInt(parts[0], 0, 255, &function)) ||
            !toInt(parts[1], 0, 255, &faults.errorCode))
            return fail(QStringLiteral("expected F:E, e.g. 4:6"));
        faults.errorFunction = function;
    } else if (name == "reply-function") {
        if (!toInt(value, 0, 255, &faults.replyFunction))
            return fail(badNumber);
    } else if (name == "delay") {
        if (!toInt(value, 0, 600000, &faults.delayMs))
            return fail(badNumber);
    } else if (name == "split") {
        const QStringList parts = value.split(':');
        faults.pieceGapMs = 20;
        if (parts.size() > 2 || !toInt(parts[0], 1, 1000, &faults.pieces) ||
            (parts.size() == 2 && !toInt(parts[1], 0, 60000, &faults.pieceGapMs)))
            return fail(QStringLiteral("expected N or N:MS"));
    } else if (name == "garbage") {
        const QByteArray bytes = QByteArray::fromHex(value.toLatin1());
        if (bytes.isEmpty() || bytes.toHex() != value.toLower().remove(' ').toLatin1())
            return fail(QStringLiteral("expected hexadecimal bytes, e.g. FF00"));
        faults.garbage = bytes;
    } else if (name == "wire-baud") {
        if (value == "meter")
            faults.wireBaud = -1;
        else if (!toInt(value, 1, 10000000, &faults.wireBaud))
            return fail(badNumber);
    } else if (name == "turnaround") {
        if (!toInt(value, 0, 60000, &faults.turnaroundMs))
            return fail(badNumber);
    } else if (name == "fault-shots") {
        if (!toInt(value, 0, 1 << 30, &faults.shots))
            return fail(badNumber);
    } else {
        return fail(QStringLiteral("unknown fault"));
    }
    return true;
}

} // namespace kelvar::sim
