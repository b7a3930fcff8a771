#pragma once

// RichTextBox: the preview view. A plain-text-layout editor (only what is on
// screen is laid out) that speaks the program's terms: positions and lengths
// are UTF-16 code units over the text exactly as the program set it, a CR LF
// pair counts as two, and all formatting goes through a selection. The
// program's text and its map to document positions are a PositionMap.

#include "base/constants.h"
#include "base/font_coverage.h"
#include "position_map.h"

#include <QPlainTextEdit>
#include <QRawFont>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <vector>

namespace view
{

using glimra::FontCoverage;

// One character's format as the program sees it, for reading back.
struct CharFormat {
    QString fontName;
    double pointSize = 0;
    int weight = 0; // 400 regular, 700 bold
    bool italic = false;
    std::optional<glimra::Colour> colour; // empty: the view's default text colour
    int property17 = 0; // 0 where never set
    int charset = 0;

    bool bold() const { return weight >= 700; }
    bool operator==(const CharFormat&) const = default;
};

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
    void setText(HeldText&& text);

    // Logical DPI used for the twips properties.
    void setDpi(double dpi);

    // Size in twips. A negative size is refused and the old one stays.
    void setWidthTwips(float twips);
    void setHeightTwips(float twips);
    float widthTwips() const;

    void setBackColour(glimra::Colour colour);
    glimra::Colour backColour() const { return m_backColour; }

    // Selection start empties the selection and puts the caret there.
    void setSelStart(qint32 start);
    void setSelLength(qint32 length);
    qint32 selStart() const;
    qint32 selLength() const { return m_selLength; }

    void setSelFontName(const QString& name);
    void setSelFontSize(std::int16_t points);
    // A whole decimal number such as "10".
    void setSelFontSize(const QString& points);
    void setSelColour(glimra::Colour colour);
    void setSelBold(bool bold);
    void setSelItalic(bool italic);
    void setSelProperty17(std::int16_t value);

    // While hidden the view takes no input and defers all layout: changes
    // are gathered in one edit block that closes when it is shown again.
    void setVisible(bool visible) override;

    // The format of the character at a program position.
    CharFormat charFormatAt(qint32 position) const;
    // The family the character at a program position is drawn with, which
    // may stand in for the name the program set.
    QString drawnFamilyAt(qint32 position) const;
    // The document position a program position maps to.
    int documentPosition(qint32 position) const;

    // The format every character takes when the text is set.
    static CharFormat defaultCharFormat();

    // The two shortcuts that keep a build fast. Benchmarks turn them off to
    // measure a view that rebuilds its document on every assignment and
    // lays out while hidden.
    struct Tuning {
        bool appendWhenExtending = true;
        bool deferLayoutWhileHidden = true;
    };
    void setTuning(Tuning tuning) { m_tuning = tuning; }

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class ProgramEdit;

    // The program's text, which starts with the kept length of the old one.
    void takeBack(QString text, qsizetype kept);
    void rebuildDocument();
    void appendToDocument(qsizetype from);
    void syncFromDocument() const;
    bool rangeHasFormat(const QTextCharFormat& format, int from, int to) const;
    void moveCaret();
    QTextCharFormat documentFormatAt(qint32 position) const;
    // The selection as program positions, clamped to the text.
    std::pair<qint32, qint32> selectedRange() const;
    void applyToRange(const QTextCharFormat& format, qint32 from, qint32 to);
    void applyToSelection(const QTextCharFormat& format);
    // A part of a font's run its font cannot draw, and the format that draws
    // it with another font, or with none.
    struct GlyphRun {
        qint32 from;
        qint32 to;
        QTextCharFormat format;
    };
    std::vector<GlyphRun> missingGlyphRuns(const FontCoverage::Family& family, qint32 from, qint32 to) const;
    bool rangeIsDrawnAs(
        const QTextCharFormat& format, const std::vector<GlyphRun>& elsewhere, qint32 from, qint32 to) const;
    void loadFontsOfSelectionEarly(qint32 nextStart);
    void startLastPage();
    void layOutLastPage();
    void finishLastPage();
    void onContentsChange(int from, int removed, int added);
    int toPixels(float twips) const;

    // mutable: a user's edit is folded back into the program's text when
    // the text is next read.
    mutable PositionMap m_map;
    mutable bool m_userEdited = false;
    // Every character still has the default format, so a longer text that
    // extends the current one can be appended instead of rebuilt.
    mutable bool m_allDefault = true;
    mutable int m_programEdits = 0;
    // Counts the document's changes, the program's and the user's, so that
    // a fragment remembered for the next format check is known to be valid.
    mutable quint64 m_changes = 0;
    struct Scan {
        QTextBlock block;
        QTextBlock::iterator fragment;
        quint64 changes = ~quint64(0);
    };
    mutable Scan m_scan;

    qint32 m_selStart = 0;
    qint32 m_selLength = 0;
    bool m_caretPending = false;

    QTextCursor m_deferral;
    bool m_deferring = false;
    int m_hiddenCaret = 0; // where the caret stood when the view was hidden
    // The first page, whose fonts are loaded before showing.
    struct FirstPage {
        int blocks = 0; // at most this many blocks
        qreal height = 0; // the view's, and its lines' width
        qreal width = 0;
        qreal filled = 0; // by the blocks loaded so far
    };
    FirstPage m_firstPage;
    // The last page, laid out after the view is shown, between events: the
    // scroll range counts its lines, and until they are known the view may
    // scroll past its end.
    struct LastPage {
        bool pending = false;
        QTextBlock block; // the next one up
        qreal filled = 0;
        QTimer timer;
    };
    LastPage m_lastPage;
    // The fonts loaded early, kept loaded until the next build.
    std::vector<QRawFont> m_heldFonts;

    Tuning m_tuning;
    QTextCharFormat m_defaultFormat;
    glimra::Colour m_backColour = glimra::kWindowBackground;
    double m_dpi = 96.0;
};

} // namespace view
