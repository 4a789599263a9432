// A byte buffer that grows without filling its spare room: the one-pass
// writer asks for the most a piece can take, writes through a pointer and
// then says how much it used.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

#include "engine/fresh_memory.h"

namespace mv::engine::onepass {

class OutputBytes {
public:
    std::size_t size() const { return m_size; }
    std::string_view view() const { return {m_data.get(), m_size}; }
    void clear() { m_size = 0; }
    // A pointer to room for at least n more bytes after the content.
    char* reserveMore(std::size_t n) {
        if (m_capacity - m_size < n) grow(n);
        return m_data.get() + m_size;
    }
    char* data() { return m_data.get(); }
    void setSize(std::size_t n) { m_size = n; }
    void append(std::string_view s) {
        std::memcpy(reserveMore(s.size()), s.data(), s.size());
        m_size += s.size();
    }
    // Writes over the room for n more bytes at once. Memory that another
    // core read last (a result written out by another thread) makes each
    // first store of a conversion wait for that core to give its line up;
    // one wide pass asks for all the lines together.
    void claimRoom(std::size_t n) { std::memset(reserveMore(n), 0, n); }
    // Gives back memory beyond `keep` bytes of capacity.
    void shrinkTo(std::size_t keep) {
        if (m_capacity > keep && m_size <= keep) reallocate(keep);
    }

private:
    void grow(std::size_t n) {
        std::size_t want = m_size + n;
        std::size_t capacity = m_capacity < 4096 ? 4096 : m_capacity;
        while (capacity < want) capacity *= 2;
        reallocate(capacity);
    }
    void reallocate(std::size_t capacity) {
        auto data = std::make_unique_for_overwrite<char[]>(capacity);
        faultIn(data.get(), capacity);
        if (m_size > 0) std::memcpy(data.get(), m_data.get(), m_size);
        m_data = std::move(data);
        m_capacity = capacity;
    }

    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

}  // namespace mv::engine::onepass
