#include "compose/KeyText.h"

bool keySendable(const QString& key)
{
    if (key.size() > kMaxKeyLength)
        return false;
    for (const QChar c : key)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

QString sendableKey(const QString& key)
{
    return keySendable(key) ? key : QString();
}
