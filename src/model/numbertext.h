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

} // namespace ww
