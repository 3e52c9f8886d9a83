#pragma once
// The scan of a line for meters: with the link's poll cycle held, tries every
// address from..to with a short request, reads type, software version and
// serial number of every address that answers, reports each meter as soon as
// it is read, and ends with the list; then the link polls its own address
// again. Several meters on one RS-485 line can so be seen at once.
//
// A meter is reported only at the address it answered: an answer counts when
// it is a whole frame with a valid CRC answering the request (and, in
// "MODBUS", carrying that address). A garbled or missing answer from an
// address that has shown life is asked again (MaxTries in all); an address
// that answered once and then not is listed as unsure, and so is one that
// answered garbled more than once (one unreadable answer alone, then silence,
// may be the tail of another meter's late reply: not listed). An answer that comes
// only after its wait (a slow meter, a busy computer) names its address
// late; that address is tried once more at the end with a patient wait.

#include "link/LineProbe.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

namespace kelvar::meter {

struct ScanSettings {
    int from = 0;
    int to = 255;
    // How long a meter may take to begin its answer once the request has
    // left, in microseconds. 0: derived from the line (see MeterScan::waitUs).
    // Never below one character's wire time.
    qint64 waitUs = 0;
    // The wait for an address whose answer came late.
    int recheckWaitMs = 500;
};

struct ScannedMeter {
    int address = 0;
    bool sure = false; // type and number read; false: answered once, then not (or only garbled)
    QString type;      // "Kelvar 517.01"; empty when not read
    QString number;    // "100017"; empty when not read
    QString version;   // "1.5"; empty when not read (or a model that numbers its software otherwise)
    bool operator==(const ScannedMeter &) const = default;
};

class MeterScan : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxTries = 3;
    // What a meter may take beyond the wire time by default: its turnaround
    // and the latency of the computer's serial port.
    static constexpr qint64 DefaultAllowanceUs = 10000;
    // After the last address, how long a late answer of it may take to arrive.
    static constexpr qint64 LingerUs = 50000;
    // Before the first address: the longest reply the meter gives, so that an
    // answer to the link's last poll is over before the scan begins.
    static constexpr int SettleCharacters = 64;

    explicit MeterScan(link::LineLender &link, QObject *parent = nullptr);
    ~MeterScan() override;

    // The wait for the first character of an answer that the settings give
    // on a line of this format. Derived: the silent interval (a meter sees the
    // end of a request only after it), one character and DefaultAllowanceUs.
    static qint64 waitUs(const link::LineFormat &format, const ScanSettings &settings);

    // Borrows the line and starts; false (nothing changes) when the link
    // cannot lend it (down, or writing) or the range is empty.
    bool start(const ScanSettings &settings);
    // Ends the scan at once; the link polls its own address again.
    void stop();
    bool isRunning() const { return m_running; }
    // The meters found so far, by address.
    const QList<ScannedMeter> &meters() const { return m_meters; }

signals:
    void progress(int done, int total);
    // A meter read (or an unsure address), as soon as its requests are done.
    void meterFound(const kelvar::meter::ScannedMeter &meter);
    // The list is complete (or stopped); the link has its line back.
    void finished(bool stopped);

private:
    void startAddress(int address);
    void ask();
    void onAnswer(const link::ProbeAnswer &answer);
    bool take(const QByteArray &response);
    void nextStep();
    bool isListed() const;
    void addressDone();
    void recheckNext();
    void end(bool stopped);

    link::LineLender &m_link;
    std::unique_ptr<link::LineProbe> m_probe;
    ScanSettings m_settings;
    enum class Phase { Settle, Sweep, Linger, Recheck };
    bool m_running = false;
    Phase m_phase = Phase::Settle;
    QList<ScannedMeter> m_meters;
    QSet<int> m_late;      // addresses that answered after their wait
    QSet<int> m_rechecked;

    // The address under way.
    ScannedMeter m_current;
    int m_step = 0;        // 0: type and version, 1: serial number
    int m_tries = 0;
    int m_read = 0;        // steps answered with their data
    bool m_replied = false; // a whole frame with a valid CRC came from this address
    int m_garbled = 0;      // answers that came but could not be read
};

} // namespace kelvar::meter

Q_DECLARE_METATYPE(kelvar::meter::ScannedMeter)
