#pragma once
// Drives the real web engine from a test: a bare QtWebPage or a wallpaper/preview
// window on a given HTML file, waiting until it has loaded, and evaluations or
// calls that wait for their reply. Needs the xcb platform under Xvfb (never
// offscreen) and, as root, QTWEBENGINE_DISABLE_SANDBOX=1 (tests/run-headless.sh
// sets both). Every wait processes events and gives up after its timeout.
//
//   auto page = WebEngineHarness::openPage(path);
//   ASSERT_TRUE(WebEngineHarness::waitReady(*page));
//   auto reply = WebEngineHarness::evaluate(*page, "vesmerSpec()");   // optional<ScriptReply>

#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Screens.h"
#include "platform/WebPage.h"

class QtHostWindow;
class QtWebPage;

namespace WebEngineHarness {

// Processes events until `condition` holds or `timeoutMs` passes; whether it held.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 15000);
// Processes events for `ms` milliseconds (to see that something does NOT happen).
void settle(int ms);

// A window-less page loading the HTML file at `path`.
std::unique_ptr<QtWebPage> openPage(const QString& path);
// A wallpaper (or preview) window on `screen` showing the HTML file at `path`.
std::unique_ptr<QtHostWindow> openWindow(const QString& path, const ScreenInfo& screen, bool preview = false);

// Waits until the page's document has finished loading and its call bridge is up.
bool waitReady(QtWebPage& page, int timeoutMs = 30000);

// Sends and waits for the reply; none when none came within the timeout.
std::optional<ScriptReply> evaluate(WebPage& page, const QString& expression, int timeoutMs = 15000);
std::optional<ScriptReply> call(WebPage& page, const QString& body, const QVariantMap& arguments,
                                int timeoutMs = 15000);

}  // namespace WebEngineHarness
