#pragma once

// The banner pane in the window's lower left corner: asked once, at
// start-up, to show the maker's page.

#include <QWidget>

namespace glimra
{

class BannerPane : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
    // Starts loading the page and returns at once. Fails only when the pane
    // refuses the call itself; an unreachable page is the pane's own matter.
    virtual void navigate(const QString& url) = 0;
};

// Makes the pane glimra uses: fetched over the network, shown as rich text.
BannerPane* makeNetworkBannerPane(QWidget* parent);

} // namespace glimra
