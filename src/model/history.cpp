#include "history.h"

#include <algorithm>
#include <functional>

namespace ww {

// What one step changed: the samples first..first+size-1 and the length and number.
struct History::Step {
    int first = 0;
    std::vector<float> before, after;
    float lengthBefore = 0, lengthAfter = 0, numberBefore = 0, numberAfter = 0;
};

class History::Command : public QUndoCommand {
  public:
    Command(History& history, const QString& name, Step step)
        : QUndoCommand(name), m_history(history), m_step(std::move(step)) {}
    void undo() override { apply(m_step.before, m_step.lengthBefore, m_step.numberBefore); }
    void redo() override {
        if (m_done) // the change itself did it the first time
            apply(m_step.after, m_step.lengthAfter, m_step.numberAfter);
        m_done = true;
    }
    std::size_t bytes() const {
        return sizeof(*this) + (m_step.before.size() + m_step.after.size()) * sizeof(float);
    }

  private:
    void apply(const std::vector<float>& samples, float length, float number) {
        WaveChange how{text()};
        how.keepView = true;
        how.writesLength = true;
        m_history.m_replaying = true;
        m_history.m_doc.change(how, [&](WaveStore& s) {
            std::copy(samples.begin(), samples.end(), s.ArbData.begin() + m_step.first);
            s.ArbLength = length;
            s.ArbNumber = number;
        });
        m_history.m_replaying = false;
    }

    History& m_history;
    Step m_step;
    bool m_done = false;
};

History::History(WaveDocument& document) : m_doc(document) {
    m_stack.setUndoLimit(kSteps);
    QObject::connect(&m_doc, &WaveDocument::aboutToChange, &m_stack,
                     [this](const WaveChange& c) { before(c); });
    QObject::connect(&m_doc, &WaveDocument::changed, &m_stack,
                     [this](const WaveChange& c) { after(c); });
    QObject::connect(&m_doc, &WaveDocument::strokeEnded, &m_stack, [this] {
        if (m_dragging)
            push(QStringLiteral("Draw"));
        m_dragging = false;
    });
}

History::~History() = default;

void History::before(const WaveChange& change) {
    if (m_replaying)
        return;
    if (change.redraw == WaveChange::Redraw::Band) {
        // The store as the drag found it, taken at its first step.
        if (!m_dragging)
            m_before = m_doc.store();
        m_dragging = true;
        return;
    }
    if (m_dragging) { // a drag ended without its release being seen
        push(QStringLiteral("Draw"));
        m_dragging = false;
    }
    m_before = m_doc.store();
}

void History::after(const WaveChange& change) {
    if (!m_replaying && change.redraw != WaveChange::Redraw::Band)
        push(change.name);
}

void History::push(const QString& name) {
    const WaveStore& now = m_doc.store();
    Step step;
    // Only the stretch that differs is kept.
    int lo = 0, hi = kStoreLastIndex;
    while (lo <= hi && m_before.ArbData[lo] == now.ArbData[lo])
        ++lo;
    while (hi >= lo && m_before.ArbData[hi] == now.ArbData[hi])
        --hi;
    if (lo > hi && m_before.ArbLength == now.ArbLength && m_before.ArbNumber == now.ArbNumber)
        return; // nothing changed (a field committed again as it was): no step
    step.first = lo;
    step.before.assign(m_before.ArbData.begin() + lo, m_before.ArbData.begin() + hi + 1);
    step.after.assign(now.ArbData.begin() + lo, now.ArbData.begin() + hi + 1);
    step.lengthBefore = m_before.ArbLength;
    step.lengthAfter = now.ArbLength;
    step.numberBefore = m_before.ArbNumber;
    step.numberAfter = now.ArbNumber;
    m_stack.push(new Command(*this, name, std::move(step)));
}

std::size_t History::bytes() const {
    // A macro step (the formula's) is a plain command whose children hold the changes.
    const std::function<std::size_t(const QUndoCommand*)> size = [&size](const QUndoCommand* c) {
        std::size_t n = 0;
        if (const auto* own = dynamic_cast<const Command*>(c))
            n += own->bytes();
        for (int i = 0; i < c->childCount(); ++i)
            n += size(c->child(i));
        return n;
    };
    std::size_t total = 0;
    for (int i = 0; i < m_stack.count(); ++i)
        total += size(m_stack.command(i));
    return total;
}

} // namespace ww
