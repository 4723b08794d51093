#include "lineregistry.h"

#include "devices.h"
#include "serialport.h"
#include "tcpline.h"
#include "usbtmcline.h"

#include <QDir>
#include <type_traits>

namespace ww {

namespace {

// The line of an address (a raw socket `TcpLine`, a USB instrument's device `UsbtmcLine`) as a
// Transport: opened on the address it was made for; the line settings do not apply.
template <typename Line> class AddressedTransport : public Transport {
  public:
    static constexpr bool kSocket = std::is_same_v<Line, TcpLine>;

    AddressedTransport(LineTarget target, const LineHooks& hooks) : m_target(std::move(target)) {
        if constexpr (kSocket)
            m_line.connectTimeoutMs = hooks.connectTimeoutMs;
        else if (hooks.openUsbDevice)
            m_line.openDevice = hooks.openUsbDevice;
        connect(&m_line, &Line::bytesArrived, this, &Transport::bytesArrived);
        connect(&m_line, &Line::outputMoved, this, &Transport::outputMoved);
        // A device names itself in its reasons; a socket's are said with its address.
        connect(&m_line, &Line::lost, this, [this](const QString& reason) {
            emit lost(!kSocket || m_target.reasonsAlone
                          ? reason
                          : QStringLiteral("The connection to %1 failed: %2.")
                                .arg(m_target.described, reason));
        });
    }
    QString open(int, const QString&, const Options&) override {
        const QString why = m_line.open(m_target.address);
        return why.isEmpty() || m_target.reasonsAlone
                   ? why
                   : QStringLiteral("Cannot open %1: %2.").arg(m_target.described, why);
    }
    void close() override { m_line.close(); }
    bool isOpen() const override { return m_line.isOpen(); }
    void write(const QByteArray& bytes) override { m_line.write(bytes); }
    QByteArray readAll() override { return m_line.readAll(); }
    void discardInput() override { m_line.discardInput(); }
    void discardBuffers() override {
        m_line.discardInput();
        m_line.discardOutput();
    }
    qint64 pendingOutput() const override { return m_line.pendingOutput(); }
    qint64 queuedOutput() const override {
        if constexpr (kSocket)
            return m_line.queuedOutput();
        return m_line.pendingOutput();
    }
    bool ready() const override {
        if constexpr (kSocket)
            return m_line.isConnected(); // what is written while connecting waits
        return m_line.isOpen();
    }
    bool keepsMessages() const override { return !kSocket; } // each USB write one message

  private:
    LineTarget m_target;
    Line m_line;
};

QList<LineKind> makeKinds() {
    LineKind tcp;
    tcp.name = QStringLiteral("tcp");
    tcp.form = QStringLiteral("tcp://HOST[:PORT]");
    tcp.summary = QStringLiteral("an instrument's raw socket or a serial device server, port "
                                 "5025 when none is given");
    tcp.claims = [](const QString& a) { return a.startsWith(QLatin1String("tcp://")); };
    tcp.check = [](const QString& a) {
        QString host;
        quint16 port = 0;
        return parseTcpAddress(a, host, port)
                   ? QString()
                   : QStringLiteral("'%1' is not an address tcp://HOST[:PORT]").arg(a);
    };
    tcp.describe = [](const QString& a) {
        QString host;
        quint16 port = 0;
        if (!parseTcpAddress(a, host, port))
            return QStringLiteral("not an address tcp://HOST[:PORT]");
        return QStringLiteral("a network address: a raw socket to %1, port %2").arg(host).arg(port);
    };
    tcp.make = [](const LineTarget& t, const LineHooks& h) -> std::unique_ptr<Transport> {
        return std::make_unique<AddressedTransport<TcpLine>>(t, h);
    };
    tcp.find = [] { return QStringList(); };
    tcp.answersIdn = true;

    LineKind usb;
    usb.name = QStringLiteral("usbtmc");
    usb.form = QStringLiteral("usbtmc:///dev/usbtmcN");
    usb.summary = QStringLiteral("a USB instrument's message device, also as /dev/usbtmcN");
    usb.claims = [](const QString& a) {
        return a.startsWith(QLatin1String("usbtmc://")) || !usbtmcPath(a).isEmpty();
    };
    usb.check = [](const QString& a) {
        return usbtmcPath(a).isEmpty()
                   ? QStringLiteral("'%1' is not a USBTMC device (usbtmc:///dev/usbtmcN)").arg(a)
                   : QString();
    };
    usb.describe = [](const QString& a) {
        const QString path = usbtmcPath(a);
        if (path.isEmpty())
            return QStringLiteral("not a USBTMC device (usbtmc:///dev/usbtmcN)");
        const QString problem = deviceProblem(path);
        return problem.isEmpty() ? QStringLiteral("a USB instrument's message device, %1").arg(path)
                                 : problem;
    };
    usb.make = [](const LineTarget& t, const LineHooks& h) -> std::unique_ptr<Transport> {
        return std::make_unique<AddressedTransport<UsbtmcLine>>(t, h);
    };
    usb.find = [] { return usbtmcDevicesIn(QStringLiteral("/dev")); };
    usb.answersIdn = true;

    LineKind serial;
    serial.name = QStringLiteral("serial");
    serial.form = QStringLiteral("a device path such as /dev/ttyUSB0");
    serial.summary = QStringLiteral("a serial port");
    serial.claims = [](const QString& a) { return !a.contains(QLatin1String("://")); };
    serial.check = [](const QString& a) {
        return a.contains(QLatin1Char('/')) ? QString()
                                            : QStringLiteral("'%1' is not a device path").arg(a);
    };
    serial.describe = [](const QString& a) {
        const QString problem = deviceProblem(a);
        return problem.isEmpty() ? QStringLiteral("not among the detected ports") : problem;
    };
    serial.make = [](const LineTarget& t, const LineHooks& h) -> std::unique_ptr<Transport> {
        return std::make_unique<SerialPortLine>(t, h);
    };
    serial.find = [] {
        QStringList found;
        for (const DetectedPort& p : systemPorts())
            found << p.name();
        return found;
    };
    serial.hasLineSettings = true;
    return {tcp, usb, serial};
}

} // namespace

QStringList usbtmcDevicesIn(const QString& folder) {
    QStringList found;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("usbtmc*")}, QDir::System, QDir::Name))
        found << QStringLiteral("usbtmc://") + dir.absoluteFilePath(name);
    return found;
}

QList<DetectedPort> detectedLines() {
    QList<DetectedPort> all = systemPorts();
    for (const LineKind& k : lineKinds()) {
        if (k.hasLineSettings)
            continue; // the serial ports, listed first with their details
        for (const QString& address : k.find()) {
            DetectedPort d;
            d.path = address;
            d.description = k.summary;
            all << d;
        }
    }
    return all;
}

const QList<LineKind>& lineKinds() {
    static const QList<LineKind> kinds = makeKinds();
    return kinds;
}

const LineKind* lineKindOf(const QString& address) {
    for (const LineKind& k : lineKinds())
        if (k.claims(address))
            return &k;
    return nullptr;
}

QString addressSchemes() {
    QStringList forms;
    for (const LineKind& k : lineKinds())
        if (k.form.contains(QLatin1String("://")))
            forms << k.form;
    return forms.join(QStringLiteral(" or "));
}

QString addressForms() {
    return QStringLiteral("COM1..COM4, a device path, ") + addressSchemes();
}

QString addressProblem(const QString& address) {
    const LineKind* kind = lineKindOf(address);
    if (!kind)
        return QStringLiteral("not an address this program can use (%1)").arg(addressSchemes());
    return kind->check(address);
}

} // namespace ww
