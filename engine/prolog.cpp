#include "engine/prolog.h"

#include "report/locations.h"
#include "report/step_runner.h"

// GCC 12 loses track of Q's initialisation through the step lambdas and
// warns falsely at -O2 and above.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace mv::engine {

std::u16string SetMainXMLTag(std::u16string_view chunk, report::ErrorReport& report) {
    report::StepRunner step(report, report::locations::kSetMainXMLTag);
    std::u16string result;
    std::u16string_view T;
    Pos P;
    Pos Q;
    step(102, [&] { T = chunk; });
    step(106, [&] { P = Pos(1); });
    step(108, [&] { Q = findFrom(P, T, u"<?xml version", Case::Ignore); });
    if (step.test(110, [&] { return Q.found(); })) step(112, [&] { P = findFrom(Q, T, u">"); });
    step(116, [&] { Q = findFrom(P, T, u"<?xml:", Case::Ignore); });
    if (step.test(118, [&] { return Q.found(); })) step(120, [&] { P = findFrom(Q, T, u">"); });
    step(124, [&] { Q = findFrom(P, T, u"<!DOCTYPE", Case::Ignore); });
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
    // Find the mark, then cut the text through the ">" that follows it.
    auto cutThrough = [&](Pos from, std::u16string_view mark) {
        Pos B = findFrom(from, T, mark, Case::Ignore);
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
