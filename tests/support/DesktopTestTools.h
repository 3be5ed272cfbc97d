#pragma once
// Small tools for tests on the test X display: running an X utility (xprop,
// xwininfo, xdotool, wmctrl) for its output, and finding a screen by name.

#include <QString>
#include <QStringList>

#include "platform/Screens.h"

namespace DesktopTestTools {

// Runs `program` to the end (at most 10 s) and returns its trimmed standard output.
QString run(const QString& program, const QStringList& arguments);
// "WIDTHxHEIGHT+X+Y" of an X window in root coordinates, from xwininfo.
QString frameOf(unsigned long long window);
// The screen of QtScreens named `name`; fails the current test when there is none.
ScreenInfo screenNamed(const QString& name);

}  // namespace DesktopTestTools
