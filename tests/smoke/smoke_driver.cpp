// Drives the real program from outside, as an operator would, for the smoke test under wine:
//   tavrin-smoke-driver find PREFIX [SECONDS]   waits for a top-level window whose title starts
//                                               with PREFIX, prints its title (UTF-8), exit 0
//   tavrin-smoke-driver close PREFIX [SECONDS]  closes it through its close box and waits until
//                                               it is gone
// Exit 1 when no such window appears (or it does not go) in time.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
    std::wstring prefix;
    HWND found = nullptr;
    std::wstring title;
};

BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    wchar_t title[1024] = {};
    GetWindowTextW(window, title, 1024);
    if (std::wstring(title).rfind(search->prefix, 0) == 0 && IsWindowVisible(window)) {
        search->found = window;
        search->title = title;
        return FALSE;
    }
    return TRUE;
}

Search Find(const std::wstring& prefix) {
    Search search;
    search.prefix = prefix;
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    return search;
}

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: tavrin-smoke-driver find|close PREFIX [SECONDS]\n", stderr);
        return 2;
    }
    const std::wstring command = argv[1];
    const std::wstring prefix = argv[2];
    const int seconds = argc > 3 ? _wtoi(argv[3]) : 60;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;

    Search search;
    while ((search = Find(prefix)).found == nullptr) {
        if (GetTickCount64() > deadline)
            return 1;
        Sleep(100);
    }
    if (command == L"find") {
        std::printf("%s\n", Utf8(search.title).c_str());
        return 0;
    }
    if (command != L"close")
        return 2;
    PostMessageW(search.found, WM_SYSCOMMAND, SC_CLOSE, 0);
    while (IsWindow(search.found)) {
        if (GetTickCount64() > deadline)
            return 1;
        Sleep(100);
    }
    return 0;
}
