// Paths and messages cross between the system's 16-bit text and Linux's byte
// strings here. File names are UTF-8 by convention but may hold any bytes; a
// byte that is not part of valid UTF-8 becomes a lone surrogate U+DC80..U+DCFF
// and turns back into the same byte, so every name survives the round trip.
#pragma once

#include <string>
#include <string_view>

namespace mv::engine {

std::u16string fromNative(std::string_view bytes);
std::string toNative(std::u16string_view text);
// Appends one Unicode scalar value as UTF-8.
void appendUtf8(std::string& out, char32_t cp);

}  // namespace mv::engine
