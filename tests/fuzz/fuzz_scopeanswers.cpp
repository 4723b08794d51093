#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ww::fuzz::scopeAnswers(data, size);
    return 0;
}
