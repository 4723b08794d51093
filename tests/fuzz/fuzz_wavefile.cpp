#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ww::fuzz::waveFile(data, size);
    return 0;
}
