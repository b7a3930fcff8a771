#pragma once

// RichTextBox: the preview view. A plain-text-layout editor (a block is laid
// out when it comes into sight or the scroll range needs it) that speaks the
// program's terms: positions and lengths are UTF-16 code units over the text
// exactly as the program set it, a CR LF pair counts as two, and all
// formatting goes through a selection. The program's text and its map to
// document positions are a PositionMap.
//
// This class keeps that contract and binds it to Qt; each mechanism that
// keeps a build fast or the preview honest is a part of its own, and
// README.md beside this file lists what each relies on in Qt, on which Qt
// versions it was measured, and which test fails when Qt changes:
//   DocumentWriter  the program's changes: not undoable, no-ops skipped
//   HiddenEdits     no layout and no caret while hidden
//   FirstPageFonts  the first page's fonts loaded between the build's yields
//   LastPageLayout  the last page laid out after the first paint
//   standInRuns     the glyph fallback: who draws what a font lacks
//   tintStandIns    a stand-in's glyphs drawn halfway to the background

#include "base/constants.h"
#include "base/font_coverage.h"
#include "document_writer.h"
#include "first_page_fonts.h"
#include "hidden_edits.h"
#include "last_page_layout.h"
#include "position_map.h"

#include <QPlainTextEdit>

#include <cstdint>

namespace view
{

using glimra::FontCoverage;

class RichTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit RichTextBox(QWidget* parent = nullptr);
    ~RichTextBox() override;

    // The whole text. Setting it puts every character in the default format
    // and an empty selection at the start.
    void setText(const QString& text);
    QString text() const;

    // The whole text handed out to be read and extended, then assigned back
    // with setText(): neither way is it copied, and since it can only grow
    // the view knows what it had without comparing. Destroyed without being
    // assigned, it gives the text back as it was.
    class HeldText
    {
    public:
        HeldText(HeldText&& other) noexcept;
        HeldText& operator=(HeldText&&) = delete;
        ~HeldText();

        const QString& text() const { return m_text; }
        HeldText& operator+=(QStringView tail)
        {
            m_text.append(tail);
            return *this;
        }

    private:
        friend class RichTextBox;
        HeldText(RichTextBox* box, QString text);

        RichTextBox* m_box;
        QString m_text;
        qsizetype m_heldLength;
    };
    HeldText takeText();
    // Only a text this view handed out.
    void setText(HeldText&& text);

    // Logical DPI used for the twips properties.
    void setDpi(double dpi);

    // Size in twips. A negative size is refused and the old one stays.
    void setWidthTwips(float twips);
    void setHeightTwips(float twips);

    void setBackColour(glimra::Colour colour);

    // Selection start empties the selection and puts the caret there.
    void setSelStart(qint32 start);
    void setSelLength(qint32 length);

    void setSelFontName(const QString& name);
    void setSelFontSize(std::int16_t points);
    // A whole decimal number such as "10".
    void setSelFontSize(const QString& points);
    void setSelColour(glimra::Colour colour);
    void setSelBold(bool bold);
    void setSelItalic(bool italic);
    void setSelProperty17(std::int16_t value);

    // The build's word that everything before program position `end` is
    // formatted for now: each entry once its name label is. Until the next
    // one the view may take its time over that part (load its fonts while
    // hidden), and a shown view waits with its own work.
    void entryFinished(qint32 end);

    // While hidden the view takes no input and defers all layout: changes
    // are gathered in one edit block that closes when it is shown again.
    void setVisible(bool visible) override;

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The tests read the selection and background as the program set them.
    friend struct ViewReader;

    // The program's text, which starts with the kept length of the old one.
    void takeBack(QString text, qsizetype kept);
    void onContentsChange(int from, int removed, int added);
    // Folds the user's edits into the program's text.
    void syncFromDocument() const;
    void moveCaret();
    // The document position a program position maps to.
    int documentPosition(qint32 position) const;
    // The selection as program positions, clamped to the text.
    std::pair<qint32, qint32> selectedRange() const;
    void applyToSelection(const QTextCharFormat& format);
    void applyToRange(const QTextCharFormat& format, qint32 from, qint32 to);
    bool rangeHas(const QTextCharFormat& format, qint32 from, qint32 to);
    int toPixels(float twips) const;

    // The document holds the program's text up to `position`: while hidden,
    // a text that grows reaches the document only as the build formats it.
    void catchUp(qint32 position);

    // mutable: a user's edit is folded back into the program's text when
    // the text is next read.
    struct ProgramText {
        PositionMap map;
        bool userEdited = false;
        // How much of the program's text the document holds; the rest is
        // inserted by catchUp().
        qint32 inDocument = 0;
    };
    mutable ProgramText m_text;
    struct Selection {
        qint32 start = 0;
        qint32 length = 0;
        // The caret follows when the view is next shown or typed into.
        bool caretPending = false;
    };
    Selection m_selection;
    DocumentWriter m_writer;
    HiddenEdits m_hidden;
    FirstPageFonts m_firstPage;
    LastPageLayout m_lastPage;
    glimra::Colour m_backColour = glimra::kWindowBackground;
    double m_dpi = 96.0;
};

} // namespace view
