#pragma once
// The connection layer's exceptions: xwarning for a broken precondition of a socket or thread
// call, xcritical for a resource that could not be had. Texts are formatted printf-style and cut
// to 999 characters. Any thread may raise them.
//
// The raising place puts its file and line first:
//     throw xwarning("%s:%d send failed", QUEND_HERE);

#include <cstdarg>
#include <exception>
#include <string>
#include <utility>

#define QUEND_HERE __FILE__, __LINE__

namespace corelib {

class xexception : public std::exception {
public:
    explicit xexception(std::string text) : m_text(std::move(text)) {}
    ~xexception() override;
    const char* what() const noexcept override { return m_text.c_str(); }

protected:
    xexception() = default;
    // Formats into a 1000-byte area, as the raising texts are kept.
    static std::string format_text(const char* format, va_list args)
        __attribute__((format(printf, 1, 0)));

    std::string m_text;
};

class xwarning final : public xexception {
public:
    explicit xwarning(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

class xcritical final : public xexception {
public:
    explicit xcritical(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

}  // namespace corelib
