#pragma once

#include "instruments/bench.h"

#include <QPointer>

#include <QDialog>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSettings;

namespace ww {

// Other > Send to Instrument…: loads the waveform into a SCPI generator through a profile, on
// a COM number's line or an address typed (tcp://HOST[:PORT], a device path), and sets its
// frequency, amplitude, offset and output where asked. Shows what the instrument has taken,
// and ends with its answer or its error; the window stays usable. The lines and profiles are
// listed anew each time it opens; the last line and profile used are remembered.
class InstrumentDialog : public QDialog {
    Q_OBJECT
  public:
    InstrumentDialog(Bench& bench, const PortMap& ports, QSettings& remembered,
                     QWidget* parent = nullptr);

    // The COM numbers as the Devices dialog now points them, and the profiles there are now.
    void refresh();

    // What is sent: the waveform as it is when Send is pressed.
    std::function<std::vector<float>()> samples;
    void send();
    bool busy() const { return m_upload && m_upload->running(); }

    QComboBox* line = nullptr;
    QComboBox* profile = nullptr;
    QLineEdit* name = nullptr;
    QCheckBox* fitPoints = nullptr;
    QLineEdit* frequency = nullptr; // empty: left as the instrument has it
    QLineEdit* amplitude = nullptr;
    QLineEdit* offset = nullptr;
    QComboBox* output = nullptr; // as it is, on, off
    QProgressBar* progress = nullptr;
    QLabel* status = nullptr;
    QPushButton* sendButton = nullptr;
    QPushButton* cancelButton = nullptr;

  signals:
    // The instrument took the whole waveform: what it now holds (resampled if it was).
    void uploaded(const std::vector<double>& sent);

  protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;

  private:
    void ended(bool ok, const QString& text);

    Bench& m_bench;
    const PortMap& m_ports;
    LineChoice m_chosen;
    QSettings& m_remembered;
    QPointer<ScpiUpload> m_upload;
    QString m_lineName;
};

} // namespace ww
