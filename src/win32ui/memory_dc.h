#pragma once
// A memory device context compatible with another, holding one selected bitmap until it goes:
// the bitmap is put back out and the context deleted. GUI thread only.

#include <windows.h>

namespace win32ui {

class CMemoryDC final {
public:
    CMemoryDC(HDC compatibleWith, HBITMAP bitmap)
        : m_hDC(::CreateCompatibleDC(compatibleWith)),
          m_hOld(m_hDC != nullptr ? ::SelectObject(m_hDC, bitmap) : nullptr) {}
    ~CMemoryDC() {
        if (m_hDC == nullptr)
            return;
        ::SelectObject(m_hDC, m_hOld);
        ::DeleteDC(m_hDC);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;

    HDC get() const { return m_hDC; }
    explicit operator bool() const { return m_hDC != nullptr; }

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

}  // namespace win32ui
