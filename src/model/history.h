#pragma once

#include "document.h"

#include <QUndoStack>
#include <memory>

namespace ww {

// Undo and redo of every change to the document. Each named change is one step; the steps of
// a drag are one step from press to release. A step keeps only the samples it changed, before
// and after, so the stack stays small: at most kSteps steps of at most two whole stores each.
class History {
  public:
    static constexpr int kSteps = 200;
    explicit History(WaveDocument& document);
    ~History();

    QUndoStack& stack() { return m_stack; }
    // The memory the steps hold, in bytes.
    std::size_t bytes() const;

  private:
    struct Step;
    class Command;
    void before(const WaveChange& change);
    void after(const WaveChange& change);
    void push(const QString& name);

    WaveDocument& m_doc;
    QUndoStack m_stack;
    WaveStore m_before; // the store before the change (or the drag) under way
    bool m_dragging = false;
    bool m_replaying = false; // an undo or redo is being applied: not a new step
};

} // namespace ww
