#include "engine/onepass/narrow_text.h"

#include "engine/codepage.h"
#include "engine/cpu/copy.h"
#include "engine/fresh_memory.h"

namespace mv::engine::onepass {

void narrowInto(std::u16string_view chunk, NarrowText& out) {
    // A buffer of the chunk's size already (every full chunk after the
    // first) is written over without being cleared.
    resizeFaultedIn(out.bytes, chunk.size());
    const cpu::NarrowNote note =
        cpu::narrowCharsNoting(chunk.data(), chunk.size(), ansiCodeTable(), out.bytes.data());
    out.foreign = note.foreign;
    out.foreignAfterLt = note.foreignAfterLt;
}

NarrowText narrow(std::u16string_view chunk) {
    NarrowText out;
    narrowInto(chunk, out);
    return out;
}

NarrowText narrow(std::string bytes) {
    NarrowText out;
    out.bytes = std::move(bytes);
    return out;
}

std::u16string widen(std::string_view bytes) {
    std::u16string out;
    decodeAnsi(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return out;
}

}  // namespace mv::engine::onepass
