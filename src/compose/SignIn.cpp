// Sign-in. For now the key is only stored; checking it with the backend, reloading
// the compose client and the lyric default come with the compose work.
#include "app/AppState.h"

void AppState::activateKey(const QString& key)
{
    m_platform.settings->setValue(QStringLiteral("pro.key"), key);
}
