#pragma once

#include <QLabel>
#include <QWidget>

namespace ww::virt {

class VirtualGenerator;

// What the virtual generator received: waveform number, length, blocks and a preview.
class GeneratorWindow : public QWidget {
    Q_OBJECT
  public:
    explicit GeneratorWindow(VirtualGenerator& generator, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void refresh();

    VirtualGenerator& m_generator;
    QLabel* m_text;
};

} // namespace ww::virt
