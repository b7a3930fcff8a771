#include "banner_pane.h"

namespace {

class NetworkBannerPane : public BannerPane {
public:
    using BannerPane::BannerPane;
    void navigate(const QString&) override { }
};

} // namespace

BannerPane* makeNetworkBannerPane(QWidget* parent)
{
    return new NetworkBannerPane(parent);
}
