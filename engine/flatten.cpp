#include "engine/flatten.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/cpu/isa.h"
#include "engine/string_builder.h"
#include "engine/text.h"
#include "report/locations.h"
#include "report/step_runner.h"

namespace mv::engine {

namespace {

// The text without its carriage returns, line feeds, "/", ">" and "<".
std::u16string withoutMarkup(std::u16string_view text) {
    std::u16string out(text.size(), u'\0');
    const char16_t* src = text.data();
    char16_t* dst = out.data();
    const std::size_t n = text.size();
    std::size_t kept = 0;
    std::size_t i = 0;
    auto keepOne = [&](char16_t c) {
        bool drop = c == u'\r' || c == u'\n' || c == u'/' || c == u'>' || c == u'<';
        dst[kept] = c;
        kept += drop ? 0 : 1;
    };
#if defined(__SSE2__)
    if (cpu::activeIsa() >= cpu::Isa::Sse2) {
        // Eight characters at a time move as they are when none of them goes.
        const __m128i cr = _mm_set1_epi16('\r');
        const __m128i lf = _mm_set1_epi16('\n');
        const __m128i slash = _mm_set1_epi16('/');
        const __m128i gt = _mm_set1_epi16('>');
        const __m128i lt = _mm_set1_epi16('<');
        for (; i + 8 <= n; i += 8) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            __m128i drop = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf)),
                _mm_or_si128(_mm_cmpeq_epi16(v, slash),
                             _mm_or_si128(_mm_cmpeq_epi16(v, gt), _mm_cmpeq_epi16(v, lt))));
            if (_mm_movemask_epi8(drop) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + kept), v);
                kept += 8;
            } else {
                for (std::size_t k = i; k < i + 8; ++k) keepOne(src[k]);
            }
        }
    }
#endif
    for (; i < n; ++i) keepOne(src[i]);
    out.resize(kept);
    return out;
}

}  // namespace

std::u16string ReplaceXML(std::u16string_view text, report::ErrorReport& report) {
    report::StepRunner step(report, report::locations::kReplaceXML);
    std::u16string_view T;
    Pos P;
    Pos L;
    Pos C;
    Pos G;
    cStringBuilder O;
    std::u16string result;
    step(100, [&] { T = text; });
    step(102, [&] { P = Pos(1); });
    step(104, [&] { O.Clear(); });
    const Pos end(length(T));
    while (step.loopTest(106, [&] { return P < end; })) {
        step(108, [&] { L = findFrom(P, T, u'<'); });
        if (step.test(110, [&] { return !L.found(); })) {
            step(138, [&] { P = end; });
            continue;
        }
        step(112, [&] { P = findFrom(L, T, u'>'); });
        if (step.test(114, [&] { return !P.found(); })) {
            step(136, [&] { P = end; });
            continue;
        }
        step(116, [&] {
            O.Append(charsFromTo(T, L + 1, P - 1));
            O.Append(u'~');
        });
        step(118, [&] { C = findFrom(P, T, u"</"); });
        if (step.test(120, [&] { return !C.found(); })) {
            step(134, [&] { P = end; });
            continue;
        }
        step(122, [&] { O.Append(charsFromTo(T, P + 1, C - 1)); });
        step(124, [&] { G = findFrom(C, T, u'>'); });
        if (step.test(126, [&] { return !G.found(); })) {
            step(132, [&] { P = end; });
            continue;
        }
        step(128, [&] { O.Append(u'|'); });
        step(130, [&] { P = G; });
    }
    step(140, [&] { result = withoutMarkup(O.view()); });
    return result;
}

}  // namespace mv::engine
