// An append-only container whose elements never move: it grows in fixed-size chunks,
// so a pointer to an element stays valid for the container's life and a position
// is found in O(1). Reports hold their folder records in one of these.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace tvl {

template <class T, std::size_t ChunkSize = 1024>
class StableVector {
public:
    StableVector() = default;
    StableVector(const StableVector&) = delete;
    StableVector& operator=(const StableVector&) = delete;

    template <class... Args>
    T& emplace_back(Args&&... args)
    {
        if (m_size % ChunkSize == 0 && m_size / ChunkSize == m_chunks.size()) {
            m_chunks.push_back(std::unique_ptr<Storage[]>(new Storage[ChunkSize]));
        }
        Storage& slot = m_chunks[m_size / ChunkSize][m_size % ChunkSize];
        T* p = new (&slot) T(std::forward<Args>(args)...);
        ++m_size;
        return *p;
    }

    void clear()
    {
        for (std::size_t i = m_size; i > 0; --i)
            ptr(i - 1)->~T();
        m_size = 0;
        m_chunks.clear();
    }

    ~StableVector() { clear(); }

private:
    struct alignas(T) Storage {
        unsigned char bytes[sizeof(T)];
    };
    T* ptr(std::size_t i) const
    {
        return std::launder(reinterpret_cast<T*>(&m_chunks[i / ChunkSize][i % ChunkSize]));
    }

    std::vector<std::unique_ptr<Storage[]>> m_chunks;
    std::size_t m_size = 0;
};

} // namespace tvl
