#include "spectrumview.h"

#include "instruments/generatorlines.h"

#include "editor/canvasimage.h"
#include "files/nativefile.h"
#include "prompts.h"
#include "transfer.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace ww {

namespace {
constexpr double kFloorDbc = -120.0;

class Chart : public QWidget {
  public:
    Chart(const SpectrumView& owner, QWidget* parent) : QWidget(parent), m_owner(owner) {
        setMinimumSize(480, 220);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        drawSpectrumChart(p, size(), m_owner.figures(), m_owner.shown->value());
    }

  private:
    const SpectrumView& m_owner;
};

} // namespace

void drawSpectrumChart(QPainter& p, QSize size, const SpectrumFigures& f, int shown,
                       const QString& caption) {
    // Room above for the caption and the top label, at the left for the axis's title.
    const double top = caption.isEmpty() ? 12 : 40;
    const QRectF area(64, top, size.width() - 72, size.height() - top - 36);
    p.fillRect(QRect(QPoint(0, 0), size), QColor(240, 240, 240));
    p.fillRect(area, Qt::black);
    QFont font = p.font();
    font.setPointSizeF(7);
    p.setFont(font);
    p.setPen(Qt::black);
    if (!caption.isEmpty())
        p.drawText(QRectF(8, 2, size.width() - 16, top - 6), Qt::AlignLeft | Qt::AlignVCenter,
                   caption);
    p.drawText(QRectF(area.left(), area.bottom() + 18, area.width(), 16),
               Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("harmonic"));
    p.save();
    p.translate(10, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-area.height() / 2, -6, area.height(), 14), Qt::AlignCenter,
               QStringLiteral("level (dBc)"));
    p.restore();
    // Every 20 dB a grid line, labelled at the left as the canvas labels its values.
    for (int db = 0; db >= kFloorDbc; db -= 20) {
        const double y = area.top() + area.height() * db / kFloorDbc;
        p.setPen(QColor::fromRgb(kGridColor));
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y - 8, area.left() - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(db));
    }
    const int n = std::min<int>(shown, static_cast<int>(f.harmonics.size()));
    if (n <= 0)
        return;
    const double slot = area.width() / n;
    for (int k = 0; k < n; ++k) {
        const double dbc = std::max(f.harmonics[k].dBc, kFloorDbc);
        const double top = area.top() + area.height() * dbc / kFloorDbc;
        const QRectF bar(area.left() + slot * k + slot * 0.2, top, std::max(1.0, slot * 0.6),
                         area.bottom() - top);
        p.fillRect(bar, QColor::fromRgb(kTraceColor));
        if (n <= 25 || (k + 1) % 5 == 0 || k == 0) {
            p.setPen(Qt::black);
            p.drawText(QRectF(area.left() + slot * k, area.bottom() + 2, slot, 16),
                       Qt::AlignHCenter | Qt::AlignTop, QString::number(k + 1));
        }
    }
}

SpectrumView::SpectrumView(WaveDocument& document, Prompts& prompts, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), m_doc(document), m_prompts(prompts) {
    setObjectName(QStringLiteral("SpectrumView"));
    setWindowTitle(QStringLiteral("Spectrum"));
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    quantized = new QCheckBox(QStringLiteral("as the generator makes it (12 bits)"), this);
    shown = new QSpinBox(this);
    shown->setRange(1, 50);
    shown->setValue(20);
    controls->addWidget(quantized);
    controls->addStretch();
    controls->addWidget(new QLabel(QStringLiteral("Harmonics shown:"), this));
    controls->addWidget(shown);
    layout->addLayout(controls);
    chart = new Chart(*this, this);
    layout->addWidget(chart, 1);
    summary = new QLabel(this);
    summary->setWordWrap(true);
    layout->addWidget(summary);
    table = new QTableWidget(0, 4, this);
    table->setHorizontalHeaderLabels({QStringLiteral("harmonic"), QStringLiteral("amplitude"),
                                      QStringLiteral("dBc"), QStringLiteral("phase (°)")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(table, 1);
    auto* buttons = new QHBoxLayout;
    exportTableButton = new QPushButton(QStringLiteral("Export table…"), this);
    exportChartButton = new QPushButton(QStringLiteral("Export chart…"), this);
    buttons->addStretch();
    buttons->addWidget(exportTableButton);
    buttons->addWidget(exportChartButton);
    layout->addLayout(buttons);
    connect(exportTableButton, &QPushButton::clicked, this, &SpectrumView::exportTable);
    connect(exportChartButton, &QPushButton::clicked, this, &SpectrumView::exportChart);
    connect(quantized, &QCheckBox::toggled, this, &SpectrumView::analyse);
    connect(shown, &QSpinBox::valueChanged, this, &SpectrumView::analyse);
    connect(&m_doc, &WaveDocument::changed, this, [this](const WaveChange& change) {
        if (change.redraw != WaveChange::Redraw::Band)
            later();
    });
    connect(&m_doc, &WaveDocument::strokeEnded, this, &SpectrumView::later);
}

void SpectrumView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    analyse();
}

void SpectrumView::later() {
    // Several changes in one go are analysed once; a hidden window does not analyse at all.
    if (m_pending || !isVisible())
        return;
    m_pending = true;
    QTimer::singleShot(0, this, [this] {
        m_pending = false;
        analyse();
    });
}

void SpectrumView::analyse() {
    const WaveStore& s = m_doc.store();
    std::vector<double> samples(s.ArbData.begin(), s.ArbData.begin() + s.length());
    if (quantized->isChecked())
        samples = asGenerated(samples, sampleCode, 4095);
    m_figures = analyseSpectrum(samples, 50);
    if (!m_figures.error.isEmpty()) {
        summary->setText(m_figures.error);
    } else {
        summary->setText(
            QStringLiteral("THD %1    THD+N %2    SNR %3    SFDR %4    ENOB %5")
                .arg(figureText(m_figures, Figure::Thd), figureText(m_figures, Figure::ThdN),
                     figureText(m_figures, Figure::Snr), figureText(m_figures, Figure::Sfdr),
                     figureText(m_figures, Figure::Enob)) +
            (m_figures.warning.isEmpty() ? QString() : QStringLiteral("\n") + m_figures.warning));
    }
    const int rows =
        m_figures.error.isEmpty()
            ? std::min<int>(shown->value(), static_cast<int>(m_figures.harmonics.size()))
            : 0;
    table->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        const Harmonic& h = m_figures.harmonics[r];
        const QStringList cells = {QString::number(h.k), QString::number(h.amplitude, 'g', 6),
                                   QString::number(h.dBc, 'f', 2),
                                   QString::number(h.phaseDeg, 'f', 1)};
        for (int c = 0; c < 4; ++c)
            table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    chart->update();
}

void SpectrumView::exportTable() {
    QString filter;
    QString name = m_prompts.saveFileName(QStringLiteral("CSV (*.csv)"), &filter);
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".csv");
    const QByteArray text = spectrumCsv(m_figures, quantized->isChecked(), 50);
    if (const QString why = writeWhole(name, text); !why.isEmpty())
        m_prompts.message(QStringLiteral("Save failure!\nPlease Retry.\n\n") + why,
                          MsgIcon::Exclamation, QStringLiteral("ERROR!"), this);
}

void SpectrumView::exportChart() {
    const QSize size(960, 480);
    // The picture carries what it shows: the figures and the settings above the chart.
    exportPainting(m_prompts, this, size, [&](QPainter& p) {
        drawSpectrumChart(p, size, m_figures, shown->value(),
                          settingsLine(m_figures, quantized->isChecked(), 50) +
                              QStringLiteral("\n") + figuresLine(m_figures));
    });
}

} // namespace ww
