#include "instrumentwindow.h"

#include "virtualgenerator.h"
#include "virtualoscilloscope.h"

#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace ww::virt {

namespace {
// One trace of values in -1..+1 in `area`, with its name.
void drawTrace(QPainter& p, const QRect& area, const QString& name, const QVector<float>& s,
               QColor color) {
    p.fillRect(area, Qt::black);
    p.setPen(QColor(90, 90, 90));
    p.drawLine(area.left(), area.center().y(), area.right(), area.center().y());
    p.setPen(Qt::white);
    p.drawText(area.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, name);
    if (s.size() < 2)
        return;
    QPolygonF trace;
    for (int i = 0; i < s.size(); ++i)
        trace << QPointF(area.left() + area.width() * double(i) / (s.size() - 1),
                         area.center().y() - s[i] * (area.height() - 4) / 2.0);
    p.setPen(color);
    p.drawPolyline(trace);
}
} // namespace

GeneratorWindow::GeneratorWindow(VirtualGenerator& generator, const QString& where, QWidget* parent)
    : QWidget(parent, Qt::Window), m_generator(generator), m_where(where) {
    setWindowTitle(QStringLiteral("Virtual Vorrel generator"));
    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addStretch();
    resize(520, 420);
    connect(&m_generator, &VirtualGenerator::waveformChanged, this, &GeneratorWindow::refresh);
    refresh();
}

void GeneratorWindow::refresh() {
    QString text = m_where;
    if (m_generator.waveforms().isEmpty())
        text += QStringLiteral("\nNo waveform received yet.");
    if (!m_generator.formatErrors().isEmpty())
        text += QStringLiteral("\nLines it did not understand: %1")
                    .arg(m_generator.formatErrors().size());
    m_text->setText(text);
    update();
}

void GeneratorWindow::paintEvent(QPaintEvent*) {
    // The waveform numbers 1..8 in two columns; each shows the last waveform it received.
    QPainter p(this);
    const QRect grid = rect().adjusted(10, m_text->geometry().bottom() + 8, -10, -10);
    const int w = grid.width() / 2 - 4, h = grid.height() / 4 - 4;
    for (int n = 1; n <= 8; ++n) {
        const QRect area(grid.left() + ((n - 1) % 2) * (w + 8),
                         grid.top() + ((n - 1) / 2) * (h + 4), w, h);
        const auto wave = m_generator.waveforms().value(n);
        const QString name =
            wave.length ? QStringLiteral("%1: %2 points%3")
                              .arg(n)
                              .arg(wave.length)
                              .arg(wave.complete() ? QString() : QStringLiteral(", partial"))
                        : QString::number(n);
        drawTrace(p, area, name, wave.samples(), QColor(0, 220, 0));
    }
}

OscilloscopeWindow::OscilloscopeWindow(VirtualOscilloscope& scope, const QString& where,
                                       QWidget* parent)
    : QWidget(parent, Qt::Window), m_scope(scope) {
    setWindowTitle(QStringLiteral("Virtual TDS oscilloscope"));
    auto* text = new QLabel(where, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addStretch();
    resize(460, 330);
    // CH1 follows the generator; look again now and then.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    timer->start(500);
}

void OscilloscopeWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect grid = rect().adjusted(10, 50, -10, -10);
    const int h = grid.height() / 4 - 4;
    const char* sources[] = {"CH1", "CH2", "REFA", "REFB"};
    for (int k = 0; k < 4; ++k) {
        const QByteArray curve = m_scope.curve(QString::fromLatin1(sources[k]));
        QVector<float> s;
        for (const char b : curve)
            s << (static_cast<unsigned char>(b) - 127) / 128.0f;
        drawTrace(p, QRect(grid.left(), grid.top() + k * (h + 4), grid.width(), h),
                  QString::fromLatin1(sources[k]), s, QColor(255, 220, 0));
    }
}

} // namespace ww::virt
