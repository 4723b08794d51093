#pragma once

#include <QByteArray>
#include <QString>

namespace ww {

// An instrument's answer as text to show: bytes that are not printable ASCII as \xNN.
QString shownAnswer(const QByteArray& bytes);

} // namespace ww
