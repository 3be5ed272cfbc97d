#pragma once
// The sign-in page: one self-contained HTML page (inline style, no scripts, no
// requests elsewhere) with one button, "Connect this computer".

#include <QString>

namespace composer {

struct SignInPage {
    bool needsInvite = false;  // not a loopback request: ask for an invite code too
    QString nonce;             // ties the form to this page
    QString message;           // shown above the form after a refused try
    bool messageIsError = false;
};

QString renderSignInPage(const SignInPage& page);
// The small page sent with the 303 to vesmer://activate (never with the key in it).
QString renderOpeningPage();

// The page's Content-Security-Policy: nothing from elsewhere, no script at all,
// and the form may only go here or, by its redirect, to the app.
extern const char* const kSignInPolicy;

}  // namespace composer
