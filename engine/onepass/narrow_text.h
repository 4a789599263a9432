// Chunks as code-page bytes, one per character, for the one-pass converter.
#pragma once

#include <string>
#include <string_view>

namespace mv::engine::onepass {

// A chunk as code-page bytes. A UTF-16 chunk is narrowed to it; its
// characters outside the code page become "?", and the two flags say where
// that could make a search find what it would not find in the 16-bit text.
struct NarrowText {
    std::string bytes;
    bool foreign = false;         // some character became "?"
    bool foreignAfterLt = false;  // one of them right after a "<"
};

// Narrows a 16-bit chunk into `out`, whose buffer is reused, noting
// characters outside the code page.
void narrowInto(std::u16string_view chunk, NarrowText& out);
NarrowText narrow(std::u16string_view chunk);
// The code-page bytes of a text, with the same note.
NarrowText narrow(std::string bytes);
// The characters of code-page bytes.
std::u16string widen(std::string_view bytes);

}  // namespace mv::engine::onepass
