#pragma once

// DocumentWriter: every change the program makes to the view's document.
//
// Each one is marked as the program's while it runs, so that only the
// user's own edits count as edits, and is not recorded for undo: a build
// would otherwise fill the undo stack with every entry and format, and
// after one the user's earlier edits no longer fit the text. A format change
// can skip itself when it would change nothing: outside the hidden view's
// edit block every change lays its block out again and repaints it.

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>

#include <QStringView>

#include <vector>

namespace view
{

class DocumentWriter
{
public:
    explicit DocumentWriter(QTextDocument* document);

    // Marks the program's changes for as long as it lives.
    class Edit
    {
    public:
        explicit Edit(DocumentWriter& writer);
        ~Edit();
        Edit(const Edit&) = delete;
        Edit& operator=(const Edit&) = delete;

    private:
        DocumentWriter& m_writer;
    };

    // Whether the program is changing the document now.
    bool editing() const { return m_edits > 0; }
    // Every change of the document, the user's included, is noted here, so
    // that a place remembered for the next format check is known to be valid.
    void noteChange();
    // After the user's edit, formats other than the default may be anywhere.
    void noteUserEdit() { m_allDefault = false; }

    // Replaces the whole text, in `format`.
    void rebuild(const QString& text, const QTextCharFormat& format);
    // While every character has the default format, a text that extends the
    // current one can be appended instead of rebuilt; false otherwise.
    bool canAppend() const;
    void append(QStringView text, const QTextCharFormat& format);

    // Merges `format` into document positions [from, to), unless
    // `skipNoOps` and every character there has it already.
    void apply(const QTextCharFormat& format, int from, int to, bool skipNoOps);
    // Merges each of `runs` into its stretch of [from, to), after any more
    // formats the program merges into all of [from, to) that set none of the
    // runs' properties: merged before the runs split the range, each such
    // format changes one fragment, not one a run. Any other change, or
    // settle(), merges the runs first. Only while the view is hidden: no
    // check (skipNoOps, rangeHas) may run while runs are held.
    struct Run {
        int from;
        int to;
        QTextCharFormat format;
    };
    void applyAfter(std::vector<Run> runs, int from, int to);
    // Merges the runs held back by applyAfter(), if any.
    void settle();
    // Whether every character in [from, to), paragraph separators included,
    // has every property of `format`.
    bool rangeHas(const QTextCharFormat& format, int from, int to) const;

private:
    QTextDocument* m_document;
    int m_edits = 0;
    quint64 m_changes = 0;
    bool m_allDefault = true;
    // Where the last format check ended: a sample's runs are checked from
    // left to right, and a block of a 1 MiB sample holds tens of thousands
    // of fragments.
    struct Scan {
        QTextBlock block;
        QTextBlock::iterator fragment;
        quint64 changes = ~quint64(0);
    };
    mutable Scan m_scan;
    struct Later {
        std::vector<Run> runs;
        int from = 0;
        int to = 0;
        QList<int> properties; // set by any of the runs
    };
    Later m_later;
};

} // namespace view
