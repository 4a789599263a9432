// Any bytes, read as Windows-1252 text, through the conversion chain of one
// chunk: root tag, prolog, flattening, JSON writing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/codepage.h"
#include "engine/flatten.h"
#include "engine/json_writer.h"
#include "engine/prolog.h"
#include "report/error_report.h"

namespace {

// Failures are part of the chain's behaviour; only crashes and hangs count.
class NoReport : public mv::report::ErrorReport {
public:
    void show(const std::string&, const mv::report::Location&, int) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string chunk;
    mv::engine::decodeAnsi(data, size, chunk);
    NoReport report;
    const std::u16string root = mv::engine::SetMainXMLTag(chunk, report);
    for (auto flag : {mv::engine::kNo, mv::engine::kYes}) {
        std::u16string stripped;
        try {
            stripped = mv::engine::StripXmlProlog(chunk, root, flag, flag);
        } catch (...) {
            continue;  // a cut mark without its ">": the caller's step reports it
        }
        mv::engine::StringToJSON(mv::engine::ReplaceXML(stripped, report), report);
    }
    return 0;
}
