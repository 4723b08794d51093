#include "virtualoscilloscope.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QVector>
#include <cmath>
#include <complex>
#include <kiss_fft.h>
#include <memory>
#include <random>

namespace ww::virt {

VirtualOscilloscope::VirtualOscilloscope(PseudoTerminal* shared, QObject* parent)
    : QObject(parent), m_pty(shared) {
    setCurve(QStringLiteral("CH1"), sineCurve());
}

QByteArray VirtualOscilloscope::sineCurve() {
    QByteArray sine(2500, 0);
    for (int i = 0; i < 2500; ++i)
        sine[i] = static_cast<char>(std::lround(127 + 100 * std::sin(2 * M_PI * i / 2500.0)));
    return sine;
}

VirtualOscilloscope::VirtualOscilloscope(QObject* parent)
    : QObject(parent), m_ownPty(std::make_unique<PseudoTerminal>()), m_pty(m_ownPty.get()) {
    m_curves[QStringLiteral("CH1")] = sineCurve();
    if (!m_pty->isOpen())
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_pty->masterFd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VirtualOscilloscope::onReadable);
}

VirtualOscilloscope::~VirtualOscilloscope() = default;

void VirtualOscilloscope::setCurve(const QString& source, const QByteArray& bytes) {
    m_curves[source] = bytes.leftJustified(2500, '\x7f', true);
}

QByteArray VirtualOscilloscope::curve(const QString& source) const {
    if (source == QLatin1String("CH1") && curveProvider) {
        const QByteArray c = curveProvider();
        if (!c.isEmpty())
            return c;
    }
    return m_curves.value(source, QByteArray(2500, '\x7f'));
}

namespace {
// One period of the generator's output seen through a band limit, on a grid of `size` points
// (a power of two, at least sixteen a sample): the held samples' spectrum times the response,
// transformed back. Independent of how the comparison models it, which works in time.
std::vector<double> throughBand(const QVector<float>& s, double bandwidth, int order, int& size) {
    const qint64 n = s.size();
    size = 1;
    while (size < std::max<qint64>(65536, 16 * n))
        size *= 2;
    std::vector<kiss_fft_cpx> x(static_cast<std::size_t>(size)), f(x.size());
    for (int j = 0; j < size; ++j) {
        const double pos = static_cast<double>(j) * static_cast<double>(n) / size;
        x[j] = {s[static_cast<int>(static_cast<qint64>(std::floor(pos + 0.5)) % n)], 0.0f};
    }
    // The plans of the last size, kept: a test takes hundreds of captures.
    using Plan = std::unique_ptr<std::remove_pointer_t<kiss_fft_cfg>, decltype(&kiss_fft_free)>;
    thread_local int planned = 0;
    thread_local Plan forward(nullptr, &kiss_fft_free), inverse(nullptr, &kiss_fft_free);
    if (planned != size) {
        forward.reset(kiss_fft_alloc(size, 0, nullptr, nullptr));
        inverse.reset(kiss_fft_alloc(size, 1, nullptr, nullptr));
        planned = size;
    }
    kiss_fft(forward.get(), x.data(), f.data());
    for (int k = 0; k < size; ++k) {
        const double r = (k <= size / 2 ? k : k - size) / bandwidth;
        const std::complex<double> h =
            order == 2 ? 1.0 / std::complex<double>(1 - r * r, std::sqrt(2.0) * r)
                       : 1.0 / std::complex<double>(1, r);
        const std::complex<double> v = std::complex<double>(f[k].r, f[k].i) * h;
        f[k] = {static_cast<float>(v.real()), static_cast<float>(v.imag())};
    }
    kiss_fft(inverse.get(), f.data(), x.data());
    std::vector<double> out(static_cast<std::size_t>(size) + 1);
    for (int j = 0; j < size; ++j)
        out[j] = x[j].r / size;
    out[size] = out[0];
    return out;
}
} // namespace

std::vector<double> screenValues(const QVector<float>& samples, const ScopeScreen& screen,
                                 int points) {
    std::vector<double> out(static_cast<std::size_t>(points), 0.0);
    std::mt19937 random(screen.seed), timing(screen.seed + 7919);
    std::normal_distribution<double> noise(0.0, screen.noise), jitter(0.0, screen.jitter);
    const qint64 n = samples.size();
    int size = 0;
    const std::vector<double> band =
        n > 0 && screen.bandwidth > 0 ? throughBand(samples, screen.bandwidth, screen.order, size)
                                      : std::vector<double>();
    for (int i = 0; i < points; ++i) {
        double held = 0;
        if (n > 0) {
            // In samples, the product first: a whole number of them comes out exact.
            double x = (i - screen.delay) * screen.periods * static_cast<double>(n) / points +
                       screen.phaseDeg / 360.0 * static_cast<double>(n);
            if (screen.jitter > 0)
                x += jitter(timing) * static_cast<double>(n);
            x -= std::floor(x / static_cast<double>(n)) * static_cast<double>(n);
            if (band.empty()) {
                held = samples[static_cast<int>(static_cast<qint64>(std::floor(x + 0.5)) % n)];
            } else {
                const double g = x * size / static_cast<double>(n);
                const int j = std::clamp(static_cast<int>(g), 0, size - 1);
                held = band[j] + (g - j) * (band[j + 1] - band[j]);
            }
        }
        double v = n > 0 ? screen.gain * held + screen.offset : 0.0;
        if (screen.noise > 0)
            v += noise(random);
        out[static_cast<std::size_t>(i)] = v;
    }
    return out;
}

QByteArray VirtualOscilloscope::curveFromSamples(const QVector<float>& samples,
                                                 const Screen& screen) {
    if (samples.isEmpty())
        return QByteArray();
    const std::vector<double> v = screenValues(samples, screen, 2500);
    QByteArray out(2500, '\x7f');
    for (int i = 0; i < 2500; ++i) {
        const long code = std::lround(v[static_cast<std::size_t>(i)] * 128.0 + 127.0);
        out[i] = static_cast<char>(std::clamp(code, 0L, 255L));
    }
    return out;
}

void VirtualOscilloscope::hangUp() {
    m_notifier.reset();
    m_pty->hangUp();
}

void VirtualOscilloscope::onReadable() {
    m_pending += m_pty->readAvailable();
    // Commands end with a line feed or a carriage return; replies end the same way.
    for (;;) {
        const qsizetype lf = m_pending.indexOf('\n'), cr = m_pending.indexOf('\r');
        const qsizetype end = lf < 0 ? cr : (cr < 0 ? lf : std::min(lf, cr));
        if (end < 0)
            break;
        terminator = m_pending.at(end);
        const QByteArray command = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (command.isEmpty())
            continue; // the second character of a two-character terminator
        handleCommand(command);
        if (!m_pty->isOpen())
            return;
    }
}

void VirtualOscilloscope::handleCommand(const QByteArray& command) {
    const int index = static_cast<int>(m_commands.size());
    m_commands.push_back(command);
    if (script.hangUpAtCommand >= 0 && index >= script.hangUpAtCommand) {
        hangUp();
        return;
    }
    if (script.silent)
        return;
    if (!script.garbage.isEmpty() && (command == "*IDN?" || command == "CURVe?")) {
        writeBytes(script.garbage);
        return;
    }
    if (command == "*IDN?") {
        const QByteArray reply = identification + terminator + script.extraAfterReply;
        if (script.splitIdentification) {
            const qsizetype half = reply.size() / 2;
            writeBytes(reply.left(half));
            QTimer::singleShot(30, this, [this, rest = reply.mid(half)] { writeBytes(rest); });
        } else {
            writeBytes(reply);
        }
    } else if (command.startsWith("DATa:SOUrce ")) {
        m_source = QString::fromLatin1(command.mid(12));
    } else if (command == "CURVe?") {
        QByteArray reply = "#42500" + curve(m_source);
        if (!script.noTrailingByte)
            reply += terminator + script.extraAfterReply;
        if (script.cutCurveAt >= 0)
            reply.truncate(script.cutCurveAt);
        writeBytes(reply);
    }
}

void VirtualOscilloscope::writeBytes(const QByteArray& bytes) {
    if (script.hold)
        m_held += bytes;
    else
        sendBytes(bytes);
}

qsizetype VirtualOscilloscope::release(qsizetype n) {
    const QByteArray out = n < 0 ? m_held : m_held.left(n);
    m_held.remove(0, out.size());
    sendBytes(out);
    return out.size();
}

void VirtualOscilloscope::sendBytes(const QByteArray& bytes) {
    const qsizetype done = m_pty->write(bytes);
    // The terminal's buffer is full: the rest goes later, from the event loop, unless nobody
    // has taken anything for a second.
    if (done > 0)
        m_stalledWrites = 0;
    if (done < bytes.size() && m_pty->isOpen() && ++m_stalledWrites < 200)
        QTimer::singleShot(5, this, [this, rest = bytes.mid(done)] { sendBytes(rest); });
}

} // namespace ww::virt
