#pragma once

#include "instruments/bench.h"

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSettings;

namespace ww {

// Oscilloscope > Read from Instrument…: the curve of a channel of any SCPI oscilloscope a
// profile describes, on a COM number's line or an address typed, with progress and Cancel.
// Read takes it into the waveform; Compare with Sent compares it with what was last sent. The
// last line, profile and channel are remembered.
class ScopeDialog : public QDialog {
    Q_OBJECT
  public:
    ScopeDialog(Bench& bench, const PortMap& ports, QSettings& remembered,
                QWidget* parent = nullptr);

    void refresh();
    // Starts a read; `compare` says what the curve is for.
    void read(bool compare);
    bool busy() const { return m_capture && m_capture->running(); }

    QComboBox* line = nullptr;
    QComboBox* profile = nullptr;
    QLineEdit* source = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* status = nullptr;
    QPushButton* readButton = nullptr;
    QPushButton* compareButton = nullptr;
    QPushButton* cancelButton = nullptr;

  signals:
    // The whole curve came: for the waveform, or for the comparison.
    void captured(const ww::ScopeTrace& trace, bool compare);

  protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;

  private:
    void ended(bool ok, const QString& text);

    Bench& m_bench;
    const PortMap& m_ports;
    QSettings& m_remembered;
    QPointer<ScopeCapture> m_capture;
};

} // namespace ww
