#pragma once
// Points HOME and the XDG user folders at a fresh temporary folder for the rest
// of the process, whatever the shell had set, so that nothing a test or a test
// tool runs can read or remove a user's real files. XDG_RUNTIME_DIR stays: it
// holds the sockets of the session's sound server and bus, no files.
#include <QTemporaryDir>

class PrivateHome {
public:
    PrivateHome();
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
};
