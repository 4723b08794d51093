#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Number texts of the fields, the factor boxes and the labels. They always read and write the
// point, whatever the user's locale.
namespace ww {

// The length range message: "Arbitrary length from 4 to 16000 ", its last blank included.
QString lengthMessage();

// "0.000" pattern: "-0.500", "1.000".
QString formatThreeDecimals(double v);

// Conversions of a field's text; nullopt when the text is not a number the field can hold.
std::optional<std::int32_t> parseWholeNumber(const QString& text);
std::optional<float> parseSingle(const QString& text);
// A finite number in double precision: a point or a comma, an exponent if any.
std::optional<double> parseNumber(const QString& text);
// What a well-formed decimal number (with a point) out of the double range stands for: ±inf
// beyond it, ±0 below it. The readers keep a row below it and refuse one beyond it by line.
double beyondDoubleRange(const char* first, const char* last);

} // namespace ww
