#include "ScannerPort.h"

#include "link/SerialChannel.h"

#include <QTimer>

namespace kelvar::scanner {

ScannerPort::ScannerPort(std::unique_ptr<link::SerialChannel> channel, QObject *parent)
    : QObject(parent)
    , m_channel(std::move(channel))
{
    connect(m_channel.get(), &link::SerialChannel::bytesArrived, this, &ScannerPort::VaComm2RxChar);
}

ScannerPort::~ScannerPort()
{
    close();
}

void ScannerPort::setPortName(const QString &name)
{
    m_channel->setPortName(name);
}

QString ScannerPort::portName() const
{
    return m_channel->portName();
}

bool ScannerPort::isOpen() const
{
    return m_channel->isOpen();
}

bool ScannerPort::open(QString *error)
{
    if (m_channel->isOpen())
        return true;
    m_channel->setBaudRate(BaudRate);
    m_channel->setParity(link::Parity::None);
    m_channel->setStopBits(1);
    if (!m_channel->open()) {
        if (error)
            *error = m_channel->errorString();
        return false;
    }
    // The channel opens with RTS on; the scanner wants both lines off (a
    // device without the line, such as a pseudo-terminal, refuses: no matter).
    m_channel->setRts(false);
    m_buffer.clear();
    return true;
}

void ScannerPort::close()
{
    ++m_reopenGeneration;   // a reopen still waiting is void
    if (m_channel->isOpen())
        m_channel->close();
}

void ScannerPort::start(bool productionMode, bool switchedOn)
{
    if (productionMode && switchedOn && open())
        m_channel->writeByte(0x00);
}

void ScannerPort::CheckScanerClick(bool switchedOn)
{
    if (switchedOn)
        open();
    else
        close();
}

void ScannerPort::ComboScanerChange(const QString &name)
{
    close();
    const int generation = m_reopenGeneration;
    // The port gets a moment to settle before the next one opens; the window
    // keeps running meanwhile.
    QTimer::singleShot(ReopenDelayMs, this, [this, name, generation] {
        if (generation != m_reopenGeneration)
            return;
        setPortName(name);
        QString error;
        if (!open(&error))
            emit openFailed(error);
    });
}

void ScannerPort::VaComm2RxChar()
{
    const QByteArray bytes = m_channel->readAll();
    if (bytes.isEmpty())
        return;
    for (int code : m_buffer.append(bytes))
        emit codeScanned(code);
}

} // namespace kelvar::scanner
