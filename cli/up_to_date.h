// --update, as cp -u: a source whose result is at least as new as the source
// is not converted again, so a retried or pre-empted run converts only what
// is missing or stale. A result is complete or absent, so one that stands is
// whole.
#pragma once

#include <string>

namespace mv::cli {

// Whether `result` is a regular file whose last change is not older than that
// of `source`. False when either cannot be looked at: converting again then
// says why.
bool resultIsCurrent(const std::u16string& source, const std::u16string& result);

}  // namespace mv::cli
