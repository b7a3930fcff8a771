#pragma once

// A window for the preview build: what the build reads from it, and the
// titles it sets; it can act inside the yield after each font.

#include "../preview/preview_build.h"
#include "base/failure.h"

#include <QStringList>

#include <functional>

class FakeHost : public preview::Host
{
public:
    QString sampleText = QStringLiteral("abc");
    QString size = QStringLiteral("10");
    glimra::Colour text = 0x00112233;
    glimra::Colour back = 0x00FFFFFF;
    int bold = 0;
    int italic = 0;
    bool failBoldRead = false;
    QStringList titles;
    int yields = 0;
    // Runs inside the yield after font `yields` (counted from 1); returns
    // false to report that the window is going away.
    std::function<bool(int)> onYield;

    QString sample() const override { return sampleText; }
    QString chosenSize() const override { return size; }
    glimra::Colour textColour() const override { return text; }
    glimra::Colour backColour() const override { return back; }
    int boldValue() const override
    {
        if (failBoldRead)
            throw glimra::StepFailed(glimra::ErrorNumber::InvalidCall);
        return bold;
    }
    int italicValue() const override { return italic; }
    void setTitle(const QString& title) override { titles << title; }
    bool processPendingEvents() override
    {
        ++yields;
        return onYield ? onYield(yields) : true;
    }
};
