#pragma once

#include <QElapsedTimer>
#include <QString>

namespace ww::cli {

// Progress of an exchange on standard error: a live one-line bar when standard error is a
// terminal, a plain line at each quarter otherwise, nothing when quiet.
class Progress {
  public:
    Progress(bool quiet, QString unit);
    // `done` of `total` units, `bytes` moved so far.
    void update(qint64 done, qint64 total, qint64 bytes);
    // Ends the bar's line, if one is shown.
    void finish();

    // The bar as it is drawn, for a terminal `width` characters wide.
    static QString barLine(qint64 done, qint64 total, const QString& unit, qint64 bytes,
                           qint64 elapsedMs, int width);

  private:
    bool m_quiet;
    bool m_terminal;
    QString m_unit;
    QElapsedTimer m_clock;
    qint64 m_lastDrawMs = -1000;
    int m_lastQuarter = -1;
    bool m_drawn = false;
};

} // namespace ww::cli
