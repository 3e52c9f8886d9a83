#include "link/QSerialPortChannel.h"

#include <QFile>
#include <QSerialPortInfo>

#if defined(Q_OS_LINUX)
#include <termios.h>
#endif
#if defined(Q_OS_UNIX)
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace kelvar::link {

namespace {

QSerialPort::Parity toQt(Parity parity)
{
    switch (parity) {
    case Parity::None: return QSerialPort::NoParity;
    case Parity::Even: return QSerialPort::EvenParity;
    case Parity::Odd: return QSerialPort::OddParity;
    case Parity::Mark: return QSerialPort::MarkParity;
    case Parity::Space: return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

} // namespace

QSerialPortChannel::QSerialPortChannel(QObject *parent)
    : SerialChannel(parent)
{
    m_port.setBaudRate(4800);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialChannel::bytesArrived);
    // A device that vanished reports a resource error; a pseudo-terminal whose
    // other side closed reports failing reads. Either way the port is useless
    // until it is opened anew.
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (m_port.isOpen() && (error == QSerialPort::ResourceError || error == QSerialPort::ReadError))
            emit deviceLost();
    });
}

QSerialPortChannel::~QSerialPortChannel()
{
    if (m_port.isOpen())
        m_port.close();
}

void QSerialPortChannel::setPortName(const QString &name)
{
    m_port.setPortName(name);
}

QString QSerialPortChannel::portName() const
{
    return m_port.portName();
}

bool QSerialPortChannel::settle(bool ok)
{
    if (m_port.error() != QSerialPort::NoError) {
        m_lastError = m_port.errorString();
        m_port.clearError();
        ok = false;
    }
    return ok;
}

bool QSerialPortChannel::open()
{
    if (m_port.isOpen())
        return true;
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_openAdvice.clear();
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lastError = m_port.errorString();
        if (m_port.error() == QSerialPort::PermissionError) {
            // A port name without a folder ("ttyUSB0") is a device in /dev.
            const QString name = m_port.portName();
            m_openAdvice = permissionAdvice(name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name);
        }
        m_port.clearError();
        return false;
    }
    // A pseudo-terminal has no modem lines: these fail there and are let go.
    m_noRts = false;
    settle(m_port.setDataTerminalReady(false));
    setRts(true);
    clearStickParity();
    return true;
}

bool QSerialPortChannel::close()
{
    if (!m_port.isOpen())
        return true;
    m_port.close();
    return settle(true);
}

bool QSerialPortChannel::isOpen() const
{
    return m_port.isOpen();
}

bool QSerialPortChannel::setBaudRate(qint32 baud)
{
    return settle(m_port.setBaudRate(baud));
}

qint32 QSerialPortChannel::baudRate() const
{
    return m_port.baudRate();
}

bool QSerialPortChannel::setParity(Parity parity)
{
    // Every send sets the character format; unchanged settings cost no system call.
    if (parity == m_parity && m_port.isOpen())
        return true;
    m_parity = parity;
    const bool ok = settle(m_port.setParity(toQt(parity)));
    clearStickParity();
    return ok;
}

Parity QSerialPortChannel::parity() const
{
    return m_parity;
}

void QSerialPortChannel::clearStickParity()
{
#if defined(Q_OS_LINUX) && defined(CMSPAR)
    if (!m_port.isOpen() || m_parity == Parity::Mark || m_parity == Parity::Space)
        return;
    const int fd = static_cast<int>(m_port.handle());
    termios tio {};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0 || !(tio.c_cflag & CMSPAR))
        return;
    tio.c_cflag &= ~CMSPAR;
    ::tcsetattr(fd, TCSANOW, &tio);
#endif
}

bool QSerialPortChannel::setStopBits(int stopBits)
{
    stopBits = stopBits == 2 ? 2 : 1;
    if (stopBits == m_stopBits && m_port.isOpen())
        return true;
    m_stopBits = stopBits;
    return settle(m_port.setStopBits(m_stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop));
}

int QSerialPortChannel::stopBits() const
{
    return m_stopBits;
}

bool QSerialPortChannel::setRts(bool on)
{
    // A port without the line (a pseudo-terminal) is not asked again until reopened.
    if (!m_port.isOpen() || m_noRts)
        return false;
    const bool ok = m_port.setRequestToSend(on);
    if (m_port.error() == QSerialPort::UnsupportedOperationError)
        m_noRts = true;
    return settle(ok);
}

bool QSerialPortChannel::writeByte(quint8 byte)
{
    return write(QByteArray(1, static_cast<char>(byte)));
}

bool QSerialPortChannel::write(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return false;
    const qint64 written = m_port.write(bytes);
    // Hand the bytes to the driver now rather than at the next event-loop pass,
    // so the time-out counts from when they really left.
    m_port.flush();
    return settle(written == bytes.size());
}

QByteArray QSerialPortChannel::readAll()
{
    if (!m_port.isOpen())
        return {};
    return m_port.readAll();
}

QString QSerialPortChannel::errorString() const
{
    return m_lastError;
}

QString QSerialPortChannel::openAdvice() const
{
    return m_openAdvice;
}

bool QSerialPortChannel::probe(const QString &portName)
{
    QSerialPort port;
    port.setPortName(portName);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    const bool written = port.write(QByteArray(1, '\0')) == 1 && port.flush();
    port.close();
    return written;
}

QString permissionAdvice(const QString &devicePath)
{
#if defined(Q_OS_UNIX)
    const QByteArray path = QFile::encodeName(devicePath);
    struct stat device {};
    if (::stat(path.constData(), &device) != 0 || ::access(path.constData(), R_OK | W_OK) == 0 || errno != EACCES)
        return {};
    const group *owners = ::getgrgid(device.st_gid);
    const QString groupName = owners ? QString::fromLocal8Bit(owners->gr_name) : QString::number(device.st_gid);
    QString text = QStringLiteral("Нет прав на чтение и запись %1: устройство принадлежит группе %2.").arg(devicePath, groupName);
    if ((device.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return text; // the group's members may not use it either
    const passwd *user = ::getpwuid(::getuid());
    const QString userName = user ? QString::fromLocal8Bit(user->pw_name) : QString::number(::getuid());
    // Listed in the group already: this session began before that.
    bool member = user && user->pw_gid == device.st_gid;
    for (char **name = owners ? owners->gr_mem : nullptr; name && *name && !member; ++name)
        member = user && std::strcmp(*name, user->pw_name) == 0;
    if (member)
        return text + QStringLiteral("\nПользователь %1 включен в группу %2 после входа в систему: войдите в систему заново.")
                          .arg(userName, groupName);
    return text + QStringLiteral("\nДобавьте пользователя %1 в группу %2 (sudo usermod -a -G %2 %1) "
                                 "и войдите в систему заново.")
                      .arg(userName, groupName);
#else
    Q_UNUSED(devicePath);
    return {};
#endif
}

QStringList EnumerateSerialPorts()
{
    QStringList listed;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        listed << info.portName();
    return EnumerateSerialPorts(listed, &QSerialPortChannel::probe);
}

QStringList EnumerateSerialPorts(const QStringList &listed, const std::function<bool(const QString &)> &probe)
{
    if (!listed.isEmpty())
        return listed;
    QStringList found;
    for (int n = 1; n <= 8; ++n) {
        const QString name = QStringLiteral("Com%1").arg(n);
        if (probe && probe(name))
            found << name;
    }
    return found;
}

} // namespace kelvar::link
