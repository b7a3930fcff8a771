#pragma once

// Form1: glimra's only window. A column of inputs down the left edge, the
// preview view filling the rest. All state lives in the controls; the
// preview build reads them at the moment it needs each value.
//
// A press of 表示 (Command1) goes, in order, through:
//   Form1::onCommand1Clicked  (here)           counts the build and hands over
//   preview::build            (preview/preview_build.h)  hides the view, then
//     the text pass: one entry per name from the preview::FontList
//     (preview/font_list.h), each read back and written whole into
//     view::RichTextBox (view/rich_text_box.h, positions through
//     view/position_map.h);
//     the formatting pass: per font, the sample's font, size, bold, italic
//     and colour and the name's label font, each read afresh from this
//     window through preview::Host; after each font the progress title
//     (Host::setTitle) and one turn of the event loop
//     (Host::processPendingEvents), which may run a second press whole, or
//     end the build when the window closes;
//   the finishing steps: background colour, selection back to the start,
//     the view shown and the title back at rest.
// The view draws each entry in its font, glyphs it lacks in one that has
// them (glimra::FontCoverage, base/font_coverage.h). Each step runs under
// the statement-skip policy (base/failure.h): a failing step is skipped and
// the build goes on.

#include "../colour/colour_dialog.h"
#include "../preview/font_list.h"
#include "../preview/preview_build.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class tst_Form1;

namespace colour
{
class Swatch;
}
namespace view
{
class RichTextBox;
}

namespace glimra
{
class BannerPane;

// What the window takes from the platform. Tests replace any of it; an
// empty member means the desktop's own.
struct Form1Platform {
    std::unique_ptr<preview::FontList> fonts;
    std::unique_ptr<colour::ColourDialog> colourDialog;
    std::function<BannerPane*(QWidget* parent)> bannerPane;
    double dpi = 0; // the screen's logical DPI; 0: the primary screen's
};

class Form1 : public QWidget, private preview::Host
{
    Q_OBJECT

public:
    explicit Form1(Form1Platform platform = {}, QWidget* parent = nullptr);
    ~Form1() override;

    QLabel* Label1;
    QPlainTextEdit* Text1;
    QLabel* Label2;
    QComboBox* Combo1;
    QLabel* Label3;
    QLabel* Label4;
    colour::Swatch* Command2;
    colour::Swatch* Command3;
    QCheckBox* Check1;
    QCheckBox* Check2;
    QPushButton* Command1;
    BannerPane* WebBrowser1;
    view::RichTextBox* RichTextBox1;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void load();
    void nameForScreenReaders();
    void fitViewToWindow();
    void onCommand1Clicked();
    // Reads the installed fonts once the window is on screen, between
    // events, so that the first press of Show need not.
    void prepareFontList();
    void onCommand2Clicked();
    void onCommand3Clicked();

    // preview::Host
    QString sample() const override;
    QString chosenSize() const override;
    Colour textColour() const override;
    Colour backColour() const override;
    int boldValue() const override;
    int italicValue() const override;
    void setTitle(const QString& title) override;
    bool processPendingEvents() override;

    std::unique_ptr<preview::FontList> m_fonts;
    std::unique_ptr<colour::ColourDialog> m_colourDialog;
    // The DPI the twips of the layout and of the view's size are taken at:
    // the screen's, grown with the user-interface font (layoutDpi()).
    double m_dpi;
    // How many preview builds run now, one inside another: 0 at rest, 2
    // when a press of Show started a build inside another build's yield.
    // Read by the window's tests.
    int m_buildDepth = 0;
    friend class ::tst_Form1;
    bool m_closing = false;
    bool m_fontListPrepared = false;
    // The outer size the view was last fitted to.
    QSize m_fittedOuterSize;
};

} // namespace glimra
