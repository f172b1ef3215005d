// A program that holds a file open and shares it with nobody, as a running game holds its files:
//     quend_file_holder FILE READY
// Opens FILE without sharing, then creates READY and keeps the file for at most a minute (the
// test that started it ends it sooner). Exit code 1 when FILE cannot be opened.

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 2;
    const HANDLE held = ::CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return 1;
    const HANDLE ready = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE)
        ::CloseHandle(ready);
    ::Sleep(60000);
    ::CloseHandle(held);
    return 0;
}
