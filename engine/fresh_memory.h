// Buffers whose pages are asked for at once. A page a process touches for
// the first time costs a page fault; in a virtual machine like the one the
// benchmarks run on that is about 11 µs, while one call that makes all of a
// buffer's pages present costs about 1 µs a page. A large file's ring of
// chunk buffers touches a few hundred fresh pages before it runs.
#pragma once

#include <cstddef>
#include <string>

namespace mv::engine {

// Makes the whole pages of [data, data + bytes) present and writable. Does
// nothing for a buffer of a few pages, or where the kernel cannot (before
// Linux 5.14); the pages then fault in as they are touched.
void faultIn(void* data, std::size_t bytes);

// text.resize(size), with the room it has to grow into faulted in at once.
template <class Char>
void resizeFaultedIn(std::basic_string<Char>& text, std::size_t size) {
    if (text.capacity() < size) {
        text.reserve(size);
        faultIn(text.data(), size * sizeof(Char));
    }
    text.resize(size);
}

}  // namespace mv::engine
