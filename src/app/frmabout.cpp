#include "frmabout.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <cmath>

namespace ww {

VersionRecord programVersion() {
    return {WAVEWRIGHT_VERSION_MAJOR, WAVEWRIGHT_VERSION_MINOR, WAVEWRIGHT_VERSION_REVISION};
}

QString versionLine(const VersionRecord& v) {
    return QString(27, QLatin1Char(' ')) + QStringLiteral("Version ") + QString::number(v.major) +
           QLatin1Char('.') + QString::number(v.minor) + QLatin1Char('.') +
           QString::number(v.revision);
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size / 64.0;
        p.setPen(QPen(QColor(90, 90, 90), 2 * s));
        p.setBrush(QColor(10, 10, 10));
        p.drawRoundedRect(QRectF(3 * s, 7 * s, 58 * s, 50 * s), 6 * s, 6 * s);
        p.setPen(QPen(QColor(200, 200, 200), 1 * s));
        p.drawLine(QPointF(8 * s, 32 * s), QPointF(56 * s, 32 * s));
        QPainterPath path;
        for (int i = 0; i <= 48; ++i) {
            const double x = (8 + i) * s;
            // One period of a sine with a ramp on it: an arbitrary waveform.
            const double v = 0.6 * std::sin(i / 48.0 * 2 * M_PI) + (i > 30 ? (i - 30) / 30.0 : 0);
            const QPointF pt(x, (32 - 18 * v) * s);
            i == 0 ? path.moveTo(pt) : path.lineTo(pt);
        }
        p.setPen(QPen(QColor(255, 30, 30), 3 * s));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

frmAbout::frmAbout(const VersionRecord& version, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    const QString title = QStringLiteral("Vorrel Series Arbitrary Waveform Creation Software");
    setWindowTitle(QStringLiteral("About ") + title);
    picIcon = new QLabel(this);
    picIcon->setPixmap(programIcon().pixmap(48, 48));
    lblTitle = new QLabel(QStringLiteral("   ") + title, this);
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    lblVersion = new QLabel(versionLine(version), this);
    lblDescription = new QLabel(
        QStringLiteral("Wavewright\n\nCreates arbitrary waveforms of 4 to 16000 points and loads\n"
                       "them into Vorrel-series arbitrary waveform generators over\n"
                       "RS-232, or captures the curve of a TDS oscilloscope."),
        this);
    auto* line1 = new QFrame(this);
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept); // Esc rejects: also closes

    auto* grid = new QGridLayout(this);
    grid->addWidget(picIcon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(lblTitle, 0, 1);
    grid->addWidget(lblVersion, 1, 1);
    grid->addWidget(line1, 2, 0, 1, 2);
    grid->addWidget(lblDescription, 3, 0, 1, 2);
    grid->addWidget(cmdOK, 4, 1, Qt::AlignRight);
}

} // namespace ww
