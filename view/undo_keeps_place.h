#pragma once

// UndoKeepsPlace: Ctrl+Z and its redo leave the view where the person was.
// Qt puts the caret after the text an undo brings back, and scrolls there:
// undoing the removal of a whole preview leaves the view at the end of the
// list. Here the caret goes to the start of what the undo changed instead,
// which is where the person made the edit.

#include <QObject>

class QPlainTextEdit;

namespace view
{

class UndoKeepsPlace : public QObject
{
public:
    // Watches the view's keys; owned by the view.
    explicit UndoKeepsPlace(QPlainTextEdit* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* m_view;
};

} // namespace view
