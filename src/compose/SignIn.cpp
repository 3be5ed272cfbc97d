#include "compose/SignIn.h"

#include "platform/Settings.h"

void SignIn::activateKey(const QString& key)
{
    m_settings.setValue(QStringLiteral("pro.key"), key);
}
