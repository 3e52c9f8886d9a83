#include "MeterModel.h"

#include "Commands.h"
#include "History.h"
#include "Tariff.h"
#include "link/Frame.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace kelvar::sim {

namespace {
// A pause longer than this abandons a partial frame, so garbage never wedges the meter.
constexpr qint64 FrameTimeoutMs = 100;
// After echoing its address the meter waits this long for the frame.
constexpr qint64 AddressWaitMs = 1000;
// Wire-time emulation sends a reply in slices of about this many microseconds.
constexpr qint64 SliceUs = 5000;

qint64 ceilMs(qint64 us) { return (us + 999) / 1000; }
} // namespace

struct MeterModel::Framing {
    enum class Phase { Idle, Addressed, Frame, Skip };
    Phase phase = Phase::Idle;
    QByteArray buffer;
    qint64 lastByteMs = 0;
};

MeterModel::MeterModel(const MeterState &state) : m_state(state), m_framing(std::make_unique<Framing>()) {}

MeterModel::~MeterModel() = default;

qint64 MeterModel::hostNowMs()
{
    // The wall clock as the workstation shows it, counted without time zones,
    // so meter time is plain arithmetic on it.
    static const qint64 epoch = QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const QDateTime now = QDateTime::currentDateTime();
    return QDateTime(now.date(), now.time(), Qt::UTC).toMSecsSinceEpoch() - epoch;
}

double MeterModel::meterSeconds(qint64 hostMs) const
{
    return static_cast<double>(hostMs) / 1000.0 + static_cast<double>(m_state.clockOffset);
}

// ---- power and time ---------------------------------------------------------

void MeterModel::powerOn(qint64 hostMs)
{
    *m_framing = Framing{};
    m_accessUntilMs = -1;
    m_poweredOn = true;
    if (m_state.birth == 0) {
        ensureHistory(hostMs);
        return;
    }
    const double now = meterSeconds(hostMs);
    const double off = m_state.lastAdvance > 0 ? std::min(m_state.lastAdvance, now) : now;
    if (m_state.powerJournal.isEmpty() || m_state.powerJournal.first().event != power::Off)
        m_state.addPowerEntry(static_cast<quint32>(off), power::Off);
    m_state.addPowerEntry(static_cast<quint32>(now), power::On);
    // The readings stood still while the meter was off, so the records of the
    // day and the month it comes back in start from them.
    const QDate offDate = meterDate(static_cast<quint32>(off)), today = meterDate(static_cast<quint32>(now));
    const History *h = history();
    if (offDate < today) {
        DayRecord &day = m_state.days[dayNumber(today)];
        if (!day.hasStart && !(h && h->hasDay(dayNumber(today)))) {
            day.hasStart = true;
            day.startCounts = wholeCounts(m_state.tariffCounts);
        }
    }
    const quint32 key = monthKey(today);
    if (monthKey(offDate) < key && !m_state.months.contains(key) && !(h && h->hasMonth(key)))
        m_state.months.insert(key, MonthRecord{wholeCounts(m_state.tariffCounts),
                                               static_cast<quint32>(m_state.workingHalfMinutes), m_state.peakTime,
                                               m_state.peakPower});
    m_state.lastAdvance = now;
}

void MeterModel::powerOff(qint64 hostMs)
{
    if (!m_poweredOn)
        return;
    advance(hostMs);
    m_state.addPowerEntry(static_cast<quint32>(std::max(0.0, meterSeconds(hostMs))), power::Off);
    m_accessUntilMs = -1;
    m_poweredOn = false;
}

void MeterModel::ensureHistory(qint64 hostMs)
{
    if (m_state.birth != 0)
        return;
    const double now = std::max(meterSeconds(hostMs), 86400.0);
    const auto birth = static_cast<quint32>(std::floor(now / 1800) * 1800);
    m_history = std::make_unique<History>(m_state.seed, birth);
    m_history->initialise(m_state);
}

const History *MeterModel::history()
{
    if (m_state.birth == 0)
        return nullptr;
    if (!m_history || m_history->birth() != m_state.birth || m_history->seed() != m_state.seed)
        m_history = std::make_unique<History>(m_state.seed, m_state.birth);
    return m_history.get();
}

void MeterModel::advance(qint64 hostMs)
{
    if (!m_poweredOn)
        return;
    ensureHistory(hostMs);
    const double now = meterSeconds(hostMs);
    double t = m_state.lastAdvance;
    if (t <= 0) {
        m_state.lastAdvance = now;
        return;
    }
    if (now <= t)
        return;
    MeterState &s = m_state;
    const double loadW = s.loadKw * 1000;
    while (t < now) {
        const double slotEnd = std::floor(t / 1800) * 1800 + 1800;
        const double end = std::min(now, slotEnd);
        const double counts = s.loadKw * (end - t) / 3600.0 * 4000.0;
        const auto at = static_cast<quint32>(t);
        const int tariff = std::clamp(tariffAt(s, at, loadW), 1, 3);
        const quint32 before = wholeSum(s.tariffCounts);
        s.tariffCounts[tariff - 1] += counts;
        for (int i = 0; i < 3; ++i)
            s.phaseCounts[i] += counts * PhaseShare[i];
        s.days[at / 86400].increments[(at % 86400) / 1800] += wholeSum(s.tariffCounts) - before;
        s.workingHalfMinutes += (end - t) / 30.0;
        t = end;
        if (end == slotEnd)
            boundary(static_cast<quint32>(end));
    }
    if (loadW > s.peakPower) {
        s.peakPower = static_cast<quint32>(std::min(loadW, 16777215.0));
        s.peakTime = static_cast<quint32>(now);
    }
    s.lastAdvance = now;
}

void MeterModel::boundary(quint32 t)
{
    MeterState &s = m_state;
    const QDate date = meterDate(t);
    if (t % 86400 == 0) {
        const History *h = history();
        const quint32 day = t / 86400;
        DayRecord &record = s.days[day];
        if (!record.hasStart && !(h && h->hasDay(day))) {
            record.hasStart = true;
            record.startCounts = wholeCounts(s.tariffCounts);
        }
        const quint32 key = monthKey(date);
        if (date.day() == 1 && !s.months.contains(key) && !(h && h->hasMonth(key)))
            s.months.insert(key, MonthRecord{wholeCounts(s.tariffCounts), static_cast<quint32>(s.workingHalfMinutes),
                                             s.peakTime, s.peakPower});
    }
    // The billing date: a billing day past the month's end falls on its last day.
    if (t % 3600 == 0 && static_cast<int>(t % 86400 / 3600) == s.billingHour &&
        date.day() == std::min(s.billingDay, date.daysInMonth())) {
        s.billingCounts = wholeCounts(s.tariffCounts);
        s.billingPeakPower = s.peakPower;
        s.billingPeakTime = s.peakTime;
        s.peakPower = 0;
        s.peakTime = 0;
    }
}

void MeterModel::setMeterTime(quint32 seconds, qint64 hostMs)
{
    advance(hostMs);
    m_state.clockOffset = static_cast<qint64>(seconds) - hostMs / 1000;
    // A clock correction moves the time, not the energy.
    m_state.lastAdvance = meterSeconds(hostMs);
}

bool MeterModel::dayRecord(quint32 day, DayRecord *record)
{
    DayRecord r;
    bool found = false;
    if (const History *h = history(); h && h->hasDay(day)) {
        r = h->day(day);
        found = true;
    }
    const auto live = m_state.days.constFind(day);
    if (live != m_state.days.cend()) {
        if (!r.hasStart && live->hasStart) {
            r.hasStart = true;
            r.startCounts = live->startCounts;
        }
        for (int i = 0; i < SlotsPerDay; ++i)
            r.increments[i] += live->increments[i];
        found = true;
    }
    *record = r;
    return found;
}

bool MeterModel::monthRecord(quint32 key, MonthRecord *record)
{
    if (const History *h = history(); h && h->hasMonth(key)) {
        *record = h->month(key);
        return true;
    }
    const auto live = m_state.months.constFind(key);
    if (live == m_state.months.cend())
        return false;
    *record = *live;
    return true;
}

// ---- access and link --------------------------------------------------------

bool MeterModel::writeAccess(qint64 hostMs) const
{
    return m_accessUntilMs >= 0 && (m_state.accessTimeoutSec == 0 || hostMs <= m_accessUntilMs);
}

void MeterModel::openAccess(qint64 hostMs)
{
    m_accessUntilMs = hostMs + static_cast<qint64>(m_state.accessTimeoutSec) * 1000;
}

void MeterModel::requestLinkChange(quint8 address, int baudIndex, link::Protocol protocol, int parity)
{
    m_linkChangePending = true;
    m_nextAddress = address;
    m_nextBaudIndex = baudIndex;
    m_nextProtocol = protocol;
    m_nextParity = parity;
}

void MeterModel::applyLinkChange()
{
    if (!m_linkChangePending)
        return;
    m_linkChangePending = false;
    m_state.address = m_nextAddress;
    m_state.baudIndex = m_nextBaudIndex;
    m_state.protocol = m_nextProtocol;
    m_state.parity = m_nextParity;
    *m_framing = Framing{};
}

// ---- state and faults -------------------------------------------------------

MeterState MeterModel::state(qint64 hostMs)
{
    advance(hostMs);
    return m_state;
}

void MeterModel::setState(const MeterState &state, qint64 hostMs)
{
    const bool lineChanged = state.protocol != m_state.protocol || state.address != m_state.address;
    m_state = state;
    if (lineChanged)
        *m_framing = Framing{};
    advance(hostMs);
}

void MeterModel::setFaults(const Faults &faults)
{
    m_faults = faults;
    m_shotsLeft = faults.shots;
    m_replies = 0;
}

void MeterModel::spendShot()
{
    if (m_faults.shots > 0 && --m_shotsLeft <= 0)
        m_faults = Faults{};
}

// ---- the line -----------------------------------------------------------------

FeedResult MeterModel::feed(const QByteArray &bytes, qint64 hostMs)
{
    FeedResult result;
    if (bytes.isEmpty() || !m_poweredOn)
        return result;
    Framing &f = *m_framing;
    if (f.phase != Framing::Phase::Idle) {
        const qint64 gap = hostMs - f.lastByteMs;
        const qint64 limit = f.phase == Framing::Phase::Addressed ? AddressWaitMs : FrameTimeoutMs;
        if (gap < 0 || gap > limit)
            f = Framing{};
    }
    f.lastByteMs = hostMs;
    if (m_state.protocol == link::Protocol::Rs485)
        feedRs485(bytes, hostMs, result);
    else
        feedModbus(bytes, hostMs, result);
    return result;
}

bool MeterModel::midFrame(qint64 hostMs) const
{
    const Framing &f = *m_framing;
    const bool receiving = f.phase == Framing::Phase::Frame || f.phase == Framing::Phase::Skip;
    return receiving && hostMs >= f.lastByteMs && hostMs - f.lastByteMs <= FrameTimeoutMs;
}

void MeterModel::abandonFrame()
{
    *m_framing = Framing{};
}

void MeterModel::feedRs485(const QByteArray &bytes, qint64 hostMs, FeedResult &result)
{
    using Phase = Framing::Phase;
    Framing &f = *m_framing;
    const bool loneAddress = bytes.size() == 1 && static_cast<quint8>(bytes[0]) == m_state.address;
    switch (f.phase) {
    case Phase::Skip:
        return;
    case Phase::Idle:
        // Only the address byte travels alone (with the ninth bit set): any
        // other byte seen while no frame is in progress is not for this meter.
        if (loneAddress) {
            result.sends += echo();
            f.phase = Phase::Addressed;
        }
        return;
    case Phase::Addressed:
        if (loneAddress) { // the program addressed the meter again
            result.sends += echo();
            return;
        }
        f.phase = Phase::Frame;
        break;
    case Phase::Frame:
        break;
    }
    f.buffer += bytes;
    if (f.buffer.size() < 2)
        return;
    const int length = static_cast<quint8>(f.buffer[1]);
    if (length < 2) {
        // No frame can be this short: answer at once, then drop the rest of it.
        const quint8 code = static_cast<quint8>(f.buffer[0]);
        f.buffer.clear();
        f.phase = Phase::Skip;
        if (!m_faults.silent) {
            ++m_tally.errors[err::WrongLength];
            result.sends += shape(errorBody(code, err::WrongLength), 2, false);
        }
        return;
    }
    if (f.buffer.size() < length + 2)
        return;
    const QByteArray frame = f.buffer.left(length + 2);
    f = Framing{};
    f.lastByteMs = hostMs;
    take(frame, frame.size(), link::IsFrameCrcValid(frame), hostMs, result);
}

void MeterModel::feedModbus(const QByteArray &bytes, qint64 hostMs, FeedResult &result)
{
    using Phase = Framing::Phase;
    Framing &f = *m_framing;
    if (f.phase == Phase::Skip)
        return;
    f.buffer += bytes;
    while (f.buffer.size() >= 3) {
        const int length = static_cast<quint8>(f.buffer[2]);
        if (length < 2) {
            f.buffer.clear();
            f.phase = Phase::Skip;
            return;
        }
        if (f.buffer.size() < length + 3)
            break;
        const QByteArray frame = f.buffer.left(length + 3);
        f.buffer.remove(0, length + 3);
        // Another meter's frame, or one spoilt on the line, is not answered.
        if (static_cast<quint8>(frame[0]) == m_state.address && link::IsFrameCrcValid(frame))
            take(frame.mid(1), frame.size(), true, hostMs, result);
    }
    f.phase = f.buffer.isEmpty() ? Phase::Idle : Phase::Frame;
}

void MeterModel::take(const QByteArray &frame, int lineBytes, bool crcValid, qint64 hostMs, FeedResult &result)
{
    result.requests.append(frame);
    ++m_tally.requests;
    const quint8 code = static_cast<quint8>(frame[0]);
    // A request the meter stays silent to, or refuses by a fault, has no effect.
    if (m_faults.silent) {
        ++m_tally.silenced;
        return;
    }
    ++m_replies;
    if (m_faults.silentReply == m_replies || m_faults.silentFunction == code) {
        ++m_tally.silenced;
        spendShot();
        return;
    }
    QByteArray body;
    bool altered = false;
    if (m_faults.errorCode > 0 && (m_faults.errorFunction == code || m_faults.errorFunction < 0)) {
        body = errorBody(code, static_cast<quint8>(m_faults.errorCode));
        altered = true;
    } else if (!crcValid) {
        body = errorBody(code, err::BadCrc);
    } else {
        Commands commands(*this, hostMs);
        body = commands.answer(frame);
        result.stateChanged = commands.changedState();
    }
    // Shaping may spend the last shot and clear the faults: tally first.
    if (m_faults.corruptCrc)
        ++m_tally.corruptCrc;
    else if (m_faults.replyFunction >= 0)
        ++m_tally.otherFunction;
    else if (static_cast<quint8>(body[0]) & 0x80)
        ++m_tally.errors[static_cast<quint8>(body[2])];
    else
        ++m_tally.answered;
    result.sends += shape(body, lineBytes, altered);
    if (m_linkChangePending)
        result.linkChangeAfterSends = true;
}

QByteArray MeterModel::process(const QByteArray &frame, qint64 hostMs)
{
    if (!m_poweredOn || frame.size() < 4 || frame.size() != static_cast<quint8>(frame[1]) + 2)
        return {};
    if (!link::IsFrameCrcValid(frame))
        return link::AppendCrc(errorBody(static_cast<quint8>(frame[0]), err::BadCrc));
    Commands commands(*this, hostMs);
    return link::AppendCrc(commands.answer(frame));
}

int MeterModel::wireBaud() const
{
    return m_faults.wireBaud < 0 ? baudRate(m_state.baudIndex) : m_faults.wireBaud;
}

QList<Transmission> MeterModel::echo()
{
    if (m_faults.silent)
        return {};
    const int baud = wireBaud();
    // The address byte comes in, then goes back: two characters on the wire.
    const qint64 us = baud > 0 ? wireTimeUs(2, baud) : 0;
    return {{ceilMs(us), QByteArray(1, static_cast<char>(m_state.address)), us}};
}

QList<Transmission> MeterModel::shape(QByteArray body, int requestBytes, bool altered)
{
    const Faults &fl = m_faults;
    if (fl.replyFunction >= 0) {
        body[0] = static_cast<char>(fl.replyFunction);
        altered = true;
    }
    QByteArray bytes = m_state.protocol == link::Protocol::Rs485
                           ? link::AppendCrc(body)
                           : link::envelope(body, link::Protocol::Modbus, m_state.address);
    if (fl.corruptCrc) {
        bytes[bytes.size() - 1] = static_cast<char>(bytes[bytes.size() - 1] ^ 0xFF);
        altered = true;
    }
    if (!fl.garbage.isEmpty()) {
        bytes.prepend(fl.garbage);
        altered = true;
    }
    const int baud = wireBaud();
    altered = altered || fl.delayMs > 0 || fl.pieces > 1 || baud > 0;
    qint64 us = static_cast<qint64>(fl.delayMs) * 1000;
    if (baud > 0)
        us += wireTimeUs(requestBytes, baud) + static_cast<qint64>(fl.turnaroundMs) * 1000;

    QList<Transmission> sends;
    const int pieces = std::clamp(fl.pieces, 1, static_cast<int>(bytes.size()));
    qsizetype offset = 0;
    for (int k = 0; k < pieces; ++k) {
        const qsizetype size = bytes.size() * (k + 1) / pieces - offset;
        const QByteArray piece = bytes.mid(offset, size);
        offset += size;
        if (k > 0)
            us += static_cast<qint64>(fl.pieceGapMs) * 1000;
        if (baud <= 0) {
            sends.append({ceilMs(us), piece, ceilMs(us) * 1000});
            continue;
        }
        // Each slice leaves when its last character would have been on the wire.
        const qsizetype perSlice = std::max<qint64>(1, SliceUs / std::max<qint64>(1, wireTimeUs(1, baud)));
        for (qsizetype i = 0; i < piece.size(); i += perSlice) {
            const QByteArray slice = piece.mid(i, perSlice);
            us += wireTimeUs(slice.size(), baud);
            sends.append({ceilMs(us), slice, us});
        }
    }
    if (altered)
        spendShot();
    return sends;
}

} // namespace kelvar::sim
