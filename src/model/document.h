#pragma once

#include "store.h"

#include <QObject>
#include <functional>

namespace ww {

// What one change to the waveform did, as the document announces it.
struct WaveChange {
    enum class Redraw { Full, Band, None };
    QString name;                 // "Sine", "Set Line", "Open", "Draw", ...
    Redraw redraw = Redraw::Full; // Band: a drawing stroke, repainted by the canvas itself
    int first = 0;                // the samples it may have changed
    int last = kStoreLastIndex;
    bool keepAnchor = false;    // the length commit keeps the drawing anchor
    bool keepView = false;      // undo and redo keep the zoomed view where it still fits
    bool writesLength = false;  // sets the length anew (a file, a curve, an undo), changed or not
    bool lengthChanged = false; // filled in by the document
    bool numberChanged = false;
};

// The one owner of the waveform. Every change goes through change() or stroke(): it is applied
// and then announced once, and whoever shows the waveform follows (the canvas redraws, the
// length field and the scroll bars follow). Undo, import and scripting hang on the same door.
class WaveDocument : public QObject {
    Q_OBJECT
  public:
    explicit WaveDocument(QObject* parent = nullptr) : QObject(parent) {}

    const WaveStore& store() const { return m_store; }

    // Applies `edit`; when it answers true (it acted), announces the change. A refused edit
    // must leave the store as it was.
    bool tryChange(WaveChange how, const std::function<bool(WaveStore&)>& edit);
    // The same for edits that always act.
    void change(WaveChange how, const std::function<void(WaveStore&)>& edit);
    void change(const QString& name, const std::function<void(WaveStore&)>& edit) {
        change(WaveChange{name}, edit);
    }
    // One step of freehand drawing: FillToPoint, announced as the band it changed.
    void stroke(int anchor, int x, float y);
    // A drag has ended: its steps were one stroke.
    void endStroke() { emit strokeEnded(); }

  signals:
    // Before a change is applied (the store still as it was); `change` says which samples it
    // may touch. A refused change is announced here but not by changed().
    void aboutToChange(const ww::WaveChange& change);
    void changed(const ww::WaveChange& change);
    void strokeEnded();

  private:
    WaveStore m_store;
};

} // namespace ww
