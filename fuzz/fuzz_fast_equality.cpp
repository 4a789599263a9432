// Any bytes through the one-pass chunk converter and through the reference
// procedures: the two must give the same bytes, and the one-pass converter
// must decline every chunk that the reference reports on. The first byte picks
// the decoding, the root tag rule and the flags; for a later-chunk rule the
// text up to the first 0 byte is the file's root tag.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/codepage.h"
#include "engine/cpu/isa.h"
#include "tests/support/chunk_equality.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;
    mv::test::ChunkCase c;
    c.utf16 = (mode & 1) != 0;
    c.declarationMissing = (mode & 2) != 0;
    c.skipHead = (mode & 4) ? mv::engine::kYes : mv::engine::kNo;
    c.skipTail = (mode & 8) ? mv::engine::kYes : mv::engine::kNo;
    auto decode = [&](const std::uint8_t* p, std::size_t n) {
        std::u16string text;
        if (c.utf16) {
            for (std::size_t i = 0; i + 1 < n; i += 2)
                text += static_cast<char16_t>(p[i] | (p[i + 1] << 8));
        } else {
            mv::engine::decodeAnsi(p, n, text);
        }
        return text;
    };
    if (mode & 16) {
        std::size_t cut = 0;
        while (cut < size && data[cut] != 0) ++cut;
        c.fileRoot = decode(data, cut);
        if (cut < size) ++cut;
        data += cut;
        size -= cut;
    }
    c.chunk = decode(data, size);
    // Every vector width the processor has must agree.
    const auto widest = static_cast<int>(mv::engine::cpu::bestIsa());
    mv::engine::cpu::useIsa(static_cast<mv::engine::cpu::Isa>((mode >> 5) % (widest + 1)));
    std::string difference = mv::test::chunkDifference(c);
    if (!difference.empty()) {
        std::fprintf(stderr, "%s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
