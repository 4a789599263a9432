// The Unicode simple case mappings, generated into case_table.cpp by
// json/tools/gen_case_table.py. Runs are sorted by first code point and do
// not overlap.
#pragma once

#include <cstdint>
#include <span>

namespace mv::json {

struct CaseRun {
    char32_t first;
    char32_t last;
    std::int32_t delta;
    std::uint8_t stride;  // 1: every code point of the run; 2: every other one
};

std::span<const CaseRun> lowerCaseRuns();
std::span<const CaseRun> upperCaseRuns();

}  // namespace mv::json
