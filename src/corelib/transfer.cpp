#include "corelib/transfer.h"

#include <array>
#include <cstring>

namespace corelib {

namespace {

// Fixed little-endian order whatever the host's: the value goes through explicit bytes.
template <class T>
archive& transfer_integer(archive& ar, T& value) {
    using U = std::make_unsigned_t<T>;
    std::array<uint8_t, sizeof(T)> bytes{};
    if (ar.storing && !ar.loading) {
        const U bits = static_cast<U>(value);
        for (size_t i = 0; i < sizeof(T); ++i)
            bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
    ar.serialize(bytes.data(), sizeof(T));
    if (ar.loading) {
        uint32_t bits = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            bits |= uint32_t{bytes[i]} << (8 * i);
        value = static_cast<T>(static_cast<U>(bits));
    }
    return ar;
}

archive& load_string(archive& ar, std::string& value) {
    value.clear();
    int32_t length = 0;
    transfer(ar, length);
    if (ar.malformed())
        return ar;
    if (length < 0 || length > max_string_length ||
        static_cast<uint32_t>(length) > ar.remaining()) {
        ar.mark_malformed();
        return ar;
    }
    std::array<char, max_string_length + 1> scratch;
    ar.serialize(scratch.data(), static_cast<uint32_t>(length));
    scratch[length] = '\0';
    // The text ends at its first zero byte; the cursor has passed all of them anyway.
    value.assign(scratch.data(), std::strlen(scratch.data()));
    return ar;
}

archive& store_string(archive& ar, std::string& value) {
    if (value.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw std::length_error("string too long for a message");
    }
    int32_t length = static_cast<int32_t>(value.size());
    transfer(ar, length);
    ar.serialize(value.data(), static_cast<uint32_t>(length));
    return ar;
}

}  // namespace

archive& transfer(archive& ar, int32_t& value) {
    return transfer_integer(ar, value);
}
archive& transfer(archive& ar, uint32_t& value) {
    return transfer_integer(ar, value);
}
archive& transfer(archive& ar, int16_t& value) {
    return transfer_integer(ar, value);
}
archive& transfer(archive& ar, uint16_t& value) {
    return transfer_integer(ar, value);
}
archive& transfer(archive& ar, uint8_t& value) {
    return transfer_integer(ar, value);
}

archive& transfer(archive& ar, bool& value) {
    // Through a byte: any non-zero wire byte is true, and no invalid bool is ever formed.
    uint8_t byte = 0;
    if (ar.storing && !ar.loading)
        byte = value ? 1 : 0;
    transfer(ar, byte);
    if (ar.loading)
        value = byte != 0;
    return ar;
}

archive& transfer(archive& ar, std::string& value) {
    if (ar.loading)
        return load_string(ar, value);
    if (ar.storing)
        return store_string(ar, value);
    return ar;
}

}  // namespace corelib
