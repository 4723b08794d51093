#include "entryrules.h"

#include "model/numbers.h"

#include <cmath>

namespace ww {

namespace {
bool isDigit(int key) {
    return key >= '0' && key <= '9';
}

QString lengthText(std::int32_t n) {
    return QString::number(n);
}
} // namespace

std::int32_t LimitArbLength(std::int32_t n, const Say& say) {
    if (n > kMaxLength) {
        say(lengthMessage(), true);
        return kMaxLength;
    }
    if (n < kMinLength) {
        say(lengthMessage(), true);
        return kMinLength;
    }
    return n;
}

QString ToggleMinusSign(const QString& text) {
    if (text.startsWith(QLatin1Char('-')))
        return text.mid(1);
    return QLatin1Char('-') + text;
}

bool CheckEntryPosition(const QString& text, int caret, const Say& say) {
    if (text.startsWith(QLatin1Char('-')) && caret == 0) {
        say(QStringLiteral("Can not enter radix point at current position!"), false);
        return false;
    }
    return true;
}

bool CheckRadixPoint(const QString& text, int caret, const Say& say) {
    const bool r = CheckEntryPosition(text, caret, say);
    if (r && text.contains(QLatin1Char('.'))) {
        say(QStringLiteral("Can not enter radix point!"), false);
        return false;
    }
    return r;
}

EntryRules::EntryRules(WaveDocument& document, Say say) : m_doc(document), m_say(std::move(say)) {}

std::int32_t EntryRules::LimitCoordinateX(std::int32_t x) {
    const std::int32_t m = toInt32(m_doc.store().ArbLength) - 1;
    if (x > m || x < 0) {
        m_say(QStringLiteral("Coordinate X: From ") + QStringLiteral("0") + QStringLiteral(" to ") +
                  QString::number(m),
              true);
        return x > m ? m : 0;
    }
    return x;
}

QString EntryRules::LimitCoordinateY(float y) {
    const QString tail =
        formatThreeDecimals(-1.0) + QStringLiteral(" to ") + formatThreeDecimals(1.0);
    double used = y;
    if (y > 1.0f) {
        m_say(QStringLiteral("Coordinate Y: From ") + tail, true);
        used = 1.0;
    } else if (y < -1.0f) {
        m_say(QStringLiteral("Coordinate Y: From") + tail, true);
        used = -1.0;
    }
    return formatThreeDecimals(used);
}

void EntryRules::commitLength(TextBox& box) {
    if (box.text().isEmpty())
        box.setText(QStringLiteral("2001"));
    const std::optional<std::int32_t> n = parseWholeNumber(box.text());
    if (!n) {
        // Not a number (pasted text, too many digits): keep the committed length.
        box.setText(lengthText(toInt32(m_doc.store().ArbLength)));
        box.markNormal();
        return;
    }
    box.setText(lengthText(LimitArbLength(*n, m_say)));
    const float length = box.text().toFloat();
    box.markNormal();
    // The whole canvas is redrawn at the new length; the drawing anchor survives it.
    WaveChange how{QStringLiteral("Length")};
    how.keepAnchor = true;
    m_doc.change(how, [length](WaveStore& s) { s.ArbLength = length; });
}

void EntryRules::lengthKeyPress(TextBox& box, int& key) {
    box.markEditing();
    if (key == kKeyEnter) {
        commitLength(box);
        key = 0;
        return;
    }
    if (key != kKeyBackspace && !isDigit(key))
        key = 0;
}

void EntryRules::xKeyPress(TextBox& box, int& key, std::int32_t& committed) {
    box.markEditing();
    if (key == kKeyEnter) {
        if (box.text().isEmpty())
            box.setText(QStringLiteral("0"));
        const std::optional<std::int32_t> x = parseWholeNumber(box.text());
        if (!x) {
            box.setText(lengthText(committed));
            box.markNormal();
            return;
        }
        box.setText(lengthText(LimitCoordinateX(*x)));
        committed = *parseWholeNumber(box.text());
        box.markNormal();
        return;
    }
    if (key != kKeyBackspace && !isDigit(key)) {
        key = 0;
        m_say(QStringLiteral("Positive Integer Only!"), false);
    }
}

void EntryRules::yKeyPress(TextBox& box, int& key, float& committed) {
    box.markEditing();
    if (box.selLength() > 0) {
        const QString t = box.text();
        const int s = box.selStart();
        box.setText(t.left(s) + t.mid(s + box.selLength()));
        box.setCaret(s);
    }
    const QString text = box.text();
    const int caret = box.selStart();
    if (key == kKeyEnter) {
        if (text.isEmpty())
            box.setText(QStringLiteral("0"));
        const std::optional<float> y = parseSingle(box.text());
        if (!y) {
            box.setText(formatThreeDecimals(committed));
        } else {
            box.setText(LimitCoordinateY(*y));
            committed = *parseSingle(box.text());
        }
        box.setCaret(box.text().size());
        box.markNormal();
        key = 0;
    } else if (key == kKeyMinus) {
        const QString t = ToggleMinusSign(text);
        box.setText(t);
        box.setCaret(t.startsWith(QLatin1Char('-')) ? 1 : 0);
        key = 0;
    } else if (key == kKeyPoint) {
        if (!CheckRadixPoint(text, caret, m_say))
            key = 0;
    } else if (isDigit(key)) {
        if (!CheckEntryPosition(text, caret, m_say))
            key = 0;
    } else if (key != kKeyBackspace) {
        key = 0;
        m_say(QStringLiteral("Number Only!"), false);
    }
}

void EntryRules::setPoint(TextBox& startX, TextBox& startY, TextBox& stopX, TextBox& stopY) {
    const int x = WaveStore::clampIndex(ArbLineStartX);
    const float y = ArbLineStartY;
    stopY.setText(startY.text());
    stopX.setText(startX.text());
    ArbLineStopY = parseSingle(startY.text()).value_or(ArbLineStartY);
    ArbLineStopX = parseWholeNumber(stopX.text()).value_or(ArbLineStartX);
    m_doc.change(QStringLiteral("Set Point"), [x, y](WaveStore& s) { s.ArbData[x] = y; });
}

void EntryRules::setLine() {
    const int sx = WaveStore::clampIndex(ArbLineStartX);
    const int ex = WaveStore::clampIndex(ArbLineStopX);
    const float y0 = ArbLineStartY, y1 = ArbLineStopY;
    m_doc.change(QStringLiteral("Set Line"), [=](WaveStore& s) {
        s.ArbData[sx] = y0;
        if (sx < ex) {
            const double dy = static_cast<double>(y1) - y0;
            for (int i = sx; i <= ex; ++i)
                s.ArbData[i] =
                    static_cast<float>(dy * (i - sx) / (ex - sx) + static_cast<double>(y0));
        }
    });
}

} // namespace ww
