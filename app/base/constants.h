#pragma once

// Every fixed value of glimra: captions, colours, the label font, and the
// window's layout in twips (1/1440 inch), as the window was designed.

#include <QKeyCombination>
#include <QRect>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace glimra
{

inline constexpr int kTwipsPerInch = 1440;

// Twips to device-independent pixels through the screen's logical DPI
// (15 twips a pixel at 96 dpi). Rounds half away from zero, as the form
// run time did, so that 7.5 px becomes 8 px and not 7.
constexpr int twipsToPixels(double twips, double dpi)
{
    const double px = twips * dpi / kTwipsPerInch;
    return px < 0 ? -static_cast<int>(-px + 0.5) : static_cast<int>(px + 0.5);
}

// A rectangle in twips, each edge and length rounded on its own, as the
// window lays out its controls.
constexpr QRect twipsToPixels(const QRect& twips, double dpi)
{
    return QRect(twipsToPixels(twips.x(), dpi), twipsToPixels(twips.y(), dpi), twipsToPixels(twips.width(), dpi),
        twipsToPixels(twips.height(), dpi));
}

constexpr double pixelsToTwips(int pixels, double dpi) { return pixels * kTwipsPerInch / dpi; }

// The window was laid out for a 9 point user-interface font whose lines fit
// the 195 twips between the sample box's caption and the box.
inline constexpr double kDesignedUiFontPoints = 9;
inline constexpr double kDesignedUiLineTwips = 195;

// The DPI at which the window's twips become pixels: the screen's logical
// DPI, grown as much as the desktop's user-interface font is larger than the
// designed one, in size or in line height, so that captions, controls,
// margins and the preview view all grow together and keep their proportions
// (as the original platform's large-font setting made a twip more pixels).
// Never smaller than the screen's.
constexpr double layoutDpi(double dpi, double fontPixels, double lineHeightPixels)
{
    const double designedFontPixels = kDesignedUiFontPoints * dpi / 72;
    const double designedLinePixels = kDesignedUiLineTwips * dpi / kTwipsPerInch;
    return dpi * std::max({ 1.0, fontPixels / designedFontPixels, lineHeightPixels / designedLinePixels });
}

// A colour is 0x00BBGGRR (red in the low byte). With the top bit set the low
// bits name one of the desktop's system colours.
using Colour = std::uint32_t;
inline constexpr Colour kSystemColourFlag = 0x80000000u;
inline constexpr Colour kBlack = 0x00000000u;
inline constexpr Colour kWhite = 0x00FFFFFFu;
inline constexpr Colour kWindowBackground = kSystemColourFlag | 5u;

inline const QString kAppTitle = QStringLiteral("glimra version 1.2");
inline const QString kBusyTitleInfix = QStringLiteral(" - 処理中です...");

// The label font: default font of the preview view, and the font of every
// name label and of the leading line break.
inline const QString kLabelFontName = QStringLiteral("ＭＳ Ｐゴシック");
inline constexpr std::int16_t kLabelFontSize = 9;
inline constexpr int kLabelFontWeight = 400;
// The label font is not installed here: it is drawn with a stand-in chosen
// at start-up from the desktop's fonts (labelFontStandIn(), font_coverage.h).

// The sizes the window's icon is drawn at besides its 32 px one.
inline constexpr int kIconSizes[] = { 16, 22, 24, 48, 64, 128, 256 };

inline const QString kBannerUrl = QStringLiteral("http://glimra-maker.example/002/gear.shtml");

// The keys that close the window, besides its close button.
inline constexpr QKeyCombination kCloseKeys[] = { Qt::CTRL | Qt::Key_Q, Qt::CTRL | Qt::Key_W };

// Sizes offered by the size list, and the one selected at start-up.
inline constexpr int kFirstSize = 8;
inline constexpr int kLastSize = 72;
inline constexpr int kSizeStep = 2;
inline constexpr int kInitialSizeIndex = 1;

// The preview view fills the window less these margins.
inline constexpr float kViewWidthMargin = 1900.0f;
inline constexpr float kViewHeightMargin = 500.0f;

// Client area of the window when it is created.
inline constexpr int kClientWidth = 6195;
inline constexpr int kClientHeight = 4530;

// Each control's rectangle in twips: left, top, width, height.
namespace layout
{
    inline constexpr QRect Label1 { 120, 165, 1575, 255 };
    inline constexpr QRect Text1 { 120, 360, 1575, 735 };
    inline constexpr QRect Label2 { 120, 1200, 1575, 255 };
    inline constexpr QRect Combo1 { 120, 1440, 1575, 300 };
    inline constexpr QRect Label3 { 120, 1920, 735, 255 };
    inline constexpr QRect Label4 { 960, 1920, 735, 255 };
    inline constexpr QRect Command2 { 120, 2160, 735, 255 };
    inline constexpr QRect Command3 { 960, 2160, 735, 255 };
    inline constexpr QRect Check1 { 120, 2640, 1335, 255 };
    inline constexpr QRect Check2 { 120, 2880, 1335, 255 };
    inline constexpr QRect Command1 { 120, 3360, 1575, 495 };
    inline constexpr QRect WebBrowser1 { 120, 3960, 1575, 495 };
    inline constexpr QRect RichTextBox1 { 1800, 0, 3015, 2775 };
} // namespace layout

namespace caption
{
    inline const QString Label1 = QStringLiteral("サンプル文字");
    inline const QString Text1 = QStringLiteral("SAMPLE");
    inline const QString Label2 = QStringLiteral("フォントサイズ");
    inline const QString Label3 = QStringLiteral("字体色");
    inline const QString Label4 = QStringLiteral("背景色");
    inline const QString Check1 = QStringLiteral("ボールド");
    inline const QString Check2 = QStringLiteral("イタリック");
    inline const QString Command1 = QStringLiteral("表示");
    // The colour dialog's button that shows or hides its colour editor.
    inline const QString DefineColours = QStringLiteral("色の作成(&D) >>");
    inline const QString HideDefineColours = QStringLiteral("<< 色の作成(&D)");
} // namespace caption

// The tool tip of a preview entry (view/entry_tip.h), a statement a line.
namespace tip
{
    inline const QString AllDrawn = QStringLiteral("サンプルの文字はすべてこのフォントで表示しています。");
    inline const QString Lacks = QStringLiteral("このフォントにない文字: %1 字");
    inline const QString Grey = QStringLiteral("灰色の文字は、このフォントにないため別のフォントで表示しています。");
    inline const QString DrawnBy = QStringLiteral("代わりに表示したフォント: %1");
    inline const QString InNoFont = QStringLiteral("うち %1 字はどのフォントにもなく、空の枠で表示しています。");
    inline const QString NotInstalled = QStringLiteral("このフォントは今はインストールされていません。");
    inline const QString MoreFamilies = QStringLiteral(" ほか %1 フォント");
    inline const QString ListSeparator = QStringLiteral("、");
    inline const QString Ellipsis = QStringLiteral(" …");
} // namespace tip

// What a screen reader calls the controls that have no caption of their own.
namespace accessibleName
{
    inline const QString RichTextBox1 = QStringLiteral("プレビュー");
    inline const QString WebBrowser1 = QStringLiteral("バナー");
} // namespace accessibleName

} // namespace glimra
