#pragma once

#include <string>

// A figure judged by its ratio to a baseline measured in the same run.
// `counter` names a user counter to compare instead of the time per iteration.
void registerRatio(const std::string& label, const std::string& measured,
                   const std::string& baseline, double goal, const std::string& counter = {});
