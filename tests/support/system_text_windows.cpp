#include <windows.h>

#include "tests/support/system_text.h"

namespace testing_support {

namespace {

std::string systemText(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
        nullptr);
    std::string result = length != 0 && text != nullptr ? std::string(text, length) : "";
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!result.empty() &&
           (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) {
        result.pop_back();
    }
    return result;
}

}  // namespace

std::string notOwnerText() {
    return systemText(ERROR_NOT_OWNER);
}
std::string abandonedText() {
    return systemText(ERROR_ABANDONED_WAIT_0);
}
std::string closedLineText() {
    return systemText(ERROR_INVALID_HANDLE);
}
std::string unpluggedLineText() {
    return systemText(ERROR_NOT_READY);
}

std::string openFailureText(const std::string& name) {
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return "";
    }
    return systemText(GetLastError());
}

}  // namespace testing_support
