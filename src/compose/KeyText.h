#pragma once
// The one rule for a sign-in key: it travels in an HTTP header, so a key that
// holds control characters (CR, LF, NUL, …) could break or add headers.

#include <QString>

// Longer keys cannot travel in an HTTP header, which is the key's only use.
inline constexpr int kMaxKeyLength = 4096;

// Whether `key` can be sent as it stands. Surrounding white space other than
// control characters is allowed; the stored key is trimmed before this test.
bool keySendable(const QString& key);
// `key` when keySendable, else empty (signed out).
QString sendableKey(const QString& key);
