// SPDX-License-Identifier: MIT
#include "win32fonts.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

namespace platform::win32
{

int screenDpiY()
{
    const WindowDc screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

namespace
{
// Nearest whole pixel height, halves up, at least one pixel.
int pixelHeight(double points, int dpi)
{
    return std::max(1, int(std::floor(points * dpi / 72.0 + 0.5)));
}
} // namespace

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
    font.lfHeight = -pixelHeight(9, screenDpiY());
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
        font.lfCharSet = BYTE(spec.charset);
        font.lfOutPrecision = OUT_DEFAULT_PRECIS;
        font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        font.lfQuality = DEFAULT_QUALITY;
        font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    }
    const int dpi = screenDpiY();
    // A negative height asks for the character (em) height, the point size.
    font.lfHeight = -pixelHeight(spec.points, dpi);
    font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;

    RealisedFont result;
    result.font.reset(CreateFontIndirectW(&font));
    int realisedPixels = -font.lfHeight;
    if (result.font) {
        const WindowDc screen(nullptr);
        const Selection selected(screen.get(), result.font.get());
        TEXTMETRICW metrics{};
        if (GetTextMetricsW(screen.get(), &metrics) && metrics.tmHeight > metrics.tmInternalLeading)
            realisedPixels = metrics.tmHeight - metrics.tmInternalLeading;
    }
    result.points = realisedPixels * 72.0 / dpi;
    return result;
}

} // namespace platform::win32
