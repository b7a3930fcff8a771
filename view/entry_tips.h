#pragma once

// EntryTips: shows, where the pointer rests on a preview entry (its sample
// or its name label), a tool tip that says what of the sample the entry's
// font lacks and who draws it instead (entry_tip.h). A Qt tool tip, so a
// screen reader hears it as well. It only reads the view: text, formats,
// selection, undo stack and copies stay as they were.

#include <QObject>
#include <QRect>
#include <QString>
#include <QTextBlock>

#include <functional>
#include <optional>

class QPlainTextEdit;
class QWidget;

namespace view
{

class EntryTips : public QObject
{
public:
    // Where the view shows its blocks: the first in sight, and a block's
    // rectangle in viewport coordinates.
    struct Geometry {
        std::function<QTextBlock()> firstVisibleBlock;
        std::function<QRectF(const QTextBlock&)> blockRect;
    };

    // Watches the view's viewport; owned by the view.
    EntryTips(QPlainTextEdit* view, Geometry geometry);

    // The tip for a point of the viewport; empty where it is on no entry.
    QString tipAt(const QPoint& point);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The line of text under a point: a document position in it and its
    // rectangle in the viewport. Read from the layouts the view drew, so
    // that no cursor is placed: placing one shapes its whole block again,
    // a third of a second in a 1 MiB sample's.
    struct Line {
        int position;
        QRect rect;
    };
    std::optional<Line> lineAt(const QPoint& point) const;

    QPlainTextEdit* m_view;
    QWidget* m_viewport;
    Geometry m_geometry;
    // The last tip: resting again on the same entry works nothing out.
    struct Last {
        QString fontName;
        QString sample;
        QString tip;
    };
    Last m_last;
};

} // namespace view
