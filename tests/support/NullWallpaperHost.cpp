#include "NullWallpaperHost.h"

namespace {

class NullHostWindow final : public HostWindow {
public:
    WebPage& page() override { return m_page; }
    bool isVisibleOnScreen() const override { return true; }
    void setVisibilityHandler(std::function<void()>) override {}
    void close() override {}

private:
    NullPage m_page;
};

}  // namespace

std::unique_ptr<HostWindow> NullWallpaperHost::createWindow(const ScreenInfo&, bool)
{
    return std::make_unique<NullHostWindow>();
}
