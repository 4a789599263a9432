#include "engine/string_builder.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/text.h"
#include "report/failure.h"

namespace mv::engine {

using report::Failure;
using report::FailureKind;

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();

std::int32_t checked(std::int64_t value) {
    if (value > kMax || value < -kMax - 1) throw Failure(FailureKind::Overflow);
    return static_cast<std::int32_t>(value);
}

std::int64_t bytesOf(std::u16string_view s) {
    return static_cast<std::int64_t>(s.size()) * 2;
}

}  // namespace

void cStringBuilder::ChunkSize(std::int32_t n) {
    std::int32_t bytes = checked(std::int64_t{n} * 2);
    if (bytes < 2) throw Failure(FailureKind::InvalidArgument);
    m_chunk = bytes;
}

std::u16string cStringBuilder::toString() const {
    if (m_used < 1) return {};
    return m_buffer.substr(0, static_cast<std::size_t>(Length()));
}

void cStringBuilder::growTo(std::int64_t bytesNeeded) {
    if (bytesNeeded <= m_capacity) return;
    std::int64_t chunks = (bytesNeeded - m_capacity + m_chunk - 1) / m_chunk;
    std::int32_t capacity = checked(m_capacity + chunks * m_chunk);
    m_buffer.resize(static_cast<std::size_t>(capacity / 2), u' ');
    m_capacity = capacity;
}

void cStringBuilder::TheString(std::u16string_view s) {
    if (s.empty()) {
        Clear();
        return;
    }
    growTo(bytesOf(s));
    std::copy(s.begin(), s.end(), m_buffer.begin());
    m_used = checked(bytesOf(s));
}

void cStringBuilder::Clear() {
    m_buffer = std::u16string();
    m_used = 0;
    m_capacity = 0;
}

void cStringBuilder::AppendNL(std::u16string_view s) {
    Append(s);
    Append(u"\r\n");
}

__attribute__((noinline)) void cStringBuilder::appendLong(std::u16string_view s) {
    std::memmove(m_buffer.data() + Length(), s.data(), s.size() * 2);
    m_used += static_cast<std::int32_t>(s.size() * 2);
}

void cStringBuilder::appendGrowing(std::u16string_view s) {
    std::int64_t needed = std::int64_t{m_used} + bytesOf(s);
    checked(needed);
    // A piece may point into our own buffer (the caller's view); keep it alive.
    if (!s.empty() && s.data() >= m_buffer.data() && s.data() < m_buffer.data() + m_buffer.size()) {
        std::u16string copy(s);
        appendGrowing(copy);
        return;
    }
    growTo(needed);
    std::memcpy(m_buffer.data() + Length(), s.data(), s.size() * 2);
    m_used = static_cast<std::int32_t>(needed);
}

void cStringBuilder::Insert(std::int32_t i, std::u16string_view s) {
    if (i < 0 || std::int64_t{i} * 2 > m_used) throw Failure(FailureKind::SubscriptOutOfRange);
    std::u16string piece(s);  // s may alias the buffer that is about to move
    std::int64_t needed = std::int64_t{m_used} + bytesOf(piece);
    growTo(needed);
    char16_t* at = m_buffer.data() + i;
    std::memmove(at + piece.size(), at, static_cast<std::size_t>(Length() - i) * 2);
    // 16-bit text with its length beside it, never read as a C string.
    std::memcpy(at, piece.data(), piece.size() * 2);  // NOLINT(bugprone-not-null-terminated-result)
    m_used = checked(needed);
}

void cStringBuilder::Remove(std::int32_t i, std::int32_t n) {
    if (i < 0 || n < 0 || std::int64_t{i} * 2 > m_used || (std::int64_t{i} + n) * 2 > m_used) {
        throw Failure(FailureKind::SubscriptOutOfRange);
    }
    char16_t* at = m_buffer.data() + i;
    std::memmove(at, at + n, static_cast<std::size_t>(Length() - i - n) * 2);
    m_used -= n * 2;
}

std::int32_t cStringBuilder::Find(std::u16string_view s, std::int32_t start, int mode) const {
    Pos from(start < 1 ? 1 : start);
    if (from.value() > length(m_buffer)) return 0;
    Pos p = findFrom(from, m_buffer, s, mode == 1 ? Case::Ignore : Case::Exact);
    return p.found() && p.value() < Length() ? static_cast<std::int32_t>(p.value()) : 0;
}

void cStringBuilder::HeapMinimize() {
    if (m_capacity - m_used <= m_chunk) return;
    while (m_capacity - m_used > m_chunk) m_capacity -= m_chunk;
    m_buffer.resize(static_cast<std::size_t>(m_capacity / 2));
    m_buffer.shrink_to_fit();
}

}  // namespace mv::engine
