// cStringBuilder: a text buffer that grows by fixed chunks, so that many
// small appends cost one copy each. Sizes are kept in bytes (two per
// character) in signed 32-bit fields; everything handed out or taken in is in
// characters. Spare room beyond the content is filled with blanks as it grows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mv::engine {

class cStringBuilder {
public:
    std::int32_t Length() const { return m_used / 2; }
    std::int32_t Capacity() const { return m_capacity / 2; }
    std::int32_t ChunkSize() const { return m_chunk / 2; }
    // Throws the overflow failure when 2n leaves the 32-bit range and the
    // invalid-argument failure for n below 1, with which nothing could grow.
    void ChunkSize(std::int32_t n);

    std::u16string toString() const;
    // The content without a copy; valid until the next change.
    std::u16string_view view() const { return std::u16string_view(m_buffer).substr(0, Length()); }

    void TheString(std::u16string_view s);
    void Clear();
    void AppendNL(std::u16string_view s);
    void Append(std::u16string_view s) {
        const std::int64_t needed = std::int64_t{m_used} + 2 * static_cast<std::int64_t>(s.size());
        if (needed > m_capacity) return appendGrowing(s);
        // Most pieces are a few characters; a call to memmove costs more than they do.
        if (s.size() > 16) return appendLong(s);
        char16_t* at = m_buffer.data() + m_used / 2;
        for (std::size_t i = 0; i < s.size(); ++i) at[i] = s[i];
        m_used = static_cast<std::int32_t>(needed);
    }
    // The by-value forms are part of the builder's interface and keep their copy.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    void AppendByVal(std::u16string s) { Append(s); }
    void Append(char16_t c) {
        if (m_used + 2 <= m_capacity) {
            m_buffer[static_cast<std::size_t>(m_used / 2)] = c;
            m_used += 2;
        } else {
            Append(std::u16string_view(&c, 1));
        }
    }
    // Index i is a 0-based offset; an index beyond the content raises error 9.
    void Insert(std::int32_t i, std::u16string_view s);
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    void InsertByVal(std::int32_t i, std::u16string s) { Insert(i, s); }
    void Remove(std::int32_t i, std::int32_t n);
    // 1-based position of s from `start` (mode 0 exact, 1 ignoring case),
    // searched over the whole buffer; 0 unless the match begins before the
    // last character of the content.
    std::int32_t Find(std::u16string_view s, std::int32_t start, int mode) const;
    void HeapMinimize();

private:
    void appendGrowing(std::u16string_view s);
    void appendLong(std::u16string_view s);
    void growTo(std::int64_t bytesNeeded);

    std::u16string m_buffer;  // Capacity() characters: content, then spare room
    std::int32_t m_chunk = 16384;
    std::int32_t m_used = 0;
    std::int32_t m_capacity = 0;
};

}  // namespace mv::engine
