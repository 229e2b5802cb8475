#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace vigix {

// Fixed-size array indexed from 1, as rounds and response slots are numbered. An index outside 1..N is a
// programming fault and throws instead of touching memory beside the array.
template <typename T, int N> class OneBasedArray
{
public:
    static constexpr int size() { return N; }

    T &operator[](int i) { return m_items[check(i)]; }
    const T &operator[](int i) const { return m_items[check(i)]; }

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    bool operator==(const OneBasedArray &other) const = default;

private:
    static std::size_t check(int i)
    {
        if (i < 1 || i > N)
            throw std::out_of_range("index " + std::to_string(i) + " outside 1.." + std::to_string(N));
        return static_cast<std::size_t>(i - 1);
    }

    std::array<T, N> m_items{};
};

} // namespace vigix
