// Drives the real program from outside, as an operator would, for the smoke test under wine:
//   tavrin-smoke-driver find PREFIX [SECONDS]   waits for a top-level window whose title starts
//                                               with PREFIX, prints its title (UTF-8), exit 0
//   tavrin-smoke-driver close PREFIX [SECONDS]  closes it through its close box and waits until
//                                               it is gone
//   tavrin-smoke-driver fonts PREFIX [SECONDS]  prints the face of its East Asian label and of
//                                               the caption buttons' symbols; exit 1 unless each
//                                               character of the label draws a glyph of its own
//                                               and the symbols come from Marlett
//   tavrin-smoke-driver pipe NAME PROGRAM [ARG...]
//                                               serves \\.\pipe\NAME (one instance) while
//                                               PROGRAM runs and exits with its status; 3 when
//                                               PROGRAM took the pipe's instance
// Exit 1 when no such window appears (or it does not go) in time.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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

bool EastAsian(const std::wstring& text) {
    for (wchar_t c : text)
        if (c >= 0x2E80)
            return true;
    return false;
}

struct Label {
    HWND window = nullptr;
    std::wstring text;
};

BOOL CALLBACK VisitChild(HWND window, LPARAM parameter) {
    auto* label = reinterpret_cast<Label*>(parameter);
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (!EastAsian(text))
        return TRUE;
    label->window = window;
    label->text = text;
    return FALSE;
}

std::wstring Face(HDC dc) {
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    return face;
}

// The pixels one character leaves on a white square. A character the font (and the fonts linked
// behind it) lacks draws the font's missing-glyph box, the same for every such character.
std::vector<DWORD> Ink(HDC dc, HBITMAP bitmap, wchar_t c) {
    constexpr int side = 64;
    PatBlt(dc, 0, 0, side, side, WHITENESS);
    TextOutW(dc, 0, 0, &c, 1);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(side * side);
    GetDIBits(dc, bitmap, 0, side, pixels.data(), &info, DIB_RGB_COLORS);
    for (DWORD& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

int Fonts(HWND window) {
    Label label;
    EnumChildWindows(window, VisitChild, reinterpret_cast<LPARAM>(&label));
    if (label.window == nullptr) {
        std::puts("fonts: the window has no East Asian label");
        return 1;
    }
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 64);
    HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    auto font = reinterpret_cast<HFONT>(SendMessageW(label.window, WM_GETFONT, 0, 0));
    HGDIOBJ old_font = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    const std::wstring label_face = Face(dc);

    std::vector<std::vector<DWORD>> glyphs;
    bool shown = true;
    const std::vector<DWORD> blank(64 * 64, 0xFFFFFF);
    for (wchar_t c : label.text) {
        if (c < 0x2E80)
            continue;
        std::vector<DWORD> ink = Ink(dc, bitmap, c);
        if (ink == blank || std::find(glyphs.begin(), glyphs.end(), ink) != glyphs.end())
            shown = false;
        glyphs.push_back(std::move(ink));
    }

    // The caption buttons draw their symbols in Marlett; without it another face stands in.
    HFONT marlett = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SYMBOL_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH, L"Marlett");
    SelectObject(dc, marlett);
    const std::wstring symbol_face = Face(dc);

    SelectObject(dc, old_font);
    SelectObject(dc, old_bitmap);
    DeleteObject(marlett);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);

    const bool symbols = symbol_face == L"Marlett";
    std::printf("fonts: label \"%s\" in \"%s\": %s\n", Utf8(label.text).c_str(),
                Utf8(label_face).c_str(),
                shown ? "every character has its glyph" : "characters missing (boxes)");
    std::printf("fonts: caption buttons in \"%s\": %s\n", Utf8(symbol_face).c_str(),
                symbols ? "symbols shown" : "Marlett missing (letters instead of symbols)");
    return shown && symbols ? 0 : 1;
}

// A program run with the pipe served, its output this one's; afterwards the pipe's one instance
// must still wait for its reader.
int ServePipe(int argc, wchar_t** argv) {
    const std::wstring pipe = L"\\\\.\\pipe\\" + std::wstring(argv[2]);
    // Buffered: a program that wrote to it is not held, and is told of.
    const HANDLE server = CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1,
                                           65536, 65536, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE) {
        std::fputs("smoke-driver: the pipe could not be made\n", stderr);
        return 1;
    }
    std::wstring command;
    for (int i = 3; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool quote = arg.find_first_of(L" \t\"") != std::wstring::npos;
        command += (i > 3 ? L" " : L"") + (quote ? L"\"" + arg + L"\"" : arg);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &child) == 0) {
        std::fputs("smoke-driver: the program could not be started\n", stderr);
        return 1;
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    const HANDLE reader = CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    const bool free = reader != INVALID_HANDLE_VALUE;
    if (free)
        CloseHandle(reader);
    CloseHandle(server);
    if (!free) {
        std::fputs("smoke-driver: the program took the pipe's instance\n", stderr);
        return 3;
    }
    return static_cast<int>(status);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 4 && std::wstring(argv[1]) == L"pipe")
        return ServePipe(argc, argv);
    if (argc < 3) {
        std::fputs(
            "usage: tavrin-smoke-driver find|close|fonts PREFIX [SECONDS]\n"
            "       tavrin-smoke-driver pipe NAME PROGRAM [ARG...]\n",
            stderr);
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
    if (command == L"fonts")
        return Fonts(search.found);
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
