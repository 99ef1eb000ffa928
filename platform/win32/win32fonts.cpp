// SPDX-License-Identifier: MIT
#include "win32fonts.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <memory>
#include <utility>

namespace platform::win32
{

namespace
{
// The family name the carried face is cut with (resources/make-kai-subset.py).
constexpr const wchar_t *CarriedFamily = L"FullScreenClock UKai";

struct KaiFace {
    const wchar_t *name;
    bool carried; // missing from the system: the carried face stands in
};
KaiFace g_kaiFaces[] = {{L"楷体", false}, {L"华文楷体", false}};

struct FontResourceDeleter {
    void operator()(HANDLE fonts) const { RemoveFontMemResourceEx(fonts); }
};
std::unique_ptr<void, FontResourceDeleter> g_carriedFonts;

int CALLBACK stopAtFirst(const LOGFONTW *, const TEXTMETRICW *, DWORD, LPARAM)
{
    return 0;
}

bool systemHasFace(const wchar_t *name)
{
    const WindowDc screen(nullptr);
    if (!screen.get())
        return true; // nothing can be learnt: leave the font mapper to it
    LOGFONTW font{};
    font.lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(font.lfFaceName, name, LF_FACESIZE - 1);
    // The enumeration ends early (returns 0) only if a face of the name exists.
    return EnumFontFamiliesExW(screen.get(), &font, &stopAtFirst, 0, 0) == 0;
}

// The carried font file in the program's resources; empty if there is none.
std::pair<void *, DWORD> carriedFontData()
{
    HMODULE program = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(CLOCK_KAI_FONT_RESOURCE), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    void *data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(program, found) : 0;
    if (!data || size == 0)
        return {nullptr, 0};
    return {data, size};
}

// Nearest whole pixel height, halves up, at least one pixel.
int pixelHeight(double points, int dpi)
{
    return std::max(1, int(std::floor(points * dpi / 72.0 + 0.5)));
}
} // namespace

void carryMissingFaces()
{
    bool anyMissing = false;
    for (KaiFace &face : g_kaiFaces)
        anyMissing |= !systemHasFace(face.name);
    if (!anyMissing || g_carriedFonts)
        return;
    const auto [data, size] = carriedFontData();
    DWORD count = 0;
    // Without it the font mapper's choice stays, as before.
    if (data)
        g_carriedFonts.reset(AddFontMemResourceEx(data, size, nullptr, &count));
    if (!g_carriedFonts || count == 0)
        return;
    for (KaiFace &face : g_kaiFaces)
        face.carried = !systemHasFace(face.name);
}

void dropCarriedFaces()
{
    for (KaiFace &face : g_kaiFaces)
        face.carried = false;
    g_carriedFonts.reset();
}

const wchar_t *resolvedFace(const wchar_t *face)
{
    for (const KaiFace &kai : g_kaiFaces) {
        if (kai.carried && std::wcscmp(face, kai.name) == 0)
            return CarriedFamily;
    }
    return face;
}

LOGFONTW windowFontDescription()
{
    LOGFONTW font{};
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        font = metrics.lfMessageFont;
    } else {
        std::wcscpy(font.lfFaceName, L"MS Shell Dlg 2");
        font.lfCharSet = DEFAULT_CHARSET;
    }
    font.lfHeight = -pixelHeight(9, systemDpi());
    font.lfWidth = 0;
    font.lfWeight = FW_NORMAL;
    font.lfItalic = FALSE;
    font.lfUnderline = FALSE;
    font.lfStrikeOut = FALSE;
    return font;
}

RealisedFont createFont(const FontSpec &spec, const LOGFONTW &windowFont)
{
    LOGFONTW font = windowFont;
    if (!spec.name.empty()) {
        // Face names hold at most 31 characters; a longer one cannot match.
        const std::size_t length = std::min<std::size_t>(spec.name.size(), LF_FACESIZE - 1);
        std::wmemcpy(font.lfFaceName, wide(spec.name), length);
        font.lfFaceName[length] = L'\0';
        const wchar_t *face = resolvedFace(font.lfFaceName);
        if (face != font.lfFaceName)
            std::wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
        font.lfCharSet = BYTE(spec.charset);
        font.lfOutPrecision = OUT_DEFAULT_PRECIS;
        font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        font.lfQuality = DEFAULT_QUALITY;
        font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    }
    const int dpi = systemDpi();
    // A negative height asks for the character (em) height, the point size.
    font.lfHeight = -pixelHeight(spec.points, dpi);
    font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;

    RealisedFont result;
    result.font.reset(CreateFontIndirectW(&font));
    int realisedPixels = -font.lfHeight;
    if (result.font) {
        const WindowDc screen(nullptr);
        const auto selected = selectObject(screen.get(), result.font.get());
        TEXTMETRICW metrics{};
        if (GetTextMetricsW(screen.get(), &metrics) && metrics.tmHeight > metrics.tmInternalLeading)
            realisedPixels = metrics.tmHeight - metrics.tmInternalLeading;
    }
    result.points = realisedPixels * 72.0 / dpi;
    return result;
}

} // namespace platform::win32
