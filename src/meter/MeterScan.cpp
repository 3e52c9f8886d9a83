#include "meter/MeterScan.h"

#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "meter/MeterInfo.h"

#include <algorithm>
#include <utility>

namespace kelvar::meter {

namespace {
// What the scan asks every address, in order: type and software version,
// then the serial number.
constexpr quint8 Steps[] = {link::fn::ReadVersion, link::fn::ReadNumber};
constexpr int StepCount = 2;
// The least length byte of a reply that holds what the step reads.
constexpr int StepLength[] = {7, 5};
} // namespace

MeterScan::MeterScan(link::LineLender &link, QObject *parent) : QObject(parent), m_link(link) {}

MeterScan::~MeterScan()
{
    stop();
}

qint64 MeterScan::waitUs(const link::LineFormat &format, const ScanSettings &settings)
{
    const qint64 character = format.wireUs(1);
    if (settings.waitUs > 0)
        return qMax(settings.waitUs, character);
    return format.silentUs() + character + DefaultAllowanceUs;
}

bool MeterScan::start(const ScanSettings &settings)
{
    if (m_running || settings.from < 0 || settings.to > 255 || settings.from > settings.to)
        return false;
    link::SerialChannel *channel = m_link.lendLine();
    if (!channel)
        return false;
    m_settings = settings;
    const link::LineFormat format = m_link.lineFormat();
    m_probe = std::make_unique<link::LineProbe>(channel, format);
    m_probe->setWaitUs(waitUs(format, settings));
    connect(m_probe.get(), &link::LineProbe::answered, this, &MeterScan::onAnswer);
    m_running = true;
    m_phase = Phase::Settle;
    m_meters.clear();
    m_late.clear();
    m_rechecked.clear();
    emit progress(0, settings.to - settings.from + 1);
    m_probe->listen(format.wireUs(SettleCharacters) + DefaultAllowanceUs);
    return true;
}

void MeterScan::stop()
{
    if (m_running)
        end(true);
}

void MeterScan::startAddress(int address)
{
    m_current = ScannedMeter{};
    m_current.address = address;
    m_step = 0;
    m_tries = 0;
    m_read = 0;
    m_replied = false;
    m_garbled = 0;
    ask();
}

void MeterScan::ask()
{
    m_probe->send(static_cast<quint8>(m_current.address), link::request(Steps[m_step]));
}

void MeterScan::onAnswer(const link::ProbeAnswer &answer)
{
    for (const quint8 late : m_probe->takeLateAddresses())
        m_late.insert(late);
    if (m_phase == Phase::Settle) {
        m_phase = Phase::Sweep;
        startAddress(m_settings.from);
        return;
    }
    if (m_phase == Phase::Linger) {
        m_phase = Phase::Recheck;
        recheckNext();
        return;
    }
    using Outcome = link::ProbeAnswer::Outcome;
    if (answer.outcome == Outcome::Reply) {
        m_replied = true;
        if (take(answer.response)) {
            nextStep();
            return;
        }
    }
    if (answer.outcome == Outcome::Unreadable)
        ++m_garbled;
    // Nothing at all to the first request: nobody is at this address.
    if (answer.outcome == Outcome::Silence && !m_replied && m_garbled == 0 && m_step == 0 && m_tries == 0) {
        addressDone();
        return;
    }
    if (++m_tries < MaxTries)
        ask();
    else if (!isListed()) // stray bytes once, then silence: no meter here
        addressDone();
    else
        nextStep();
}

bool MeterScan::isListed() const
{
    // A whole reply with its CRC, or garbled answers again and again: a meter is
    // there. One unreadable answer alone may be the tail of another's reply.
    return m_replied || m_garbled > 1;
}

// A valid reply to the step's request: true when it settles the step (its
// data read, or a refusal other than a garbled request).
bool MeterScan::take(const QByteArray &r)
{
    const quint8 code = link::byteAt(r, 0);
    if (code & 0x80) // an error reply: the meter is there but does not tell
        return link::byteAt(r, 2) != 3; // code 3: it saw our request garbled; ask again
    if (link::byteAt(r, 1) < StepLength[m_step])
        return true;
    if (code == link::fn::ReadVersion) {
        m_current.type = meterTypeText(static_cast<int>(link::readSoftwareVersion(r, 4)));
        m_current.version = softwareVersionText(r);
    } else {
        m_current.number = serialNumberText(link::readSerialNumber(r, 2));
    }
    ++m_read;
    return true;
}

void MeterScan::nextStep()
{
    m_tries = 0;
    if (++m_step < StepCount)
        ask();
    else
        addressDone();
}

void MeterScan::addressDone()
{
    if (isListed()) {
        m_current.sure = m_read == StepCount;
        const auto at = std::lower_bound(m_meters.begin(), m_meters.end(), m_current.address,
                                         [](const ScannedMeter &m, int a) { return m.address < a; });
        m_meters.insert(at, m_current);
        emit meterFound(m_current);
        if (!m_running) // stopped by a receiver
            return;
    }
    if (m_phase == Phase::Sweep) {
        emit progress(m_current.address - m_settings.from + 1, m_settings.to - m_settings.from + 1);
        if (!m_running) // stopped by a receiver
            return;
        if (m_current.address < m_settings.to) {
            startAddress(m_current.address + 1);
            return;
        }
        m_phase = Phase::Linger;
        m_probe->setWaitUs(qint64(m_settings.recheckWaitMs) * 1000);
        m_probe->listen(LingerUs);
        return;
    }
    recheckNext();
}

void MeterScan::recheckNext()
{
    // Addresses whose answer came late get one more, patient try each.
    for (const int address : m_late) {
        const bool listed = std::any_of(m_meters.cbegin(), m_meters.cend(),
                                        [address](const ScannedMeter &m) { return m.address == address; });
        if (address < m_settings.from || address > m_settings.to || listed || m_rechecked.contains(address))
            continue;
        m_rechecked.insert(address);
        startAddress(address);
        return;
    }
    end(false);
}

void MeterScan::end(bool stopped)
{
    m_running = false;
    m_probe->cancel();
    // The probe may be the sender of the answer being handled.
    m_probe.release()->deleteLater();
    m_link.takeLineBack();
    emit finished(stopped);
}

} // namespace kelvar::meter
