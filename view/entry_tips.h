#pragma once

// EntryTips: shows, where the pointer rests on a preview entry (its sample
// or its name label), a tool tip that says what of the sample the entry's
// font lacks and who draws it instead (entry_tip.h). A Qt tool tip, so a
// screen reader hears it as well. It only reads the view: text, formats,
// selection, undo stack and copies stay as they were.

#include <QObject>
#include <QString>

#include <optional>

class QHelpEvent;
class QPlainTextEdit;
class QPoint;

namespace view
{

class EntryTips : public QObject
{
public:
    // Watches the view's viewport; owned by the view.
    explicit EntryTips(QPlainTextEdit* view);

    // The tip for a point of the viewport; empty where it is on no entry.
    QString tipAt(const QPoint& point);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The document position of the character under a point, if any.
    std::optional<int> characterAt(const QPoint& point) const;

    QPlainTextEdit* m_view;
    // The last tip: resting again on the same entry works nothing out.
    struct Last {
        QString fontName;
        QString sample;
        QString tip;
    };
    Last m_last;
};

} // namespace view
