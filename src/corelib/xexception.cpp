#include "corelib/xexception.h"

#include <cstdio>

namespace corelib {

xexception::~xexception() = default;

std::string xexception::format_text(const char* format, va_list args) {
    char area[1000] = "";
    std::vsnprintf(area, sizeof area, format, args);  // cuts to 999 and terminates
    return area;
}

xwarning::xwarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_text = format_text(format, args);
    va_end(args);
}

xcritical::xcritical(const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_text = format_text(format, args);
    va_end(args);
}

}  // namespace corelib
