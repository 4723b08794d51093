#pragma once

#include <string>

// A figure judged by its ratio to a baseline measured in the same run.
void registerRatio(const std::string& label, const std::string& measured,
                   const std::string& baseline, double goal);
