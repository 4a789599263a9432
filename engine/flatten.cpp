#include "engine/flatten.h"

#include "engine/cpu/copy.h"
#include "engine/string_builder.h"
#include "engine/text.h"
#include "report/locations.h"
#include "report/step_runner.h"

namespace mv::engine {

namespace {

// The text without its carriage returns, line feeds, "/", ">" and "<".
std::u16string withoutMarkup(std::u16string_view text) {
    std::u16string out(text.size(), u'\0');
    out.resize(cpu::copyWithoutMarkup(text.data(), text.size(), out.data()));
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
