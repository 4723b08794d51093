#pragma once

#include <cstddef>
#include <cstdint>

// Fuzz targets: each feeds one input to a reader and checks what must always hold. A broken
// rule aborts, which the fuzzer and the corpus replay both report.
namespace ww::fuzz {
void waveFile(const std::uint8_t* data, std::size_t size);
void formula(const std::uint8_t* data, std::size_t size);
void table(const std::uint8_t* data, std::size_t size);
void sound(const std::uint8_t* data, std::size_t size);
void expression(const std::uint8_t* data, std::size_t size);
void spiceRaw(const std::uint8_t* data, std::size_t size);
void byTime(const std::uint8_t* data, std::size_t size);
// What an oscilloscope and its profile say: the first byte chooses a profile's text, a preamble
// or field answer, a block header, or data in one of the encodings.
void scopeAnswers(const std::uint8_t* data, std::size_t size);
} // namespace ww::fuzz
