#pragma once

// Stand-ins for the platform pieces the window takes, for tests.

#include "../app/banner_pane.h"
#include "../colour/colour_dialog.h"
#include "base/failure.h"

#include <QStringList>

#include <functional>

// Records every navigate call; fails it when told to.
class RecordingBannerPane : public glimra::BannerPane
{
public:
    using glimra::BannerPane::BannerPane;
    QStringList urls;
    bool refuse = false;
    void navigate(const QString& url) override
    {
        if (refuse)
            throw glimra::StepFailed(glimra::ErrorNumber::InvalidCall, QStringLiteral("navigate refused"));
        urls << url;
    }
};

// A colour dialog whose answers are scripted: each show returns the next
// answer, a colour and whether the user confirmed it.
class ScriptedColourDialog : public colour::ColourDialog
{
public:
    struct Answer {
        glimra::Colour colour;
        bool confirmed;
    };
    QList<Answer> answers;
    int shown = 0;
    bool failShow = false;
    std::function<void()> whileOpen;

    bool showColor() override
    {
        if (failShow)
            throw glimra::StepFailed(glimra::ErrorNumber::InvalidCall, QStringLiteral("dialog refused"));
        ++shown;
        if (whileOpen)
            whileOpen();
        const Answer a = answers.isEmpty() ? Answer { m_colour, false } : answers.takeFirst();
        // Like the desktop's dialog, it keeps whatever colour was last in it.
        m_colour = a.colour;
        return a.confirmed;
    }
    glimra::Colour color() const override { return m_colour; }

private:
    glimra::Colour m_colour = glimra::kBlack;
};
