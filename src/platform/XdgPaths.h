#pragma once
// The per-user base folders of the XDG base directory rules, in one place: the
// variable when it holds an absolute path (the rules say to ignore anything else),
// else its default below the home folder.

#include <QString>

namespace XdgPaths {

QString configHome();  // $XDG_CONFIG_HOME or ~/.config
QString dataHome();    // $XDG_DATA_HOME or ~/.local/share
QString stateHome();   // $XDG_STATE_HOME or ~/.local/state

}  // namespace XdgPaths
