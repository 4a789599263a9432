#include "cli/report_writer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "engine/native_text.h"

namespace mv::cli {

const char* statusName(FileRecord::Status status) {
    switch (status) {
        case FileRecord::Status::Converted:
            return "converted";
        case FileRecord::Status::Failed:
            return "failed";
        case FileRecord::Status::Replaced:
            return "replaced";
        case FileRecord::Status::Skipped:
            break;
    }
    return "skipped";
}

std::string jsonString(std::u16string_view text) {
    std::string out = "\"";
    char buffer[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            engine::appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00));
        } else if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c == u'\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF)) {
            // Lone surrogates: a byte of a name that is not UTF-8 (U+DC80..U+DCFF).
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
            out += buffer;
        } else {
            engine::appendUtf8(out, c);
        }
    }
    return out + "\"";
}

std::string jsonLine(const FileRecord& record) {
    std::string line = "{\"source\":" + jsonString(record.source) +
                       ",\"result\":" + jsonString(record.result) + ",\"status\":\"" +
                       statusName(record.status) +
                       "\",\"bytes_read\":" + std::to_string(record.bytesRead) +
                       ",\"bytes_written\":" + std::to_string(record.bytesWritten) +
                       ",\"chunks\":" + std::to_string(record.chunks) + ",\"reports\":[";
    for (std::size_t i = 0; i < record.reports.size(); ++i) {
        const auto& report = record.reports[i];
        if (i > 0) line += ',';
        line += "{\"description\":" + jsonString(engine::fromNative(report.description)) +
                ",\"procedure\":" + jsonString(engine::fromNative(report.procedure)) +
                ",\"step\":" + std::to_string(report.step) + "}";
    }
    return line + "]}";
}

ReportWriter::ReportWriter(const std::string& path) {
    if (path == "-") {
        m_file = stdout;
        return;
    }
    m_file = std::fopen(path.c_str(), "w");
    if (m_file == nullptr) throw std::runtime_error(path + ": " + std::strerror(errno));
    m_owned = true;
}

ReportWriter::~ReportWriter() {
    close();
}

void ReportWriter::write(const FileRecord& record) {
    if (m_file == nullptr) return;
    std::string line = jsonLine(record);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), m_file);
}

bool ReportWriter::close() {
    if (m_file == nullptr) return true;
    bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file);
    if (m_owned) ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    return ok;
}

}  // namespace mv::cli
