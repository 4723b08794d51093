#pragma once

#include "lines/devices.h"
#include "lines/probe.h"

#include <QDialog>
#include <array>

class QComboBox;
class QLabel;
class QPushButton;

namespace ww {

// Rs232 Set > COM > Devices…: the device each of COM1..COM4 stands for, chosen among the
// detected ports (shown with their details) or typed as a path; each line says whether the
// device can be used now. A COM number may stand for a network address (tcp://HOST[:PORT]).
// Refresh picks up adapters plugged in meanwhile and says whether each address can be
// reached, and what answers there.
class DevicesDialog : public QDialog {
    Q_OBJECT
  public:
    DevicesDialog(PortChoices& choices, QWidget* parent = nullptr);
    void accept() override;

    std::array<QComboBox*, 4> device{};
    std::array<QLabel*, 4> status{};
    QPushButton* refresh = nullptr;

  private:
    void fill();
    QString chosen(int index) const;

    PortChoices& m_choices;
    std::array<AddressProbe*, 4> m_probes{};
};

} // namespace ww
