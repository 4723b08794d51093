#include "document.h"

#include <algorithm>

namespace ww {

bool WaveDocument::tryChange(WaveChange how, const std::function<bool(WaveStore&)>& edit) {
    const float length = m_store.ArbLength, number = m_store.ArbNumber;
    emit aboutToChange(how);
    if (!edit(m_store))
        return false;
    how.lengthChanged = m_store.ArbLength != length;
    how.numberChanged = m_store.ArbNumber != number;
    emit changed(how);
    return true;
}

void WaveDocument::change(WaveChange how, const std::function<void(WaveStore&)>& edit) {
    tryChange(std::move(how), [&edit](WaveStore& s) {
        edit(s);
        return true;
    });
}

void WaveDocument::stroke(int anchor, int x, float y) {
    WaveChange how{QStringLiteral("Draw"), WaveChange::Redraw::Band};
    how.first = std::min(WaveStore::clampIndex(anchor), WaveStore::clampIndex(x));
    how.last = std::max(WaveStore::clampIndex(anchor), WaveStore::clampIndex(x));
    emit aboutToChange(how);
    FillToPoint(m_store, anchor, x, y);
    emit changed(how);
}

} // namespace ww
