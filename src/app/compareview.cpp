#include "compareview.h"

#include "editor/canvasimage.h"
#include "prompts.h"
#include "transfer.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace ww {

namespace {
constexpr QRgb kCapturedColor = 0xff00ff00u; // 0, 255, 0
constexpr QRgb kWorstColor = 0xff303080u;    // 48, 48, 128
constexpr QRgb kErrorColor = 0xffffff00u;    // 255, 255, 0

class Chart : public QWidget {
  public:
    explicit Chart(const CompareView& owner, QWidget* parent) : QWidget(parent), m_owner(owner) {
        setMinimumSize(560, 320);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        drawComparison(p, size(), m_owner.sent(), m_owner.comparison(), m_owner.largest->value());
    }

  private:
    const CompareView& m_owner;
};

QString percent(double fraction) {
    return QString::number(fraction * 100, 'f', 2) + QStringLiteral(" %");
}
} // namespace

void drawComparison(QPainter& p, QSize size, const std::vector<double>& sent, const Comparison& c,
                    double tolerancePct) {
    p.fillRect(QRect(QPoint(0, 0), size), QColor(240, 240, 240));
    const double left = 48, right = size.width() - 8.0;
    const QRectF wave(left, 8, right - left, (size.height() - 40) * 0.68);
    const QRectF errors(left, wave.bottom() + 12, right - left,
                        size.height() - 20 - wave.bottom() - 12);
    p.fillRect(wave, Qt::black);
    p.fillRect(errors, Qt::black);
    QFont font = p.font();
    font.setPointSizeF(7);
    p.setFont(font);
    const int n = static_cast<int>(sent.size());
    if (n == 0)
        return;
    auto x = [&](const QRectF& r, double at) { return r.left() + r.width() * at / n; };
    // The worst region, across the end of the period in two pieces.
    if (c.error.isEmpty()) {
        auto shade = [&](double from, double to) {
            for (const QRectF* r : {&wave, &errors})
                p.fillRect(QRectF(x(*r, from), r->top(), std::max(1.0, x(*r, to) - x(*r, from)),
                                  r->height()),
                           QColor::fromRgb(kWorstColor));
        };
        if (c.worstTo >= c.worstFrom) {
            shade(c.worstFrom, c.worstTo + 1);
        } else {
            shade(c.worstFrom, n);
            shade(0, c.worstTo + 1);
        }
    }
    // The grid of the canvas: -1, 0, +1 on the waveform, 0 and the tolerance on the errors.
    auto y = [&](double v) {
        return wave.top() + wave.height() * (1.0 - v) / 2.2 + wave.height() * 0.1 / 2.2;
    };
    p.setPen(QColor::fromRgb(kGridColor));
    for (const double v : {-1.0, 0.0, 1.0}) {
        p.drawLine(QPointF(wave.left(), y(v)), QPointF(wave.right(), y(v)));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y(v) - 8, left - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v, 'f', 1));
        p.setPen(QColor::fromRgb(kGridColor));
    }
    // The captured points where the fit puts them, and over them the sent waveform as the
    // generator holds it: each column from its least to its greatest sample.
    if (c.error.isEmpty()) {
        p.setPen(QColor::fromRgb(kCapturedColor));
        for (const AlignedPoint& a : c.points)
            p.drawPoint(QPointF(x(wave, a.at), y(std::clamp(a.value, -1.1, 1.1))));
    }
    p.setPen(QColor::fromRgb(kTraceColor));
    const int columns = static_cast<int>(wave.width());
    double last = y(sent.front());
    for (int col = 0; col < columns; ++col) {
        const int from = static_cast<int>(static_cast<long long>(col) * n / columns);
        const int to = std::min(
            n, std::max(from + 1, static_cast<int>(static_cast<long long>(col + 1) * n / columns)));
        const auto [lo, hi] = std::minmax_element(sent.begin() + from, sent.begin() + to);
        const double top = std::min({y(*hi), last}), bottom = std::max({y(*lo), last});
        p.drawLine(QPointF(wave.left() + col + 0.5, top), QPointF(wave.left() + col + 0.5, bottom));
        last = y(sent[to - 1]);
    }
    if (!c.error.isEmpty())
        return;
    // The errors, on a scale that shows the tolerance at half height at least.
    const double top = std::max({2 * tolerancePct, c.maxError * 100, 1.0});
    auto ey = [&](double pct) { return errors.bottom() - errors.height() * pct / top; };
    p.setPen(QPen(QColor::fromRgb(kGridColor), 1, Qt::DashLine));
    p.drawLine(QPointF(errors.left(), ey(tolerancePct)), QPointF(errors.right(), ey(tolerancePct)));
    p.setPen(Qt::black);
    p.drawText(QRectF(0, ey(tolerancePct) - 8, left - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(tolerancePct, 'f', 1) + QLatin1Char('%'));
    p.drawText(QRectF(0, errors.bottom() - 8, left - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("0%"));
    p.setPen(QColor::fromRgb(kErrorColor));
    for (const AlignedPoint& a : c.points)
        p.drawPoint(QPointF(x(errors, a.at), ey(a.error * 100)));
    p.setPen(Qt::black);
    p.drawText(QRectF(left, errors.bottom() + 2, errors.width(), 16), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("0"));
    p.drawText(QRectF(left, errors.bottom() + 2, errors.width(), 16), Qt::AlignRight | Qt::AlignTop,
               QString::number(n - 1));
}

CompareView::CompareView(Prompts& prompts, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), m_prompts(prompts) {
    setObjectName(QStringLiteral("CompareView"));
    setWindowTitle(QStringLiteral("Compare with Sent"));
    auto* layout = new QVBoxLayout(this);
    verdict = new QLabel(this);
    QFont big = verdict->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    verdict->setFont(big);
    layout->addWidget(verdict);
    chart = new Chart(*this, this);
    layout->addWidget(chart, 1);
    figures = new QLabel(this);
    figures->setWordWrap(true);
    figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(figures);
    notes = new QLabel(this);
    notes->setWordWrap(true);
    layout->addWidget(notes);
    auto* controls = new QHBoxLayout;
    auto spin = [this](double value) {
        auto* box = new QDoubleSpinBox(this);
        box->setRange(0.1, 100);
        box->setDecimals(1);
        box->setSingleStep(0.5);
        box->setSuffix(QStringLiteral(" %"));
        box->setValue(value);
        return box;
    };
    const CompareTolerance defaults;
    largest = spin(defaults.maxErrorPct);
    rms = spin(defaults.rmsErrorPct);
    controls->addWidget(new QLabel(QStringLiteral("Largest error allowed:"), this));
    controls->addWidget(largest);
    controls->addWidget(new QLabel(QStringLiteral("RMS error allowed:"), this));
    controls->addWidget(rms);
    controls->addStretch();
    exportButton = new QPushButton(QStringLiteral("Export picture…"), this);
    controls->addWidget(exportButton);
    layout->addLayout(controls);
    connect(largest, &QDoubleSpinBox::valueChanged, this, &CompareView::recompute);
    connect(rms, &QDoubleSpinBox::valueChanged, this, &CompareView::recompute);
    connect(exportButton, &QPushButton::clicked, this, &CompareView::exportPicture);
}

void CompareView::compare(const std::vector<double>& sent, const std::vector<double>& captured,
                          const QString& about) {
    m_sent = sent;
    m_captured = captured;
    m_about = about;
    recompute();
}

void CompareView::recompute() {
    CompareTolerance tolerance;
    tolerance.maxErrorPct = largest->value();
    tolerance.rmsErrorPct = rms->value();
    m_comparison = compareCapture(m_sent, m_captured, tolerance);
    const Comparison& c = m_comparison;
    QStringList said;
    if (!m_about.isEmpty())
        said << m_about;
    if (!c.error.isEmpty()) {
        verdict->setText(QStringLiteral("Not compared"));
        figures->setText(QStringLiteral("The capture cannot be compared: %1.").arg(c.error));
    } else {
        verdict->setText(c.match ? QStringLiteral("Match: the generator puts out what was sent")
                                 : QStringLiteral("Mismatch: the capture is not what was sent"));
        figures->setText(
            QStringLiteral("%1 periods, phase %2°, gain %3, offset %4, correlation %5. Error: "
                           "RMS %6, largest %7, worst in samples %8..%9 (shaded).")
                .arg(QString::number(c.periods, 'f', 4), QString::number(c.phaseDeg, 'f', 2),
                     QString::number(c.gain, 'f', 4), QString::number(c.offset, 'f', 4),
                     QString::number(c.correlation, 'f', 5), percent(c.rmsError),
                     percent(c.maxError))
                .arg(c.worstFrom)
                .arg(c.worstTo) +
            QStringLiteral(" Noise %1 RMS; band limit %2; %3 beyond the noise.")
                .arg(percent(c.noise), bandLimitText(c.bandLimit),
                     c.regions == 1 ? QStringLiteral("1 error region")
                                    : QStringLiteral("%1 error regions").arg(c.regions)));
        said << c.notes;
    }
    QPalette palette = verdict->palette();
    palette.setColor(QPalette::WindowText,
                     c.error.isEmpty() && c.match ? QColor(0, 128, 0) : QColor(192, 0, 0));
    verdict->setPalette(palette);
    notes->setText(said.join(QLatin1Char('\n')));
    notes->setVisible(!said.isEmpty());
    // Wrapped texts take more lines as they grow: the window grows with them, so that the
    // chart never covers them.
    if (const int needed = layout()->totalHeightForWidth(width()); needed > height())
        resize(width(), needed);
    chart->update();
}

void CompareView::exportPicture() {
    const QSize size(1280, 720);
    exportPainting(m_prompts, this, size, [&](QPainter& p) {
        drawComparison(p, size, m_sent, m_comparison, largest->value());
    });
}

} // namespace ww
