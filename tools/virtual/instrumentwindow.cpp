#include "instrumentwindow.h"

#include "virtualgenerator.h"

#include <QPainter>
#include <QVBoxLayout>

namespace ww::virt {

GeneratorWindow::GeneratorWindow(VirtualGenerator& generator, QWidget* parent)
    : QWidget(parent, Qt::Window), m_generator(generator) {
    setWindowTitle(QStringLiteral("Virtual Vorrel generator"));
    m_text = new QLabel(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addStretch();
    resize(420, 260);
    connect(&m_generator, &VirtualGenerator::waveformChanged, this, &GeneratorWindow::refresh);
    refresh();
}

void GeneratorWindow::refresh() {
    const int n = m_generator.lastNumber();
    if (n == 0) {
        m_text->setText(
            QStringLiteral("On %1\nNo waveform received yet.").arg(m_generator.devicePath()));
    } else {
        const auto& w = m_generator.waveforms().value(n);
        m_text->setText(QStringLiteral("On %1\nWaveform number %2, length %3, %4 blocks%5%6")
                            .arg(m_generator.devicePath())
                            .arg(n)
                            .arg(w.length)
                            .arg(w.blocks)
                            .arg(w.complete() ? QStringLiteral(" (complete)") : QString())
                            .arg(m_generator.formatErrors().isEmpty()
                                     ? QString()
                                     : QStringLiteral("\nFormat errors: %1")
                                           .arg(m_generator.formatErrors().size())));
    }
    update();
}

void GeneratorWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect area = rect().adjusted(10, 60, -10, -10);
    p.fillRect(area, Qt::black);
    const int n = m_generator.lastNumber();
    if (n == 0)
        return;
    const QVector<float> s = m_generator.waveforms().value(n).samples();
    if (s.size() < 2)
        return;
    p.setPen(QColor(0, 220, 0));
    QPointF prev;
    for (int i = 0; i < s.size(); ++i) {
        const QPointF pt(area.left() + area.width() * double(i) / (s.size() - 1),
                         area.center().y() - s[i] * area.height() / 2.0);
        if (i > 0)
            p.drawLine(prev, pt);
        prev = pt;
    }
}

} // namespace ww::virt
