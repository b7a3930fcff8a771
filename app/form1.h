#pragma once

// Form1: glimra's only window. A column of inputs down the left edge, the
// preview view filling the rest. All state lives in the controls; the
// preview build reads them at the moment it needs each value.

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
class BannerPane;

namespace colour
{
class Swatch;
}
namespace view
{
class RichTextBox;
}

// What the window takes from the platform. Tests replace any of it; an
// empty member means the desktop's own.
struct Form1Platform {
    std::unique_ptr<preview::FontList> fonts;
    std::unique_ptr<colour::ColourDialog> colourDialog;
    std::function<BannerPane*(QWidget* parent)> bannerPane;
    double dpi = 0; // logical DPI; 0: the primary screen's
};

class Form1 : public QWidget, private preview::Host
{
    Q_OBJECT

public:
    explicit Form1(Form1Platform platform = {}, QWidget* parent = nullptr);
    ~Form1() override;

    double dpi() const { return m_dpi; }
    int twipsToPixels(int twips) const;
    // True while a preview build runs (nested builds count once each).
    int buildDepth() const { return m_buildDepth; }

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
    colour::ColourDialog& CommonDialog1() { return *m_colourDialog; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void load();
    void nameForScreenReaders();
    void fitViewToWindow();
    void onCommand1Clicked();
    void onCommand2Clicked();
    void onCommand3Clicked();
    QRect toPixels(const QRect& twips) const;

    // preview::Host
    QString sample() const override;
    QString chosenSize() const override;
    glimra::Colour textColour() const override;
    glimra::Colour backColour() const override;
    int boldValue() const override;
    int italicValue() const override;
    void setTitle(const QString& title) override;
    bool processPendingEvents() override;

    std::unique_ptr<preview::FontList> m_fonts;
    std::unique_ptr<colour::ColourDialog> m_colourDialog;
    double m_dpi;
    int m_buildDepth = 0;
    bool m_closing = false;
    // The outer size the view was last fitted to.
    QSize m_fittedOuterSize;
};
