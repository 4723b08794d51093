#pragma once

#include <bit>
#include <cstdint>

namespace ww {

// What one reading may cost at most. A file that states its size is refused beyond
// `fileBytes` before it is read; one that does not (a pipe, a device) is stopped there. No
// line may be longer than `lineBytes`, and no more than `values` numbers are kept (all
// columns or channels together: 40,000,000 doubles are 320 MB).
struct ReadLimits {
    std::int64_t fileBytes = std::int64_t(4) << 30; // 4 GiB
    std::int64_t lineBytes = std::int64_t(1) << 20; // 1 MiB
    std::int64_t values = 40'000'000;
};

// A cell a row left empty: a NaN of its own, told apart from a "nan" the file wrote.
inline const double kEmptyCell = std::bit_cast<double>(std::uint64_t(0x7FF8'0000'E3E3'E3E3));
inline bool isEmptyCell(double v) {
    return std::bit_cast<std::uint64_t>(v) == std::uint64_t(0x7FF8'0000'E3E3'E3E3);
}

} // namespace ww
