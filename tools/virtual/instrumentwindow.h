#pragma once

#include <QLabel>
#include <QWidget>

namespace ww::virt {

class VirtualGenerator;
class VirtualOscilloscope;

// What the virtual generator holds: the last waveform received for each waveform number.
class GeneratorWindow : public QWidget {
    Q_OBJECT
  public:
    GeneratorWindow(VirtualGenerator& generator, const QString& where, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void refresh();

    VirtualGenerator& m_generator;
    QString m_where;
    QLabel* m_text;
};

// What the virtual oscilloscope shows: CH1, CH2, REFA and REFB.
class OscilloscopeWindow : public QWidget {
    Q_OBJECT
  public:
    OscilloscopeWindow(VirtualOscilloscope& scope, const QString& where, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    VirtualOscilloscope& m_scope;
};

} // namespace ww::virt
