#pragma once
// Typed transfers: one routine per type moves a variable to or from an archive, in the
// direction its flags say, and answers the archive so calls chain. Body integers are
// little-endian on every host. Used by whoever fills or reads a message, one thread at a time.
//
// A record joins in by declaring, in its own namespace (found by argument-dependent lookup),
//     corelib::archive& transfer(corelib::archive& ar, Record& r);
// that chains its fields' transfers. It may also declare the fewest bytes one record takes on
// the wire, which lets a received sequence count be checked more tightly (default 1):
//     static constexpr uint32_t wire_min_size = 6;

#include <cstdint>
#include <limits>
#include <list>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "corelib/archive.h"

namespace corelib {

// Longest text a received string may hold: the read goes through a 4096-byte scratch area and
// its terminator takes one byte.
inline constexpr int32_t max_string_length = 4095;

archive& transfer(archive& ar, int32_t& value);
archive& transfer(archive& ar, uint32_t& value);
archive& transfer(archive& ar, int16_t& value);
archive& transfer(archive& ar, uint16_t& value);
archive& transfer(archive& ar, uint8_t& value);
archive& transfer(archive& ar, bool& value);
archive& transfer(archive& ar, std::string& value);

template <class T>
archive& transfer(archive& ar, std::vector<T>& items);
template <class T>
archive& transfer(archive& ar, std::list<T>& items);

namespace detail {
template <class T>
inline constexpr bool is_sequence = false;
template <class T>
inline constexpr bool is_sequence<std::vector<T>> = true;
template <class T>
inline constexpr bool is_sequence<std::list<T>> = true;
}  // namespace detail

// The fewest wire bytes one T takes; a count that the bytes left cannot hold is refused.
template <class T>
constexpr uint32_t wire_min_size() {
    if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, uint8_t>) {
        return 1;
    } else if constexpr (std::is_same_v<T, int16_t> || std::is_same_v<T, uint16_t>) {
        return 2;
    } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, uint32_t>) {
        return 4;
    } else if constexpr (std::is_same_v<T, std::string> || detail::is_sequence<T>) {
        return 4;  // the length or count word
    } else if constexpr (requires { T::wire_min_size; }) {
        static_assert(T::wire_min_size >= 1);
        return T::wire_min_size;
    } else {
        return 1;
    }
}

namespace detail {

// Writes the count and then every element; loading empties the container, then appends count
// elements, refusing a count that the bytes left could not hold.
template <class Sequence>
archive& transfer_sequence(archive& ar, Sequence& items) {
    using T = typename Sequence::value_type;
    if (ar.loading) {
        items.clear();
        int32_t count = 0;
        transfer(ar, count);
        if (ar.malformed() || count <= 0)
            return ar;
        if (static_cast<uint32_t>(count) > ar.remaining() / wire_min_size<T>()) {
            ar.mark_malformed();
            return ar;
        }
        for (int32_t i = 0; i < count; ++i) {
            T item{};
            transfer(ar, item);
            if (ar.malformed()) {
                items.clear();
                return ar;
            }
            items.push_back(std::move(item));
        }
    } else if (ar.storing) {
        if (items.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
            throw std::length_error("sequence too long for a message");
        }
        int32_t count = static_cast<int32_t>(items.size());
        transfer(ar, count);
        for (T& item : items)
            transfer(ar, item);
    }
    return ar;
}

}  // namespace detail

template <class T>
archive& transfer(archive& ar, std::vector<T>& items) {
    return detail::transfer_sequence(ar, items);
}

template <class T>
archive& transfer(archive& ar, std::list<T>& items) {
    return detail::transfer_sequence(ar, items);
}

}  // namespace corelib
