// SPDX-License-Identifier: MIT
// The floor of a Win32 clock's idle cost, the Windows benchmark's peer: a
// full-screen window whose one small label (a static control) changes once
// a second, on the wall clock's second. Like qtfloor.cpp, nothing more.
// Run: win32floor.exe [PIXEL_SIZE]   (default 20)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace
{

HWND label = nullptr;
HBRUSH white = nullptr;

// Milliseconds to the wall clock's next whole second.
UINT toNextSecond()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return UINT(1000 - now.wMilliseconds);
}

void tick(HWND window)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[16];
    std::swprintf(text, 16, L"%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    SetWindowTextW(label, text);
    SetTimer(window, 1, toNextSecond(), nullptr);
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        tick(window);
        return 0;
    case WM_CTLCOLORSTATIC:
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(192, 64, 0));
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(white);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const int pixels = argc > 1 ? std::atoi(argv[1]) : 20;
    white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = white;
    windowClass.lpszClassName = L"Win32Floor";
    if (!RegisterClassW(&windowClass))
        return 1;
    const HWND window =
        CreateWindowExW(0, windowClass.lpszClassName, L"win32floor", WS_POPUP | WS_VISIBLE, 0, 0,
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                        nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 100, 300, 20 * pixels,
                            2 * pixels, window, nullptr, windowClass.hInstance, nullptr);
    const HFONT font = CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   DEFAULT_QUALITY, DEFAULT_PITCH, L"AR PL UKai CN");
    if (!label || !font)
        return 1;
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    tick(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DeleteObject(font);
    return 0;
}
