#pragma once
// The sign-in callback URL, "vesmer://activate?key=…": tells whether a URL handed
// to the app is one and pulls the key out of it. Pure functions on text.

#include <QString>
#include <optional>

class ActivationUrl {
public:
    // The usable key of `urlText`, or none when the URL is not the callback
    // (scheme "vesmer" and host "activate", compared exactly), has no non-empty
    // first "key" item, or that key cannot be sent as a header value.
    static std::optional<QString> key(const QString& urlText);
};
