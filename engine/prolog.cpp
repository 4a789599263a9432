#include "engine/prolog.h"

#include <algorithm>
#include <vector>

#include "engine/cpu/scan.h"
#include "report/failure.h"
#include "report/locations.h"
#include "report/step_runner.h"

// GCC 12 loses track of Q's initialisation through the step lambdas and
// warns falsely at -O2 and above.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace mv::engine {

namespace {

// Where "<?" and "<!" begin in a chunk: the only places where a declaration,
// an "<?xml:" instruction or a DOCTYPE can start. One scan of the chunk then
// answers all the searches for them, instead of one scan each.
class HeadMarks {
public:
    explicit HeadMarks(std::u16string_view chunk) : m_chunk(chunk) {
        const char16_t* p = chunk.data();
        const std::size_t end = chunk.empty() ? 0 : chunk.size() - 1;
        for (std::size_t i = 0; i < end; ++i) {
            i = cpu::pair(p, i, end, 1, u'<', u'<', u'?', u'!');
            if (i == cpu::kNone) break;
            m_starts.push_back(i);
        }
    }

    // The same answer as findFrom(from, text, needle, Case::Ignore), for a
    // needle that begins with "<?" or "<!" and a text that is the chunk
    // without its first `cut` characters.
    Pos find(Pos from, std::u16string_view text, std::u16string_view needle) const {
        if (from.value() < 1) throw report::Failure(report::FailureKind::InvalidArgument);
        if (from.value() > length(text)) return Pos();
        const std::size_t cut = m_chunk.size() - text.size();
        auto first = std::lower_bound(m_starts.begin(), m_starts.end(), cut + from.index());
        for (auto it = first; it != m_starts.end(); ++it) {
            std::size_t at = *it - cut;
            if (at + needle.size() > text.size()) break;
            if (findFrom(Pos(1), text.substr(at, needle.size()), needle, Case::Ignore).found()) {
                return Pos(static_cast<std::int64_t>(at) + 1);
            }
        }
        return Pos();
    }

private:
    std::u16string_view m_chunk;
    std::vector<std::size_t> m_starts;
};

}  // namespace

std::u16string SetMainXMLTag(std::u16string_view chunk, report::ErrorReport& report) {
    report::StepRunner step(report, report::locations::kSetMainXMLTag);
    std::u16string result;
    std::u16string_view T;
    Pos P;
    Pos Q;
    step(102, [&] { T = chunk; });
    step(106, [&] { P = Pos(1); });
    HeadMarks marks(chunk);
    step(108, [&] { Q = marks.find(P, T, u"<?xml version"); });
    if (step.test(110, [&] { return Q.found(); })) step(112, [&] { P = findFrom(Q, T, u">"); });
    step(116, [&] { Q = marks.find(P, T, u"<?xml:"); });
    if (step.test(118, [&] { return Q.found(); })) step(120, [&] { P = findFrom(Q, T, u">"); });
    step(124, [&] { Q = marks.find(P, T, u"<!DOCTYPE"); });
    if (step.test(126, [&] { return Q.found(); })) step(128, [&] { P = findFrom(Q, T, u">"); });
    step(132, [&] { Q = findFrom(P, T, u"<"); });
    if (step.test(134, [&] { return Q.value() < 1; })) return result;
    step(136, [&] { P = findFrom(Q, T, u">"); });
    if (step.test(138, [&] { return P.value() <= 0; })) return result;
    step(140, [&] { result = charsFromTo(T, Q + 1, P - 1); });
    return result;
}

std::u16string StripXmlProlog(std::u16string_view chunk, std::u16string_view rootTag,
                              Flag16 skipHead, Flag16 skipTail) {
    std::u16string_view T = chunk;
    Pos P(1);
    const HeadMarks marks(chunk);
    // Find the mark, then cut the text through the ">" that follows it.
    auto cutThrough = [&](Pos from, std::u16string_view mark) {
        Pos B = mark[1] == u'?' || mark[1] == u'!' ? marks.find(from, T, mark)
                                                   : findFrom(from, T, mark, Case::Ignore);
        if (!B.found()) return;
        P = findFrom(B, T, u">");
        if (P.found()) T = withoutFirst(T, P);
    };
    if (!skipHead.isSet()) {
        cutThrough(Pos(1), u"<?xml version");
        cutThrough(P, u"<?xml:");
        cutThrough(P, u"<!DOCTYPE");
    }
    if (!rootTag.empty()) {
        if (!skipHead.isSet()) cutThrough(P, u"<" + std::u16string(rootTag) + u" ");
        if (!skipTail.isSet()) {
            Pos B = findFrom(P, T, u"</" + std::u16string(rootTag) + u">", Case::Ignore);
            if (B.found()) {
                Pos E = findFrom(B, T, u">");
                if (E.found()) T = firstChars(T, E + 1);
            }
        }
    }
    return std::u16string(T);
}

}  // namespace mv::engine
