#pragma once

#include "model/document.h"
#include "model/numbertext.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace ww {

// Character codes the field handlers deal in.
enum KeyCode : int { kKeyBackspace = 8, kKeyEnter = 13, kKeyMinus = 45, kKeyPoint = 46 };

// What a field handler sees of a text box.
class TextBox {
  public:
    virtual ~TextBox() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0; // counts as a change: editing look
    virtual int selStart() const = 0;
    virtual int selLength() const = 0;
    virtual void setCaret(int position) = 0; // also removes any selection
    virtual void markEditing() = 0;
    virtual void markNormal() = 0;
};

// Shows one message box with the program's title; critical icon or none.
using Say = std::function<void(const QString& text, bool critical)>;

// Range rules. They return the value to use and tell the user when it had to change.
std::int32_t LimitArbLength(std::int32_t n, const Say& say);

// Sign and point rules of the Y fields.
QString ToggleMinusSign(const QString& text);
bool CheckEntryPosition(const QString& text, int caret, const Say& say);
bool CheckRadixPoint(const QString& text, int caret, const Say& say);

// The key filters and commits of the length field and the four coordinate fields, and the
// two buttons that use the committed coordinates.
class EntryRules {
  public:
    EntryRules(WaveDocument& document, Say say);

    std::int32_t ArbLineStartX = 0;
    std::int32_t ArbLineStopX = 0;
    float ArbLineStartY = 0.0f;
    float ArbLineStopY = 0.0f;

    // key: the character code; set to 0 to cancel the key.
    void lengthKeyPress(TextBox& box, int& key);
    void xKeyPress(TextBox& box, int& key, std::int32_t& committed);
    void yKeyPress(TextBox& box, int& key, float& committed);

    std::int32_t LimitCoordinateX(std::int32_t x);
    QString LimitCoordinateY(float y);

    void setPoint(TextBox& startX, TextBox& startY, TextBox& stopX, TextBox& stopY);
    void setLine();

  private:
    void commitLength(TextBox& box);

    WaveDocument& m_doc;
    Say m_say;
};

} // namespace ww
